// The run of fuzz/sheet_edits.h: the model, the edits and the checks.
#pragma once

#include <algorithm>
#include <cstdlib>

namespace sheetedits {

// ---- sheets

inline int TRun::Position(int id) const {
    for (size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == id) return int(i);
    return -1;
}

inline bool TRun::Taken(const std::u16string& n) const {
    for (const std::u16string& m : names)
        if (UpperCaseWide(m) == UpperCaseWide(n)) return true;
    return false;
}

inline std::u16string TRun::FreeName() {
    for (int tries = 0; tries < SheetNameCount; ++tries) {
        const std::u16string n = SheetNames[bytes.Next(SheetNameCount)];
        if (!Taken(n)) return n;
    }
    for (int k = nextId;; ++k) {
        const std::u16string n = u"Extra" + Utf8ToWide(std::to_string(k));
        if (!Taken(n)) return n;
    }
}

inline void TRun::FillSheet(int position) {
    TSheet& s = book->GetSheet(position);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) s.SetAsFloat(c, r, *Constant(ids[size_t(position)], c, r));
}

inline void TRun::AddSheet(bool first) {
    TSheet& s = first ? book->GetSheet(0) : book->Sheets().Add(0);
    ids.push_back(nextId++);
    const std::u16string name = FreeName();
    names.push_back(name);
    s.SetName(name);
    FillSheet(int(ids.size()) - 1);
}

// ---- the model's values

inline std::optional<double> TRun::Constant(int sheet, int col, int row) const {
    if (auto it = constants.find({sheet, col, row}); it != constants.end()) return it->second;
    if (col < 4 && row < 4) return sheet * 100 + col * 10 + row + 1;
    return std::nullopt;
}

inline bool TRun::SheetValue(int sheet, const TRef& r, double& out) const {
    if (r.Gone || Position(sheet) < 0) return false;
    out = Constant(sheet, r.Col, r.Row).value_or(0);
    return true;
}

inline bool TRun::RangeValue(int first, int last, const TRef& r, double& out) const {
    const int a = Position(first), b = Position(last);
    if (r.Gone || a < 0 || b < a) return false;
    out = 0;
    for (int p = a; p <= b; ++p) out += Constant(ids[size_t(p)], r.Col, r.Row).value_or(0);
    return true;
}

inline bool TRun::NameValue(int name, int depth, double& out) const {
    const TName& n = defined[size_t(name)];
    if (n.Gone || n.SheetGone || depth > 4) return false;
    switch (n.Kind) {
    case TName::Area:
        out = 0;
        for (int c = 0; c < 2; ++c)
            for (int r = 0; r < 2; ++r) out += Constant(n.Sheet, c, r).value_or(0);
        return Position(n.Sheet) >= 0;
    case TName::Range3d:
        return RangeValue(n.First, n.Last, TRef{}, out);
    default:
        return NameValue(n.Of, depth + 1, out);
    }
}

inline bool TRun::TermValue(const TFormula& f, const TTerm& t, double& out) const {
    switch (t.Kind) {
    case TTerm::OfNumber:
        out = t.Number;
        return true;
    case TTerm::OfOther:
        // ISERROR of a cell of a workbook that is not there, times 1.
        out = 1;
        return true;
    case TTerm::OfCell:
        return !t.RangeGone && SheetValue(t.Ref.Sheet >= 0 ? t.Ref.Sheet : f.Sheet, t.Ref, out);
    case TTerm::OfRange:
        return !t.RangeGone && RangeValue(t.First, t.Last, t.Ref, out);
    default:
        return NameValue(t.Name, 0, out);
    }
}

// A sum of products, as the operators bind.
inline std::string TRun::Expected(const TFormula& f) const {
    std::vector<double> products;
    for (size_t i = 0; i < f.Terms.size(); ++i) {
        double v = 0;
        if (!TermValue(f, f.Terms[i], v)) return "e:#REF!";
        if (i == 0 || f.Ops[i - 1] == '+')
            products.push_back(v);
        else
            products.back() *= v;
    }
    double sum = products.front();
    for (size_t i = 1; i < products.size(); ++i) sum += products[i];
    TFormulaValue out;
    SetFormulaValueFloat(out, sum);
    return ValueText(out);
}

inline bool TRun::Judged(const TFormula& f) const {
    auto plain = [&](int id) {
        if (Position(id) < 0) return true;
        const std::u16string n = NameOf(id);
        size_t letters = 0;
        while (letters < n.size() &&
               ((n[letters] >= u'A' && n[letters] <= u'Z') || (n[letters] >= u'a' && n[letters] <= u'z')))
            ++letters;
        // Letters then digits read as a cell.
        const bool cell = letters > 0 && letters < n.size() &&
                          std::all_of(n.begin() + std::ptrdiff_t(letters), n.end(),
                                      [](char16_t c) { return c >= u'0' && c <= u'9'; });
        return !cell && std::all_of(n.begin(), n.end(), [](char16_t c) {
            return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
        });
    };
    auto name = [&](const TName& n) {
        return (n.Scope < 0 || plain(n.Scope)) && (n.Kind != TName::Area || plain(n.Sheet)) &&
               (n.Kind != TName::Range3d || (plain(n.First) && plain(n.Last)));
    };
    for (const TTerm& t : f.Terms) {
        const bool ok = t.Kind == TTerm::OfNumber ||
                        (t.Kind == TTerm::OfCell && (t.Ref.Sheet < 0 || plain(t.Ref.Sheet))) ||
                        (t.Kind == TTerm::OfRange && plain(t.First) && plain(t.Last)) ||
                        (t.Kind == TTerm::OfName && name(defined[size_t(t.Name)]) &&
                         (defined[size_t(t.Name)].Kind != TName::NameOf ||
                          name(defined[size_t(defined[size_t(t.Name)].Of)])));
        if (!ok) return false;
    }
    return true;
}

// ---- formula text

inline std::u16string TRun::Quoted(const std::u16string& name) {
    std::u16string out = u"'";
    for (char16_t c : name) {
        if (c == u'\'') out += u'\'';
        out += c;
    }
    return out + u"'";
}

inline std::u16string TRun::CellText(const TRef& r) {
    return std::u16string(r.AbsCol ? u"$" : u"") + char16_t(u'A' + r.Col) + (r.AbsRow ? u"$" : u"") +
           Utf8ToWide(std::to_string(r.Row + 1));
}

inline std::u16string TRun::TermText(const TFormula& f, const TTerm& t) const {
    switch (t.Kind) {
    case TTerm::OfNumber:
        return Utf8ToWide(std::to_string(t.Number));
    case TTerm::OfOther:
        return u"ISERROR('[ext.xlsx]" + Quoted(SheetNames[t.Number]).substr(1) + u"!A1)*1";
    case TTerm::OfCell:
        return (t.Ref.Sheet >= 0 ? Quoted(NameOf(t.Ref.Sheet)) + u"!" : u"") + CellText(t.Ref);
    case TTerm::OfRange: {
        const std::u16string first = NameOf(t.First), last = NameOf(t.Last);
        // The last name unquoted where it may be, as some writers give it.
        const bool plain = std::all_of(last.begin(), last.end(), [](char16_t c) {
            return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
        });
        const std::u16string sheets = t.First == t.Last   ? Quoted(first)
                                      : plain && t.Number ? Quoted(first) + u":" + last
                                                          : Quoted(first + u":" + last);
        return u"SUM(" + sheets + u"!" + CellText(t.Ref) + u")";
    }
    default: {
        const TName& n = defined[size_t(t.Name)];
        const bool through = n.Scope >= 0 && n.Scope != f.Sheet;
        return u"SUM(" + (through ? Quoted(NameOf(n.Scope)) + u"!" : u"") + n.Text + u")";
    }
    }
}

inline std::u16string TRun::Text(const TFormula& f) const {
    std::u16string text;
    for (size_t i = 0; i < f.Terms.size(); ++i) {
        if (i) text += char16_t(f.Ops[i - 1]);
        text += TermText(f, f.Terms[i]);
    }
    return text;
}

// ---- making

inline TTerm TRun::NewTerm(int position) {
    TTerm t;
    const int count = int(ids.size());
    auto cell = [&] {
        TRef r;
        r.Col = bytes.Next(4);
        r.Row = bytes.Next(4);
        r.AbsCol = bytes.Next(3) == 0;
        r.AbsRow = bytes.Next(3) == 0;
        return r;
    };
    std::vector<int> held;
    for (size_t n = 0; n < defined.size(); ++n)
        if (defined[n].Held && !defined[n].Gone) held.push_back(int(n));
    switch (bytes.Next(7)) {
    case 0:
    case 1:
        t.Kind = TTerm::OfCell;
        t.Ref = cell();
        if (bytes.Next(2)) t.Ref.Sheet = ids[size_t(bytes.Next(count))];
        break;
    case 2: {
        t.Kind = TTerm::OfRange;
        int a = bytes.Next(count), b = bytes.Next(count);
        if (a > b) std::swap(a, b);
        t.First = ids[size_t(a)];
        t.Last = ids[size_t(b)];
        t.Ref = cell();
        t.Number = bytes.Next(2); // the way of quoting
        break;
    }
    case 3:
    case 4:
        if (held.empty()) break;
        t.Kind = TTerm::OfName;
        t.Name = held[size_t(bytes.Next(int(held.size())))];
        break;
    case 5:
        if (bytes.Next(3) == 0) {
            t.Kind = TTerm::OfOther;
            t.Number = bytes.Next(SheetNameCount);
            break;
        }
        [[fallthrough]];
    default:
        break;
    }
    if (t.Kind == TTerm::OfNumber && t.Number == 0) t.Number = 1 + bytes.Next(50);
    (void)position;
    return t;
}

inline void TRun::SetFormula(int position, int col, int row) {
    TFormula f;
    f.Sheet = ids[size_t(position)];
    f.Col = col;
    f.Row = row;
    const int terms = 1 + bytes.Next(3);
    for (int i = 0; i < terms; ++i) {
        if (i) f.Ops.push_back(bytes.Next(2) ? '+' : '*');
        f.Terms.push_back(NewTerm(position));
    }
    const std::u16string text = Text(f);
    TFormulaEncoding how;
    how.FileSyntax = true;
    how.Sheet = position;
    how.Row = row;
    how.Col = col;
    const TEncodedFormula e = book->FormulaHandler().EncodeFormula(text, how);
    // With the result it computes, as a file caches it, or none.
    std::optional<TFormulaResult> result;
    const std::string value = Expected(f);
    if (value.rfind("n:", 0) == 0) result.emplace().Number = std::strtod(value.c_str() + 2, nullptr);
    book->GetSheet(position).PutFormula(ctNumberFormula, col, row, 15, int(e.TokenLength), e.Data, result);
    Forget(f.Sheet, col, row, col, row);
    f.Made = WideToUtf8(text);
    log += " set " + f.Made;
    formulas.push_back(std::move(f));
}

inline void TRun::Forget(int sheet, int col1, int row1, int col2, int row2) {
    std::erase_if(formulas, [&](const TFormula& f) {
        return f.Sheet == sheet && f.Col >= col1 && f.Col <= col2 && f.Row >= row1 && f.Row <= row2;
    });
}

inline void TRun::MakeNames() {
    const int count = int(ids.size());
    auto add = [&](TName n, const std::u16string& formula) {
        TInternalName& name = book->GetInternalNames().Add();
        name.SetName(n.Text);
        const int scope = n.Scope >= 0 ? Position(n.Scope) : -1;
        name.SheetNumber = uint16_t(scope + 1);
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Class = 0x20;
        how.Sheet = scope;
        const TEncodedFormula e = book->FormulaHandler().EncodeFormula(formula, how);
        name.Data = e.Data;
        name.TokenLength = uint16_t(e.TokenLength);
        n.Made = WideToUtf8(formula);
        defined.push_back(std::move(n));
    };
    for (const char16_t* text : {u"Qone", u"Qtwo"}) {
        TName n;
        n.Text = text;
        n.Sheet = ids[size_t(bytes.Next(count))];
        add(n, Quoted(NameOf(n.Sheet)) + u"!$A$1:$B$2");
    }
    // A name of a name, and one of a range of sheets.
    TName of;
    of.Text = u"Qof";
    of.Kind = TName::NameOf;
    of.Of = bytes.Next(2);
    add(of, defined[size_t(of.Of)].Text);
    TName span;
    span.Text = u"Qspan";
    span.Kind = TName::Range3d;
    int a = bytes.Next(count), b = bytes.Next(count);
    if (a > b) std::swap(a, b);
    span.First = ids[size_t(a)];
    span.Last = ids[size_t(b)];
    add(span, (a == b ? Quoted(NameOf(span.First)) : Quoted(NameOf(span.First) + u":" + NameOf(span.Last))) +
                  u"!$A$1");
    // Names local to sheets, of one text, on a block of their own sheet or another.
    for (int i = 0, locals = 1 + bytes.Next(count); i < locals; ++i) {
        TName n;
        n.Text = u"Loc";
        n.Scope = ids[size_t(i)];
        n.Sheet = bytes.Next(2) ? n.Scope : ids[size_t(bytes.Next(count))];
        add(n, Quoted(NameOf(n.Sheet)) + u"!$A$1:$B$2");
    }
}

inline void TRun::Make() {
    const int count = 2 + bytes.Next(3);
    for (int i = 0; i < count; ++i) AddSheet(i == 0);
    MakeNames();
    const int made = 2 + bytes.Next(8);
    for (int i = 0; i < made; ++i) SetFormula(bytes.Next(int(ids.size())), 5 + bytes.Next(2), bytes.Next(6));
    origin = TOrigin(bytes.Next(5));
}

inline void TRun::WriteMade(const std::string& file) {
    Make();
    book->SetFilename(Utf8ToWide(file));
    WritePackageFile(*book);
}

} // namespace sheetedits

#include "fuzz/sheet_edits_steps.h"

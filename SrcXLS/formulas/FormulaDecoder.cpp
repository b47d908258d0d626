#include "SrcXLS/formulas/FormulaDecoder.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FunctionTable.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace xls {

namespace {

using L = TTokenLayout;

constexpr std::u16string_view ValMissing = u"<Val missing>";

std::u16string Decimal(int64_t v) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    return std::u16string(digits, end);
}

std::u16string Ascii(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

using TAddress = TRefAddress;

// Column letters, then the row, "$" before an absolute part.
void AppendAddress(std::u16string& out, const TAddress& a) {
    if (!a.ColRel) out.push_back(u'$');
    char16_t letters[4];
    int n = 0;
    for (int64_t c = a.Col + 1; c > 0 && n < 4; c = (c - 1) / 26)
        letters[n++] = char16_t(u'A' + (c - 1) % 26);
    while (n > 0) out.push_back(letters[--n]);
    if (!a.RowRel) out.push_back(u'$');
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, a.Row + 1).ptr;
    for (const char* p = digits; p < end; ++p) out.push_back(char16_t(*p));
}

std::u16string AddressText(const TAddress& a) {
    std::u16string out;
    AppendAddress(out, a);
    return out;
}

class TDecoder {
public:
    TDecoder(std::span<const uint8_t> data, size_t tokenLength, const TDecodeContext& c)
        : data(data), tokens(data.first(tokenLength)), ctx(c), layout(TokenLayoutOf(c.Version)),
          arrayPos(tokenLength) {}

    std::u16string Run();

private:
    void Binary(std::u16string_view op);
    void Prefix(std::u16string_view op);
    void Push(std::u16string s) { stack.push_back(std::move(s)); }
    // A marker stands where formula text should: the first is told.
    void Fault(const std::string& what) const {
        if (ctx.Fault && ctx.Fault->empty()) *ctx.Fault = what;
    }
    void PushMarker(std::u16string marker, const std::string& what) {
        Fault(what);
        Push(std::move(marker));
    }
    void Missing() { PushMarker(std::u16string(ValMissing), "a value is missing"); }
    std::u16string Arguments(size_t n);
    std::u16string FunctionText(int number, size_t count, bool variable);
    std::u16string String(const TToken& t) const;
    std::u16string Reference(const TToken& t, bool relative) const;
    std::u16string Area(const TToken& t, bool relative) const;
    std::u16string Sheet3d(const TToken& t) const;
    std::u16string ArrayText(const TToken& t);
    std::u16string ArrayValueText(const TArrayValue& v) const;
    bool Step(const TToken& t);
    bool OperatorStep(const TToken& t);
    void NameStep(const TToken& t);
    void ReferenceStep(const TToken& t);

    std::span<const uint8_t> data;
    std::span<const uint8_t> tokens;
    const TDecodeContext& ctx;
    L layout;
    size_t arrayPos;
    bool arraysBroken = false;
    std::u16string arrayError;
    bool externalSheet = false;
    std::vector<std::u16string> stack;
};

void TDecoder::Binary(std::u16string_view op) {
    if (stack.size() < 2) {
        Missing();
        return;
    }
    std::u16string b = std::move(stack.back());
    stack.pop_back();
    std::u16string& a = stack.back();
    a.append(op);
    a.append(b);
}

void TDecoder::Prefix(std::u16string_view op) {
    if (stack.empty()) {
        Missing();
        return;
    }
    stack.back().insert(0, op);
}

// The pieces are joined onto the deepest one: each is copied once.
std::u16string TDecoder::Arguments(size_t n) {
    if (n > stack.size()) throw XLSError("Function arguments missing");
    if (n == 0) return {};
    const size_t first = stack.size() - n;
    size_t length = n;
    for (size_t i = first; i < stack.size(); ++i) length += stack[i].size();
    std::u16string out = std::move(stack[first]);
    out.reserve(length + 16);
    for (size_t i = first + 1; i < stack.size(); ++i) {
        out.push_back(ctx.Syntax.ListSeparator);
        out.append(stack[i]);
    }
    stack.resize(first);
    return out;
}

std::u16string TDecoder::FunctionText(int number, size_t count, bool variable) {
    std::u16string name;
    if (number < ExcelFunctionCount) {
        name = ExcelFunction(number).Name;
        // Slots without a function have their number as the name; 255
        // calls a function by name.
        if (number != 255 && !name.empty() && name[0] >= u'0' && name[0] <= u'9')
            Fault("function number " + std::to_string(number) + " is not known");
    } else if (!variable) {
        // Outside the table: the number, and one argument.
        Fault("function number " + std::to_string(number) + " is not known");
        return u"?" + Decimal(number) + u"?(" + Arguments(count) + u")";
    } else {
        Fault("function number " + std::to_string(number) + " is not known");
        name = u"1";
    }
    if (variable && !name.empty() && name[0] >= u'0' && name[0] <= u'9') {
        // A function of an add-in or the workbook: its name is the deepest
        // argument.
        if (count == 0 || stack.size() < count) {
            Fault("a value is missing");
            name = std::u16string(ValMissing);
        } else {
            const size_t at = stack.size() - count;
            name = std::move(stack[at]);
            stack.erase(stack.begin() + std::ptrdiff_t(at));
            --count;
        }
    }
    std::u16string out = Arguments(count);
    out.insert(0, name.size() + 1, u'(');
    std::copy(name.begin(), name.end(), out.begin());
    out.push_back(u')');
    return out;
}

std::u16string TDecoder::String(const TToken& t) const {
    const uint8_t* p = t.Data;
    const size_t n = p[0];
    std::u16string text;
    if (t.Layout == L::BIFF8 || t.Layout == L::X2007) {
        const bool wide = p[1] & 1;
        text.reserve(n);
        for (size_t i = 0; i < n; ++i)
            text.push_back(wide ? char16_t(GetU16(p + 2 + 2 * i)) : char16_t(p[2 + i]));
    } else {
        text = CodePageToWide(std::string_view(reinterpret_cast<const char*>(p + 1), n), ctx.CodePage);
    }
    return QuoteFormulaString(text);
}

std::u16string TDecoder::Reference(const TToken& t, bool relative) const {
    const uint8_t* p = t.Data;
    const size_t colAt = t.Layout == L::X2007 ? 4 : 2;
    TAddress a = ReadRefAddress(p, p + colAt, t.Layout);
    if (relative) ResolveRefAddress(a, t.Layout, ctx.Row, ctx.Col);
    return AddressText(a);
}

std::u16string TDecoder::Area(const TToken& t, bool relative) const {
    const uint8_t* p = t.Data;
    TAddress a, b;
    ReadAreaAddresses(p, t.Layout, a, b);
    if (relative) {
        ResolveRefAddress(a, t.Layout, ctx.Row, ctx.Col);
        ResolveRefAddress(b, t.Layout, ctx.Row, ctx.Col);
    }
    std::u16string out;
    out.reserve(16);
    // Whole columns and whole rows as "A:C" and "1:3".
    const int64_t lastRow = t.Layout == L::X2007 ? 1048575 : t.Layout == L::BIFF8 ? 65535 : 16383;
    const int64_t lastCol = t.Layout == L::X2007 ? 16383 : 255;
    auto mark = [](bool relative) { return relative ? u"" : u"$"; };
    if (a.Row == 0 && b.Row == lastRow && !a.RowRel && !b.RowRel)
        return mark(a.ColRel) + ColumnLetters(int(a.Col)) + u":" + mark(b.ColRel) + ColumnLetters(int(b.Col));
    if (a.Col == 0 && b.Col == lastCol && !a.ColRel && !b.ColRel)
        return mark(a.RowRel) + Decimal(a.Row + 1) + u":" + mark(b.RowRel) + Decimal(b.Row + 1);
    AppendAddress(out, a);
    out.push_back(u':');
    AppendAddress(out, b);
    return out;
}

// The sheet part of a 3-D token, "!" included.
std::u16string TDecoder::Sheet3d(const TToken& t) const {
    const uint8_t* p = t.Data;
    if (t.Layout == L::BIFF8 || t.Layout == L::X2007) {
        if (!ctx.Names) return u"[ExternSheet]";
        if (!ctx.Names->HasExternSheet(GetU16(p)))
            Fault("EXTERNSHEET entry " + std::to_string(GetU16(p)) + " is not there");
        return ctx.Names->ExternSheet(GetU16(p));
    }
    std::u16string prefix = int16_t(GetU16(p)) < 0 ? u"" : u"[EXTERN ???]:";
    if (!prefix.empty()) Fault("a sheet of another workbook");
    const uint16_t first = GetU16(p + 10), last = GetU16(p + 12);
    std::u16string sheets;
    auto name = [&](int n) { return ctx.Names ? ctx.Names->SheetName(n) : u"[Sheet" + Decimal(n) + u"]"; };
    if (first == 0xFFFF || last == 0xFFFF) {
        Fault("a deleted sheet");
        sheets = u"[DELETED]";
    } else if (first != last) {
        sheets = QuoteSheetRange(name(first), name(last));
    } else {
        sheets = QuoteSheetName(name(first));
    }
    return prefix + sheets + u"!";
}

std::u16string TDecoder::ArrayValueText(const TArrayValue& v) const {
    switch (v.Kind) {
    case TArrayValue::avNumber:
        return FormulaNumberText(v.Number, ctx.Syntax.DecimalSeparator, ctx.Syntax.ExactNumbers);
    case TArrayValue::avString:
        return QuoteFormulaString(v.Text);
    case TArrayValue::avBoolean:
        return v.Code ? u"TRUE" : u"FALSE";
    case TArrayValue::avError:
        return std::u16string(ErrorFileText(ErrorCodeToIndex(v.Code)));
    default:
        return {};
    }
}

std::u16string TDecoder::ArrayText(const TToken& t) {
    if (arraysBroken) {
        Fault(std::string(arrayError.begin(), arrayError.end()));
        return arrayError;
    }
    try {
        TArrayConstant a = ReadArrayConstant(data, arrayPos, t.Layout, ctx.CodePage);
        std::u16string out = u"{";
        for (int r = 0; r < a.Rows; ++r) {
            if (r > 0) out.push_back(ctx.Syntax.ArrayRowSeparator);
            for (int c = 0; c < a.Cols; ++c) {
                if (c > 0) out.push_back(ctx.Syntax.ArrayColSeparator);
                out.append(ArrayValueText(a.Values[size_t(r) * size_t(a.Cols) + size_t(c)]));
            }
        }
        out.push_back(u'}');
        return out;
    } catch (const XLSError& e) {
        // The place of the next constant is lost with this one.
        arraysBroken = true;
        arrayError = Ascii(e.what());
        Fault(e.what());
        return arrayError;
    }
}

// Decodes one token; false ends the text.
bool TDecoder::Step(const TToken& t) {
    const uint8_t* p = t.Data;
    switch (t.Base) {
    case ptg::Exp:
        // A cell of a shared or array formula whose formula is not there.
        PushMarker(u"[Row=" + Decimal(GetU16(p)) + u" Col=" + Decimal(GetU16(p + 2)) + u"]",
                   "the shared or array formula it belongs to is missing");
        return true;
    case ptg::MissArg:
        Push({});
        return true;
    case ptg::Str:
        Push(String(t));
        return true;
    case ptg::Attr:
        if ((p[0] & attr::Sum) && !(p[0] & attr::Choose)) {
            if (stack.empty())
                Missing();
            else {
                stack.back().insert(0, u"SUM(");
                stack.back().push_back(u')');
            }
        }
        return true;
    case ptg::Sheet:
        externalSheet = true;
        return true;
    case ptg::EndSheet:
        externalSheet = false;
        return true;
    case ptg::Err:
        if (ErrorCodeToIndex(p[0]))
            Push(std::u16string(ErrorFileText(ErrorCodeToIndex(p[0]))));
        else
            PushMarker(u"#???", "error code " + std::to_string(p[0]) + " is not known");
        return true;
    case ptg::Bool:
        Push(p[0] ? u"TRUE" : u"FALSE");
        return true;
    case ptg::Int:
        Push(Decimal(GetU16(p)));
        return true;
    case ptg::Num: {
        double v;
        std::memcpy(&v, p, 8);
        Push(FormulaNumberText(v, ctx.Syntax.DecimalSeparator, ctx.Syntax.ExactNumbers));
        return true;
    }
    case ptg::Array:
        Push(ArrayText(t));
        return true;
    case ptg::Func: {
        const int number = FunctionCallOf(t).Number;
        Push(FunctionText(number, number < ExcelFunctionCount ? ExcelFunction(number).MinArgs : 1, false));
        return true;
    }
    case ptg::FuncVar: {
        const TFunctionCall call = FunctionCallOf(t);
        if (call.Command) {
            // A command of a macro sheet has no text among the functions.
            Fault(std::string(MacroCommandFault) + std::to_string(call.Number) + " is no worksheet function");
            Push(u"?command" + Decimal(call.Number) + u"?(" + Arguments(FuncVarCount(p[0], t.Layout)) + u")");
            return true;
        }
        Push(FunctionText(call.Number, FuncVarCount(p[0], t.Layout), true));
        return true;
    }
    case ptg::Extended:
    case ptg::Name:
    case ptg::NameX:
        NameStep(t);
        return true;
    case ptg::Ref:
    case ptg::Area:
    case ptg::RefN:
    case ptg::AreaN:
    case ptg::RefErr:
    case ptg::AreaErr:
    case ptg::Ref3d:
    case ptg::Area3d:
    case ptg::RefErr3d:
    case ptg::AreaErr3d:
        ReferenceStep(t);
        return true;
    case ptg::MemArea:
    case ptg::MemErr:
    case ptg::MemNoMem:
    case ptg::MemFunc:
    case ptg::MemAreaN:
    case ptg::MemNoMemN:
        // The sub-expression after the head decodes as ordinary tokens.
        return true;
    default:
        if (OperatorStep(t)) return true;
        PushMarker(Ascii(TokenMessage("Unknown ptg", t.Id)), TokenMessage("Unknown ptg", t.Id));
        return false;
    }
}

// An operator over the texts on the stack; false for any other token.
bool TDecoder::OperatorStep(const TToken& t) {
    static constexpr std::u16string_view operators[] = {u"+", u"-",  u"*", u"/",  u"^", u"&",
                                                        u"<", u"<=", u"=", u">=", u">", u"<>"};
    switch (t.Base) {
    case ptg::Union:
        Binary(std::u16string_view(&ctx.Syntax.ListSeparator, 1));
        return true;
    case ptg::Isect:
        // A right operand that starts with a sign would read back as a
        // subtraction or an addition.
        if (stack.size() >= 2 && !stack.back().empty() &&
            (stack.back()[0] == u'-' || stack.back()[0] == u'+')) {
            stack.back().insert(stack.back().begin(), u'(');
            stack.back().push_back(u')');
        }
        // With an operand missing the space alone would stand for nothing
        // that reads back.
        Binary(stack.size() >= 2 && (stack.back().empty() || stack[stack.size() - 2].empty()) ? u"" : u" ");
        return true;
    case ptg::Range:
        Binary(u":");
        return true;
    case ptg::Uplus:
        Prefix(u"+");
        return true;
    case ptg::Uminus:
        Prefix(u"-");
        return true;
    case ptg::Percent:
        if (stack.empty())
            Missing();
        else
            stack.back().push_back(u'%');
        return true;
    case ptg::Paren:
        if (stack.empty())
            Missing();
        else {
            stack.back().insert(stack.back().begin(), u'(');
            stack.back().push_back(u')');
        }
        return true;
    default:
        if (t.Base >= ptg::Add && t.Base <= ptg::NE) {
            Binary(operators[t.Base - ptg::Add]);
            return true;
        }
        return false;
    }
}

// A defined, built-in or external name.
void TDecoder::NameStep(const TToken& t) {
    const uint8_t* p = t.Data;
    const bool before5 = t.Layout < L::BIFF5;
    switch (t.Base) {
    case ptg::Extended: {
        const int type = p[0];
        if (t.Size == 1) {
            PushMarker(Ascii(TokenMessage("Unknown eptg", uint8_t(type))),
                       TokenMessage("Unknown eptg", uint8_t(type)));
        } else if (type == 6 || type == 7) {
            Push(ctx.Names ? ctx.Names->DefinedName(GetU16(p + 1)) : u"[NAME]");
        }
        break;
    }
    case ptg::Name:
        // Every layout holds the 1-based number first; before BIFF5 a name
        // between tSheet and tEndSheet is another workbook's.
        if (before5 && externalSheet)
            PushMarker(u"[EXTERNNAME]", "a name of another workbook in a file older than Excel 5");
        else if (!ctx.Names)
            PushMarker(before5 ? u"[NAME]" : u"[EXTERNNAME]", "a name that cannot be looked up");
        else {
            if (!ctx.Names->HasDefinedName(GetU16(p)))
                Fault("defined name " + std::to_string(GetU16(p)) + " is not there");
            Push(ctx.Names->DefinedName(GetU16(p)));
        }
        break;
    case ptg::NameX:
        if (t.Layout == L::BIFF8 || t.Layout == L::X2007) {
            if (ctx.Names && !ctx.Names->HasExternSheet(GetU16(p)))
                Fault("EXTERNSHEET entry " + std::to_string(GetU16(p)) + " is not there");
            Push(ctx.Names ? ctx.Names->ExternName(GetU16(p), GetU16(p + 2)) : u"[EXTERNNAME X]");
        } else if (!ctx.Names) {
            Push(u"[EXTERNNAME X]");
        } else {
            // An own-workbook reference names a defined name.
            const int number = GetU16(p + 10);
            Push(int16_t(GetU16(p)) < 0 ? ctx.Names->DefinedName(number)
                                        : ctx.Names->OldExternName(int16_t(GetU16(p)), number));
        }
        break;
    default:
        break;
    }
}

// A reference or area, of the formula's sheet or others, or its error.
void TDecoder::ReferenceStep(const TToken& t) {
    const uint8_t* p = t.Data;
    switch (t.Base) {
    case ptg::Ref:
        Push(Reference(t, false));
        break;
    case ptg::Area:
        Push(Area(t, false));
        break;
    case ptg::RefN:
        Push(Reference(t, true));
        break;
    case ptg::AreaN:
        Push(Area(t, true));
        break;
    case ptg::RefErr:
    case ptg::AreaErr:
        Push(u"#REF!");
        break;
    case ptg::Ref3d:
    case ptg::Area3d: {
        TToken inner = t;
        inner.Data = p + (t.Layout == L::BIFF8 || t.Layout == L::X2007 ? 2 : 14);
        const std::u16string sheet = Sheet3d(t);
        Push(sheet + (t.Base == ptg::Ref3d ? Reference(inner, false) : Area(inner, false)));
        break;
    }
    case ptg::RefErr3d:
    case ptg::AreaErr3d: {
        // Through an entry of a deleted sheet the reference is the error
        // alone, and so it is where the older layouts name a deleted sheet.
        const bool older = t.Layout != L::BIFF8 && t.Layout != L::X2007;
        if (older && int16_t(GetU16(p)) < 0 && (GetU16(p + 10) == 0xFFFF || GetU16(p + 12) == 0xFFFF)) {
            Push(u"#REF!");
            break;
        }
        const std::u16string sheet = Sheet3d(t);
        Push(sheet == u"#REF!" ? sheet : sheet + u"#REF!");
        break;
    }
    default:
        break;
    }
}

std::u16string TDecoder::Run() {
    stack.reserve(16);
    TTokenWalker walker(tokens, layout);
    TToken t;
    for (;;) {
        const TWalkStatus s = walker.Next(t);
        if (s == TWalkStatus::End) break;
        if (s != TWalkStatus::Token) {
            if (t.Id != 0)
                PushMarker(Ascii(TokenMessage("Unknown ptg", t.Id)), TokenMessage("Unknown ptg", t.Id));
            break;
        }
        if (!Step(t)) break;
    }
    if (stack.empty()) {
        Fault("it holds no value");
        return u"[ERROR]";
    }
    // The text is the last value's: the others would be lost with it.
    if (stack.size() > 1) Fault("it leaves " + std::to_string(stack.size()) + " values");
    return std::move(stack.back());
}

} // namespace

std::u16string DecodeFormula(std::span<const uint8_t> data, size_t tokenLength,
                             const TDecodeContext& context) {
    if (tokenLength > data.size()) tokenLength = data.size();
    return TDecoder(data, tokenLength, context).Run();
}

} // namespace xls

// Random small workbooks under random sequences of the library's edits,
// driven by bytes: the fuzz target hands it its input, the unit test the
// bytes of a fixed seed. A workbook of several sheets of constants, with
// formulas (in columns F and after) that read constants of their own sheet
// and of others, ranges of sheets and names, made here or read back from
// either format, is edited step by step: sheets added, deleted and renamed,
// formulas set, copied and moved (with and without their references
// moved), cells cleared. After each step every formula the step did not
// touch computes what it did before (the library's evaluator is the
// oracle) and one that named a deleted sheet alone gives #REF!; at the end
// the workbook written in each format and read back has the same formulas
// computing the same values, each written with its value.
#pragma once

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace sheetedits {

using namespace xls;

// Values from the bytes; 0 once they are used up.
class TBytes {
public:
    TBytes(const uint8_t* data, size_t size) : data(data), size(size) {}
    int Next(int range) {
        if (range <= 1) return 0;
        const int v = at < size ? data[at] : 0;
        ++at;
        return v % range;
    }
    bool Done() const { return at >= size; }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

// Sheet names, some quoted in formulas, one that reads as a cell.
inline const char16_t* const SheetNames[] = {u"Alpha", u"Beta",  u"S1",  u"Two Words",
                                             u"D'x",   u"Gamma", u"Q9z", u"Last"};
constexpr int SheetNameCount = int(sizeof(SheetNames) / sizeof(SheetNames[0]));
// Global names, each on a constant of a sheet.
inline const char16_t* const NameTexts[] = {u"Qone", u"Qtwo", u"Qthree"};

struct TModelFormula {
    int Sheet = 0; // the sheet's id
    int Col = 0, Row = 0;
    std::set<int> Direct;              // sheets named alone (by id), through names too
    std::vector<std::set<int>> Ranges; // the sheets of each range of sheets
    bool Known = false;                // Value is what it must compute
    std::string Value;
};

class TRun {
public:
    TRun(const uint8_t* data, size_t size, std::string scratchXls)
        : bytes(data, size), xlsFile(std::move(scratchXls)) {}

    // What was done, for a fault's message.
    const std::string& Log() const { return log; }
    // "" or the first fault found.
    std::string Run() {
        try {
            Make();
            const int steps = 3 + bytes.Next(10);
            for (int i = 0; i < steps && fault.empty() && !bytes.Done(); ++i) Step();
            if (fault.empty()) WrittenAndReadBack();
        } catch (const XLSError& e) {
            if (fault.empty()) fault = std::string("unexpected refusal: ") + e.what() + " after " + log;
        }
        return fault;
    }

private:
    TBytes bytes;
    std::string xlsFile;
    std::unique_ptr<TTabrix4> book = std::make_unique<TTabrix4>();
    std::vector<int> ids;              // the sheets by position: their ids
    std::vector<std::u16string> names; // and their names
    int nextId = 0;
    std::vector<std::set<int>> nameSheets; // the sheet of each global name
    std::vector<TModelFormula> formulas;
    std::string fault, log;

    int Position(int id) const {
        for (size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == id) return int(i);
        return -1;
    }
    static std::u16string Quoted(const std::u16string& name) {
        std::u16string out = u"'";
        for (char16_t c : name) {
            if (c == u'\'') out += u'\'';
            out += c;
        }
        return out + u"'";
    }
    static std::u16string Cell(int col, int row) {
        return std::u16string(1, char16_t(u'A' + col)) + Utf8ToWide(std::to_string(row + 1));
    }
    bool Taken(const std::u16string& n) const {
        for (const std::u16string& m : names)
            if (UpperCaseWide(m) == UpperCaseWide(n)) return true;
        return false;
    }
    std::u16string FreeName() {
        for (int tries = 0; tries < SheetNameCount; ++tries) {
            const std::u16string n = SheetNames[bytes.Next(SheetNameCount)];
            if (!Taken(n)) return n;
        }
        for (int k = nextId;; ++k) {
            const std::u16string n = u"Extra" + Utf8ToWide(std::to_string(k));
            if (!Taken(n)) return n;
        }
    }
    void FillSheet(int position) {
        TSheet& s = book->GetSheet(position);
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) s.SetAsFloat(c, r, ids[size_t(position)] * 100 + c * 10 + r + 1);
    }
    void AddSheet(bool first) {
        TSheet& s = first ? book->GetSheet(0) : book->Sheets().Add(0);
        ids.push_back(nextId++);
        const std::u16string name = FreeName();
        names.push_back(name);
        s.SetName(name);
        FillSheet(int(ids.size()) - 1);
    }

    static std::string ValueText(const TFormulaValue& v) {
        char buf[40];
        switch (v.ValType) {
        case fvFloat:
            std::snprintf(buf, sizeof buf, "n:%.17g", v.Float);
            return buf;
        case fvError:
            return "e:" + WideToUtf8(ErrorFileText(v.Error));
        case fvBoolean:
            return v.Boolean ? "b:1" : "b:0";
        default:
            return "s:" + WideToUtf8(v.Text);
        }
    }
    std::string Computed(TTabrix4& b, int position, int col, int row) {
        TFormulaValue v;
        b.CalculateCell(position, col, row, v);
        return ValueText(v);
    }

    // A random formula for a cell of the sheet at position.
    TModelFormula NewFormula(int position, int col, int row, std::u16string& text) {
        TModelFormula f;
        f.Sheet = ids[size_t(position)];
        f.Col = col;
        f.Row = row;
        const int terms = 1 + bytes.Next(3);
        for (int t = 0; t < terms; ++t) {
            if (t) text += bytes.Next(2) ? u"+" : u"*";
            switch (bytes.Next(5)) {
            case 0:
                text += Cell(bytes.Next(4), bytes.Next(4));
                break;
            case 1: {
                const int other = bytes.Next(int(ids.size()));
                text += Quoted(names[size_t(other)]) + u"!" + Cell(bytes.Next(4), bytes.Next(4));
                f.Direct.insert(ids[size_t(other)]);
                break;
            }
            case 2: {
                int a = bytes.Next(int(ids.size())), b = bytes.Next(int(ids.size()));
                if (a > b) std::swap(a, b);
                const std::u16string sheets =
                    a == b ? Quoted(names[size_t(a)]) : Quoted(names[size_t(a)] + u":" + names[size_t(b)]);
                text += u"SUM(" + sheets + u"!" + Cell(bytes.Next(4), bytes.Next(4)) + u")";
                std::set<int> covered;
                for (int p = a; p <= b; ++p) covered.insert(ids[size_t(p)]);
                if (a == b)
                    f.Direct.insert(ids[size_t(a)]);
                else
                    f.Ranges.push_back(covered);
                break;
            }
            case 3: {
                const int n = bytes.Next(int(nameSheets.size()));
                text += u"SUM(" + std::u16string(NameTexts[n]) + u")";
                f.Direct.insert(nameSheets[size_t(n)].begin(), nameSheets[size_t(n)].end());
                break;
            }
            default:
                text += Utf8ToWide(std::to_string(1 + bytes.Next(50)));
            }
        }
        return f;
    }

    void SetFormula(int position, int col, int row) {
        std::u16string text;
        TModelFormula f = NewFormula(position, col, row, text);
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Sheet = position;
        how.Row = row;
        how.Col = col;
        const TEncodedFormula e = book->FormulaHandler().EncodeFormula(text, how);
        book->GetSheet(position).PutFormula(ctNumberFormula, col, row, 15, int(e.TokenLength), e.Data, {});
        Forget(f.Sheet, col, row, col, row);
        formulas.push_back(std::move(f));
        log += " set " + WideToUtf8(text);
    }

    void Forget(int sheet, int col1, int row1, int col2, int row2) {
        std::erase_if(formulas, [&](const TModelFormula& f) {
            return f.Sheet == sheet && f.Col >= col1 && f.Col <= col2 && f.Row >= row1 && f.Row <= row2;
        });
    }

    void Make() {
        const int count = 2 + bytes.Next(3);
        for (int i = 0; i < count; ++i) AddSheet(i == 0);
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Class = 0x20;
        for (const char16_t* n : NameTexts) {
            const int p = bytes.Next(int(ids.size()));
            TInternalName& name = book->GetInternalNames().Add();
            name.SetName(n);
            const TEncodedFormula e =
                book->FormulaHandler().EncodeFormula(Quoted(names[size_t(p)]) + u"!$A$1:$B$2", how);
            name.Data = e.Data;
            name.TokenLength = uint16_t(e.TokenLength);
            nameSheets.push_back({ids[size_t(p)]});
        }
        const int made = 2 + bytes.Next(8);
        for (int i = 0; i < made; ++i)
            SetFormula(bytes.Next(int(ids.size())), 5 + bytes.Next(2), bytes.Next(6));
        // Made here, or read back from .xls or a package (formulas as text).
        const int origin = bytes.Next(3);
        if (origin) book = WrittenAndRead(*book, origin == 2);
        log += origin == 0 ? " (made)" : origin == 1 ? " (from .xls)" : " (from .xlsx)";
        Record();
    }

    // Every formula's value now, taken as what it must compute from here on.
    void Record() {
        for (TModelFormula& f : formulas) {
            f.Value = Computed(*book, Position(f.Sheet), f.Col, f.Row);
            f.Known = true;
        }
    }

    std::unique_ptr<TTabrix4> WrittenAndRead(TTabrix4& from, bool package) {
        auto back = std::make_unique<TTabrix4>();
        if (package) {
            std::vector<uint8_t> image;
            WritePackageFile(from, &image);
            ReadPackageFile(*back, &image);
        } else {
            from.SetVersion(TExcelVersion::xvExcel97);
            from.SetFilename(Utf8ToWide(xlsFile));
            from.Write();
            back->SetFilename(Utf8ToWide(xlsFile));
            back->Read();
        }
        back->AfterRead();
        return back;
    }

    void Check(const char* what) {
        for (TModelFormula& f : formulas) {
            const std::string now = Computed(*book, Position(f.Sheet), f.Col, f.Row);
            if (f.Known && now != f.Value && fault.empty())
                fault = std::string(what) + ": " + WideToUtf8(names[size_t(Position(f.Sheet))]) + "!" +
                        WideToUtf8(Cell(f.Col, f.Row)) + " = " +
                        book->GetSheet(Position(f.Sheet)).GetAsFormula(f.Col, f.Row) + " computes " + now +
                        ", not " + f.Value + " after" + log;
            f.Value = now;
            f.Known = true;
        }
    }

    void DeleteSheet() {
        if (ids.size() < 2) return;
        const int p = bytes.Next(int(ids.size()));
        const int id = ids[size_t(p)];
        log += " delete " + WideToUtf8(names[size_t(p)]);
        book->Sheets().Delete(p);
        ids.erase(ids.begin() + p);
        names.erase(names.begin() + p);
        std::erase_if(formulas, [&](const TModelFormula& f) { return f.Sheet == id; });
        for (TModelFormula& f : formulas) {
            if (f.Direct.count(id)) {
                f.Value = "e:#REF!";
                f.Known = true;
                f.Direct.erase(id);
                // Once an error, always that error: what else it names counts no more.
                f.Direct.clear();
                f.Ranges.clear();
                continue;
            }
            for (std::set<int>& r : f.Ranges)
                if (r.erase(id)) f.Known = false;
        }
        for (std::set<int>& n : nameSheets) n.erase(id);
    }

    void Step() {
        const int position = bytes.Next(int(ids.size()));
        const int sheet = ids[size_t(position)];
        switch (bytes.Next(7)) {
        case 0:
            AddSheet(false);
            log += " add";
            break;
        case 1:
            DeleteSheet();
            break;
        case 2: {
            const std::u16string name = FreeName();
            log += " rename " + WideToUtf8(names[size_t(position)]) + " to " + WideToUtf8(name);
            book->GetSheet(position).SetName(name);
            names[size_t(position)] = name;
            break;
        }
        case 3:
            SetFormula(position, 5 + bytes.Next(2), bytes.Next(6));
            break;
        case 4:
        case 5: {
            // A block of the formula columns copied or moved down or up, on
            // its sheet or to another, with or without its references moved
            // (rows only: they never reach the formulas' columns).
            const bool move = bytes.Next(2) == 1;
            const int row1 = bytes.Next(6), row2 = row1 + bytes.Next(3);
            const int to = bytes.Next(int(ids.size()));
            const int destCol = 5, destRow = bytes.Next(12);
            const bool adjust = bytes.Next(2);
            const int options = ICellOperations::coCells | (adjust ? ICellOperations::coAdjustFormulas : 0);
            log += std::string(move ? " move" : " copy") + (adjust ? " adjusted" : "");
            std::vector<TModelFormula> moved;
            for (const TModelFormula& f : formulas)
                if (f.Sheet == sheet && f.Row >= row1 && f.Row <= row2 && f.Col >= 5 && f.Col <= 6)
                    moved.push_back(f);
            if (move)
                book->MoveCells(position, 5, row1, 6, row2, to, destCol, destRow, options);
            else
                book->CopyCells(position, 5, row1, 6, row2, to, destCol, destRow, options);
            if (move) Forget(sheet, 5, row1, 6, row2);
            const int cols = destCol - 5, rows = destRow - row1;
            Forget(ids[size_t(to)], destCol, destRow, destCol + 1, destRow + row2 - row1);
            for (TModelFormula f : moved) {
                f.Col += cols;
                f.Row += rows;
                // The same references on the same sheet compute the same.
                f.Known = !adjust && to == position;
                f.Sheet = ids[size_t(to)];
                formulas.push_back(std::move(f));
            }
            break;
        }
        default: {
            const int row = bytes.Next(12);
            log += " clear";
            book->DeleteCells(position, 5, row, 6, row + 1);
            Forget(sheet, 5, row, 6, row + 1);
        }
        }
        Check("after the step");
    }

    void WrittenAndReadBack() {
        for (bool package : {false, true}) {
            std::vector<std::string> texts;
            for (const TModelFormula& f : formulas)
                texts.push_back(book->GetSheet(Position(f.Sheet)).GetAsFormula(f.Col, f.Row));
            std::unique_ptr<TTabrix4> back = WrittenAndRead(*book, package);
            for (size_t i = 0; i < formulas.size() && fault.empty(); ++i) {
                const TModelFormula& f = formulas[i];
                const int p = Position(f.Sheet);
                std::string text;
                TCell* cell = back->GetSheet(p).GetCell(f.Col, f.Row);
                if (cell && cell->IsFormula()) text = back->GetSheet(p).GetAsFormula(f.Col, f.Row);
                const std::string value = Computed(*back, p, f.Col, f.Row);
                // The value written with it is what it computes.
                TFormulaValue cached;
                back->GetSheet(p).GetCellValue(f.Col, f.Row, cached);
                if (Plain(text) != Plain(texts[i]) || value != f.Value || ValueText(cached) != f.Value)
                    fault = std::string(package ? "written as .xlsx" : "written as .xls") + ": " +
                            WideToUtf8(names[size_t(p)]) + "!" + WideToUtf8(Cell(f.Col, f.Row)) + " reads " +
                            text + " computing " + value + " (written with " + ValueText(cached) + "), not " +
                            texts[i] + " computing " + f.Value + " after" + log;
            }
        }
    }

    // Formula text without the quotes around sheet names and letter case,
    // which the formats spell their own ways.
    static std::string Plain(std::string text) {
        std::string out;
        for (char c : text)
            if (c != '\'') out += char(c >= 'a' && c <= 'z' ? c - 32 : c);
        return out;
    }
};

inline std::string RunCase(const uint8_t* data, size_t size, const std::string& scratchXls) {
    return TRun(data, size, scratchXls).Run();
}

} // namespace sheetedits

// Random small workbooks under random sequences of the library's edits,
// driven by bytes: the fuzz target hands it its input, the unit test the
// bytes of a fixed seed. A workbook of several sheets of constants (A1:D4)
// and defined names (global ones on a block of a sheet, names of names,
// names of a range of sheets, names local to a sheet), with formulas (in
// columns F and G) that read constants of their own sheet and of others,
// ranges of sheets, names (local ones on their sheet and through it from
// others) and another workbook's cells, made here or read from a file of
// any version (ours, or another writer's handed in), is edited step by
// step: sheets added, deleted and renamed, formulas set, copied and moved
// (with and without their references moved, on their sheet and to others),
// cells cleared, constants changed. A model of the workbook of its own
// computes what every formula must give; after each step the library's
// evaluator gives the same. At the end the workbook written in each format
// and read back has the same formulas computing the same values, each
// written with its value (or, where a version cannot hold a formula, the
// value alone).
#pragma once

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
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

// What a file of the version keeps of a workbook written in it: the origins
// a run reads its workbook from, and the copies it writes at the end.
enum class TOrigin { Made, Xls, Package, Excel5, Excel4, Foreign };

// A value as the checks compare them.
inline std::string ValueText(const TFormulaValue& v) {
    char buf[40];
    switch (v.ValType) {
    case fvFloat:
        // -0 is 0 in every file.
        std::snprintf(buf, sizeof buf, "n:%.17g", v.Float == 0 ? 0.0 : v.Float);
        return buf;
    case fvError:
        return "e:" + WideToUtf8(ErrorFileText(v.Error));
    case fvBoolean:
        return v.Boolean ? "b:1" : "b:0";
    default:
        return "s:" + WideToUtf8(v.Text);
    }
}

// A cell reference of a formula: of its own sheet (Sheet -1) or of a sheet
// by its id; Gone once it points off the sheet.
struct TRef {
    int Sheet = -1;
    int Col = 0, Row = 0;
    bool AbsCol = false, AbsRow = false;
    bool Gone = false;
};

// One operand of a formula.
struct TTerm {
    enum TKind { OfCell, OfRange, OfName, OfNumber, OfOther } Kind = OfNumber;
    TRef Ref;                // Cell; Range3d: the cell on each sheet
    int First = 0, Last = 0; // Range3d: the end sheets' ids
    bool RangeGone = false;  // Range3d: every sheet of it deleted; Cell: its sheet
    int Name = 0;            // the model's name
    int Number = 0;
};

// A defined name: on a block A1:B2 of a sheet, another name, or A1 of a
// range of sheets; global or local to a sheet.
struct TName {
    std::u16string Text;
    int Scope = -1; // the sheet's id of a local name
    enum TKind { Area, NameOf, Range3d } Kind = Area;
    int Sheet = 0, First = 0, Last = 0, Of = 0;
    bool SheetGone = false; // Area: its sheet deleted; Range3d: all of them
    bool Gone = false;      // deleted with its sheet
    bool Held = true;       // the workbook has it (a file of another version may not)
    std::string Made;       // its formula as made
};

struct TFormula {
    int Sheet = 0; // the sheet's id
    int Col = 0, Row = 0;
    std::string Made; // its text as set
    std::vector<TTerm> Terms;
    std::vector<char> Ops; // '+' or '*' between them
};

// A copy written at the end and the value each formula cell of it must
// show ("sheet!A1" in UTF-8), for other programs to recalculate: those that
// name no other workbook (whose cells they may take from elsewhere) and
// only sheets whose names need no quotes (a range of sheets otherwise, and
// a doubled quote in a name's formula, they do not read).
struct TWrittenCopy {
    std::string File;
    TOrigin Format = TOrigin::Xls;
    std::map<std::string, std::string> Values;
};

struct TRunOptions {
    std::string Scratch;      // a folder for the files of the run
    std::string OriginFile;   // read this file (another writer's copy of the made workbook) as the origin
    bool KeepCopies = false;  // keep the copies written at the end
    bool AllowForeign = true; // external origins may lack what the library writes
};

class TRun {
public:
    TRun(const uint8_t* data, size_t size, TRunOptions options)
        : bytes(data, size), opt(std::move(options)) {}

    // "" or the first fault found.
    std::string Run();
    // The workbook a run makes before its origin, written as a package to file.
    void WriteMade(const std::string& file);
    const std::vector<TWrittenCopy>& Copies() const { return copies; }

private:
    TBytes bytes;
    TRunOptions opt;
    std::unique_ptr<TTabrix4> book = std::make_unique<TTabrix4>();
    std::vector<int> ids;              // the sheets by position: their ids
    std::vector<std::u16string> names; // and their names
    int nextId = 0;
    std::vector<TName> defined;
    std::vector<TFormula> formulas;
    std::map<std::tuple<int, int, int>, int> constants; // changed constants by (sheet id, col, row)
    TOrigin origin = TOrigin::Made;
    std::vector<TWrittenCopy> copies;
    std::string fault, log;

    int Position(int id) const;
    std::u16string NameOf(int id) const { return names[size_t(Position(id))]; }
    bool Taken(const std::u16string& n) const;
    std::u16string FreeName();
    void FillSheet(int position);
    void AddSheet(bool first);

    // The model's values.
    std::optional<double> Constant(int sheet, int col, int row) const;
    bool SheetValue(int sheet, const TRef& r, double& out) const;
    bool NameValue(int name, int depth, double& out) const;
    bool RangeValue(int first, int last, const TRef& r, double& out) const;
    bool TermValue(const TFormula& f, const TTerm& t, double& out) const;
    std::string Expected(const TFormula& f) const;
    bool Judged(const TFormula& f) const;

    // Formula text.
    static std::u16string Quoted(const std::u16string& name);
    static std::u16string CellText(const TRef& r);
    std::u16string TermText(const TFormula& f, const TTerm& t) const;
    std::u16string Text(const TFormula& f) const;
    TTerm NewTerm(int position);
    void SetFormula(int position, int col, int row);
    void Forget(int sheet, int col1, int row1, int col2, int row2);

    void Make();
    void MakeNames();
    void ReadOrigin();
    void Resync();
    std::set<int> LostByTheWriter();
    std::unique_ptr<TTabrix4> WrittenAndRead(TTabrix4& from, TOrigin as, const std::string& file);
    std::string Computed(TTabrix4& b, int position, int col, int row);
    void Check(const char* what);

    void Step();
    void DeleteSheet();
    void CopyOrMove(int position);
    void SetConstant(int position);
    void WrittenAndReadBack();
    void CheckCopy(TTabrix4& back, TOrigin as, const std::vector<std::string>& texts, TWrittenCopy& copy);
    // Formula text without the quotes around sheet names and letter case,
    // which the formats spell their own ways, other workbooks by name and
    // the names local to the formula's sheet without it.
    static std::string Plain(std::string text, const std::u16string& sheet);
};

std::string RunCase(const uint8_t* data, size_t size, const std::string& scratch);

} // namespace sheetedits

#include "fuzz/sheet_edits_run.h"

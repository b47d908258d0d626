// The cells and merged areas of a sheet as BIFF4-BIFF8 records, in one pass
// over the store: from BIFF5 on runs of blanks become MULBLANK and runs of
// RK numbers in adjacent columns MULRK; formula cells carry their cached
// result.
#include "SrcXLS/model/Sheet.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/formulas/FormulaText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/model/FormulaServices.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace xls {

namespace biff {
constexpr uint16_t FORMULA = 0x0006;
constexpr uint16_t FORMULA4 = 0x0406;
constexpr uint16_t MULRK = 0x00BD;
constexpr uint16_t MULBLANK = 0x00BE;
constexpr uint16_t MERGEDCELLS = 0x00E5;
constexpr uint16_t LABELSST = 0x00FD;
constexpr uint16_t BLANK = 0x0201;
constexpr uint16_t NUMBER = 0x0203;
constexpr uint16_t LABEL = 0x0204;
constexpr uint16_t BOOLERR = 0x0205;
constexpr uint16_t STRING = 0x0207;
constexpr uint16_t ARRAY = 0x0221;
constexpr uint16_t TABLE = 0x0236;
constexpr uint16_t RK = 0x027E;
} // namespace biff

namespace {

constexpr int MaxBIFFCol = 255;
// The token of a formula that stands in an array: row and column of the
// array's first cell follow.
constexpr uint8_t ExpToken = 0x01;
// Cell text of files before BIFF8.
constexpr size_t MaxLabelChars = 255;

void PutDouble(uint8_t* p, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    PutU32(p, uint32_t(bits));
    PutU32(p + 4, uint32_t(bits >> 32));
}

// An ARRAY record's body: the area, the options, then the tokens (and
// their array data); Excel 4 has no reserved field before their length.
std::vector<uint8_t> ArrayRecordBody(TExcelVersion version, int col1, int row1, int col2, int row2,
                                     uint16_t options, const std::vector<uint8_t>& tokens,
                                     size_t tokenLength) {
    const size_t head = version == TExcelVersion::xvExcel40 ? 10 : TBaseArrayFormulaCell::ArrayHeadSize;
    std::vector<uint8_t> body(head);
    PutU16(body.data(), uint16_t(row1));
    PutU16(body.data() + 2, uint16_t(row2));
    body[4] = uint8_t(col1);
    body[5] = uint8_t(col2);
    PutU16(body.data() + 6, options);
    PutU16(body.data() + head - 2, uint16_t(tokenLength));
    body.insert(body.end(), tokens.begin(), tokens.end());
    return body;
}

// The array formulas of an .xlsx sheet, kept as text, written as binary
// arrays: every cell of an area becomes a formula pointing at the area's
// first cell, whose formula the ARRAY record after it carries.
struct TKeptArray {
    int Col1, Row1, Col2, Row2;
    std::vector<uint8_t> Record; // the ARRAY record's body
};

class TKeptArrays {
public:
    void Collect(TSheet& sheet, TExcelVersion version, int maxRec);
    // The area a cell stands in, null for none; cells come in row order.
    const TKeptArray* Find(const TCell& cell);

private:
    std::vector<TKeptArray> areas; // by first row
    size_t next = 0;
    std::vector<const TKeptArray*> open;
};

void TKeptArrays::Collect(TSheet& sheet, TExcelVersion version, int maxRec) {
    const int lastRow = LastFileRow(version);
    std::vector<TKeptArray> found;
    for (const auto& kept : sheet.PackageData().ArrayAreas) {
        const int col = int(kept.first & 0xFFFF), row = int(kept.first >> 16);
        TCell* cell = col <= MaxBIFFCol && row <= lastRow ? sheet.Cells().FindCell(col, row) : nullptr;
        auto* f = dynamic_cast<TFormulaCell*>(cell);
        TKeptArray a;
        // Only an area whose first cell holds the formula can be written.
        if (!f || dynamic_cast<TBaseArrayFormulaCell*>(f) ||
            !sheet.ArrayFormulaArea(*f, a.Col1, a.Row1, a.Col2, a.Row2) || a.Col1 != col || a.Row1 != row ||
            a.Col2 > MaxBIFFCol || a.Row2 > lastRow)
            continue;
        std::vector<uint8_t> tokens;
        size_t tokenLength = 0;
        if (!sheet.Workbook().Formulas().FormulaTokens(sheet.Index(), *f, version, tokens, tokenLength))
            continue;
        a.Record = ArrayRecordBody(version, a.Col1, a.Row1, a.Col2, a.Row2, sheet.RecalcFormulas ? 0x0002 : 0,
                                   tokens, tokenLength);
        if (a.Record.size() > size_t(maxRec)) continue;
        found.push_back(std::move(a));
    }
    std::sort(found.begin(), found.end(), [](const TKeptArray& x, const TKeptArray& y) {
        return x.Row1 != y.Row1 ? x.Row1 < y.Row1 : x.Col1 < y.Col1;
    });
    // An area that overlaps one before it is left out.
    std::vector<const TKeptArray*> before;
    areas.reserve(found.size());
    for (TKeptArray& a : found) {
        std::erase_if(before, [&](const TKeptArray* b) { return b->Row2 < a.Row1; });
        const bool overlaps = std::any_of(before.begin(), before.end(), [&](const TKeptArray* b) {
            return b->Col1 <= a.Col2 && a.Col1 <= b->Col2;
        });
        if (overlaps) continue;
        areas.push_back(std::move(a));
        before.push_back(&areas.back());
    }
}

const TKeptArray* TKeptArrays::Find(const TCell& cell) {
    if (areas.empty()) return nullptr;
    const int row = int(cell.Row), col = cell.Col;
    while (next < areas.size() && areas[next].Row1 <= row) open.push_back(&areas[next++]);
    std::erase_if(open, [&](const TKeptArray* a) { return a->Row2 < row; });
    for (const TKeptArray* a : open)
        if (a->Col1 <= col && col <= a->Col2) return a;
    return nullptr;
}

class TCellWriter {
public:
    TCellWriter(TSheet& sheet, TExcelVersion version, TXLSStream& stream)
        : sheet(sheet), version(version), stream(stream), maxRec(MaxRecordSize(version)),
          lastRow(uint32_t(LastFileRow(version))), sheetIndex(sheet.Index()) {}

    void Run();

private:
    struct TRKEntry {
        uint16_t Format;
        uint32_t RK;
    };

    uint16_t Xf(const TCell& cell) const {
        return uint16_t(sheet.GetWriteFormatIndex(version, cell.GetFormatIndex()));
    }
    void Head(uint8_t* p, const TCell& cell) const {
        PutU16(p, uint16_t(cell.Row));
        PutU16(p + 2, cell.Col);
        PutU16(p + 4, Xf(cell));
    }
    bool AddRK(const TCell& cell, uint32_t rk);
    void FlushRK();
    void WriteBlanks(TCell& first);
    void WriteNumber(const TCell& cell, double v);
    void WriteString(const TCell& cell, const std::u16string& text, TSSTEntry* entry);
    void WriteBoolErr(const TCell& cell, uint8_t value, uint8_t isError);
    // The tokens a formula is written with; false when it has none in
    // this version (kept then holds the value it is written with instead).
    bool TokensOf(const TFormulaCell& cell);
    void WriteFormula(TFormulaCell& cell);
    void EmitFormula(const TCell& cell, const uint8_t* result, const std::u16string* text,
                     std::span<const uint8_t> array);
    void WriteInArray(TCell& cell, const TKeptArray& a);
    // The value kept of a formula that has no tokens in this version
    // (numbers go the way of number cells); a blank when there is none.
    void WriteKeptValue(TCell& cell);
    void WriteStringRecord(const TCell& cell, const std::u16string& text);
    void Counted();
    // Names the cells the version has no place for: they are not written;
    // and the texts cut to what a cell of the version holds.
    void WarnBeyond() const;
    // Text of a version before BIFF8: the characters a cell holds.
    std::u16string_view Label(const TCell& cell, const std::u16string& text);
    // The definition of the data table whose first cell the formula being
    // written is (its token names the cell itself); null for any other.
    const std::vector<uint8_t>* DataTableOf(const TCell& cell) const {
        if (tokenLength != 5 || tokens.size() < 5 || tokens[0] != ptg::Tbl ||
            GetU16(tokens.data() + 1) != cell.Row || GetU16(tokens.data() + 3) != cell.Col)
            return nullptr;
        const auto found = sheet.DataTables.find(TSheet::DataTableKey(cell.Col, cell.Row));
        return found == sheet.DataTables.end() ? nullptr : &found->second;
    }
    // The bytes of a FORMULA record before its tokens (BIFF4: no chain
    // field before the token length).
    size_t FormulaHeadSize() const { return version == TExcelVersion::xvExcel40 ? 18 : 22; }
    // The file written, as warnings name it.
    const char* Target() const {
        return version >= TExcelVersion::xvExcel97   ? ".xls"
               : version == TExcelVersion::xvExcel50 ? ".xls (Excel 5)"
                                                     : ".xls (Excel 4)";
    }

    TSheet& sheet;
    TExcelVersion version;
    TXLSStream& stream;
    int maxRec;
    uint32_t lastRow;
    std::vector<TRKEntry> rk;
    int rkFirst = -1, rkLast = -1;
    uint32_t rkRow = 0;
    int counter = 0;
    int sheetIndex;
    int64_t beyond = 0;
    uint32_t beyondRow = 0, beyondCol = 0;
    int64_t cut = 0;
    uint32_t cutRow = 0, cutCol = 0;
    // What a cell of a version before BIFF8 cannot hold: the fonts of parts
    // of its text, its indent; the count and the first cell of each.
    struct TLost {
        int64_t Count = 0;
        uint32_t Row = 0, Col = 0;
        void Add(const TCell& cell) {
            if (Count++ == 0) Row = cell.Row, Col = cell.Col;
        }
    } runs, indents;
    std::vector<uint8_t> tokens;
    size_t tokenLength = 0;
    TKeptArrays keptArrays;
    // The ARRAY record the formula being written carries.
    std::span<const uint8_t> arrayRecord;
    std::optional<TFormulaValue> kept;
    // The formula being written is calculated whenever the file is opened.
    bool alwaysCalc = false;
};

bool TCellWriter::TokensOf(const TFormulaCell& cell) {
    std::string why;
    IFormulaServices& formulas = sheet.Workbook().Formulas();
    // A cell of an array formula goes with the array (its formula there).
    bool written = formulas.FormulaTokens(sheetIndex, cell, version, tokens, tokenLength, &why);
    if (written && FormulaHeadSize() + tokens.size() > size_t(maxRec)) {
        why = "its tokens take " + std::to_string(tokens.size()) + " bytes, more than a record holds";
        written = false;
    }
    if (written && why.empty()) return true;
    std::string text;
    try {
        // A long text is cut in the message.
        const std::u16string formula = formulas.CellFormulaText(sheetIndex, cell, true);
        text = " =" + WideToUtf8(std::u16string_view(formula).substr(0, 200)) +
               (formula.size() > 200 ? "..." : "");
    } catch (const XLSError&) {
    }
    const std::string where = WideToUtf8(QuoteSheetName(sheet.Name())) + "!" +
                              WideToUtf8(ColRowToRefStr(cell.Col, int(cell.Row), false, false)) +
                              ": formula" + text;
    if (written) {
        // Its areas cut to the file's limits; the value written is the whole formula's.
        sheet.Workbook().AddWarning(where + " " + why + " in " + Target() +
                                    "; its value is the uncut formula's");
        return true;
    }
    kept = sheet.Workbook().FormulaValueToKeep(sheetIndex, cell);
    sheet.Workbook().AddWarning(where + " not written to " + Target() + " (" + why + "); " +
                                (kept ? "its value is kept" : ValueLost(cell.Stale)));
    return false;
}

bool TCellWriter::AddRK(const TCell& cell, uint32_t value) {
    if (rk.size() > 255) throw XLSError("RK Cache overflow");
    if (rk.empty()) {
        rkFirst = rkLast = cell.Col;
        rkRow = cell.Row;
    } else if (cell.Col != rkLast + 1) {
        return false;
    }
    rk.push_back({Xf(cell), value});
    rkLast = cell.Col;
    return true;
}

void TCellWriter::FlushRK() {
    if (rk.empty()) return;
    if (rk.size() == 1) {
        uint8_t b[10];
        PutU16(b, uint16_t(rkRow));
        PutU16(b + 2, uint16_t(rkFirst));
        PutU16(b + 4, rk[0].Format);
        PutU32(b + 6, rk[0].RK);
        TSheet::WriteRecord(stream, biff::RK, b, 10);
    } else {
        std::vector<uint8_t> b(6 * rk.size() + 6);
        PutU16(b.data(), uint16_t(rkRow));
        PutU16(b.data() + 2, uint16_t(rkFirst));
        for (size_t i = 0; i < rk.size(); ++i) {
            PutU16(b.data() + 4 + 6 * i, rk[i].Format);
            PutU32(b.data() + 6 + 6 * i, rk[i].RK);
        }
        PutU16(b.data() + b.size() - 2, uint16_t(rkLast));
        TSheet::WriteRecord(stream, biff::MULRK, b.data(), uint16_t(b.size()));
    }
    rk.clear();
    rkFirst = rkLast = -1;
}

void TCellWriter::WriteBlanks(TCell& first) {
    std::vector<uint16_t> formats{Xf(first)};
    int last = first.Col;
    // BIFF4 has no MULBLANK: each blank is a record of its own.
    while (last < MaxBIFFCol && version >= TExcelVersion::xvExcel50) {
        TCell* next = sheet.Cells().NextBlankInRow();
        if (!next) break;
        if (next->Col != last + 1 || next->Row != first.Row) throw XLSError("Row error in writing MULBLANK");
        formats.push_back(Xf(*next));
        last = next->Col;
        Counted();
    }
    if (formats.size() == 1) {
        uint8_t b[6];
        Head(b, first);
        TSheet::WriteRecord(stream, biff::BLANK, b, 6);
        return;
    }
    std::vector<uint8_t> b(2 * formats.size() + 6);
    PutU16(b.data(), uint16_t(first.Row));
    PutU16(b.data() + 2, first.Col);
    for (size_t i = 0; i < formats.size(); ++i) PutU16(b.data() + 4 + 2 * i, formats[i]);
    PutU16(b.data() + b.size() - 2, uint16_t(last));
    TSheet::WriteRecord(stream, biff::MULBLANK, b.data(), uint16_t(b.size()));
}

void TCellWriter::WriteNumber(const TCell& cell, double v) {
    uint8_t b[14];
    Head(b, cell);
    PutDouble(b + 6, v);
    TSheet::WriteRecord(stream, biff::NUMBER, b, 14);
}

void TCellWriter::WriteString(const TCell& cell, const std::u16string& text, TSSTEntry* entry) {
    if (version >= TExcelVersion::xvExcel97 && entry) {
        uint8_t b[10];
        Head(b, cell);
        PutU32(b + 6, entry->SSTIndex);
        TSheet::WriteRecord(stream, biff::LABELSST, b, 10);
        return;
    }
    std::vector<uint8_t> b(8);
    Head(b.data(), cell);
    if (version >= TExcelVersion::xvExcel97) {
        // A string without a shared-string entry (a formula result).
        const std::u16string_view t = CutWhole(text, size_t((maxRec - 9) / 2));
        PutU16(b.data() + 6, uint16_t(t.size()));
        b.push_back(1);
        for (char16_t c : t) {
            b.push_back(uint8_t(c));
            b.push_back(uint8_t(c >> 8));
        }
    } else {
        std::string bytes = WideToCodePage(Label(cell, text), stream.CodePage);
        PutU16(b.data() + 6, uint16_t(bytes.size()));
        b.insert(b.end(), bytes.begin(), bytes.end());
    }
    TSheet::WriteRecord(stream, biff::LABEL, b.data(), uint16_t(b.size()));
}

std::u16string_view TCellWriter::Label(const TCell& cell, const std::u16string& text) {
    if (text.size() > MaxLabelChars && cut++ == 0) cutRow = cell.Row, cutCol = cell.Col;
    return std::u16string_view(text).substr(0, MaxLabelChars);
}

void TCellWriter::WriteBoolErr(const TCell& cell, uint8_t value, uint8_t isError) {
    uint8_t b[8];
    Head(b, cell);
    b[6] = value;
    b[7] = isError;
    TSheet::WriteRecord(stream, biff::BOOLERR, b, 8);
}

void TCellWriter::WriteStringRecord(const TCell& cell, const std::u16string& text) {
    if (version < TExcelVersion::xvExcel97) {
        std::string bytes = WideToCodePage(Label(cell, text), stream.CodePage);
        std::vector<uint8_t> b(2);
        PutU16(b.data(), uint16_t(bytes.size()));
        b.insert(b.end(), bytes.begin(), bytes.end());
        TSheet::WriteRecord(stream, biff::STRING, b.data(), uint16_t(b.size()));
        return;
    }
    if (text.empty()) return;
    // A long text goes on in CONTINUE records, each with its own flag byte.
    std::u16string_view rest = CutWhole(text, 0xFFFF);
    std::vector<uint8_t> b(2);
    PutU16(b.data(), uint16_t(rest.size()));
    uint16_t id = biff::STRING;
    while (true) {
        size_t room = (size_t(maxRec) - b.size() - 1) / 2;
        // Each piece is decoded alone: none ends in half a character.
        const size_t n = CutWhole(rest, room).size();
        b.push_back(1);
        for (size_t i = 0; i < n; ++i) {
            b.push_back(uint8_t(rest[i]));
            b.push_back(uint8_t(rest[i] >> 8));
        }
        TSheet::WriteRecord(stream, id, b.data(), uint16_t(b.size()));
        rest.remove_prefix(n);
        if (rest.empty()) break;
        b.clear();
        id = biff::CONTINUE;
    }
}

void TCellWriter::WriteKeptValue(TCell& cell) {
    switch (kept ? kept->ValType : fvNull) {
    case fvString:
        WriteString(cell, kept->Text, nullptr);
        return;
    case fvBoolean:
        WriteBoolErr(cell, kept->Boolean ? 1 : 0, 0);
        return;
    case fvError:
        WriteBoolErr(cell, ErrorIndexToCode(kept->Error), 1);
        return;
    default: {
        uint8_t b[6];
        Head(b, cell);
        TSheet::WriteRecord(stream, biff::BLANK, b, 6);
        return;
    }
    }
}

// Called after TokensOf gave the formula's tokens.
void TCellWriter::WriteFormula(TFormulaCell& cell) {
    uint8_t result[8] = {};
    // A formula without a result the library holds or computes: an empty
    // text, calculated whenever the file is opened; so is every formula of a
    // package that asked for a calculation on load.
    const std::optional<TFormulaValue> value = sheet.Workbook().FormulaResultToWrite(sheetIndex, cell);
    alwaysCalc = !value || sheet.Workbook().CalculatedOnLoad();
    switch (value ? value->ValType : fvNull) {
    case fvFloat:
        PutDouble(result, value->Float);
        break;
    case fvString:
        result[0] = value->Text.empty() ? 3 : 0;
        PutU16(result + 6, 0xFFFF);
        break;
    case fvBoolean:
        result[0] = 1;
        result[2] = value->Boolean ? 1 : 0;
        PutU16(result + 6, 0xFFFF);
        break;
    case fvError:
        result[0] = 2;
        result[2] = ErrorIndexToCode(value->Error);
        PutU16(result + 6, 0xFFFF);
        break;
    default:
        result[0] = 3;
        PutU16(result + 6, 0xFFFF);
        break;
    }
    // An array's first cell carries its ARRAY record in the version's layout.
    const auto* array = dynamic_cast<TBaseArrayFormulaCell*>(&cell);
    std::vector<uint8_t> record;
    if (array && array->ArrayOptions == 0) {
        const std::span<const uint8_t> head = array->ArrayData();
        std::vector<uint8_t> arrayTokens;
        size_t arrayLength = 0;
        std::string why;
        // TokensOf found the array's tokens.
        if (!sheet.Workbook().Formulas().ArrayFormulaTokens(sheetIndex, *array, version, arrayTokens,
                                                            arrayLength, &why))
            throw XLSError("Array formula not written: " + why);
        record = ArrayRecordBody(version, head[4], GetU16(head.data()), head[5], GetU16(head.data() + 2),
                                 GetU16(head.data() + 6), arrayTokens, arrayLength);
    }
    EmitFormula(cell, result, value && value->ValType == fvString ? &value->Text : nullptr,
                record.empty() ? arrayRecord : std::span<const uint8_t>(record));
    alwaysCalc = false;
}

// FORMULA with the tokens TokensOf (or WriteInArray) gave, then the
// array's ARRAY record when the cell carries one, then the text result.
void TCellWriter::EmitFormula(const TCell& cell, const uint8_t* result, const std::u16string* text,
                              std::span<const uint8_t> array) {
    const size_t head = FormulaHeadSize();
    size_t length = head + tokens.size();
    if (length > size_t(maxRec))
        throw XLSError("Formula too long in cell " + std::to_string(cell.Row) + ":" +
                       std::to_string(cell.Col));
    std::vector<uint8_t> b(length);
    Head(b.data(), cell);
    std::copy(result, result + 8, b.begin() + 6);
    PutU16(b.data() + 14, uint16_t((sheet.RecalcFormulas ? 0x0002 : 0) | (alwaysCalc ? 0x0001 : 0)));
    PutU16(b.data() + head - 2, uint16_t(tokenLength));
    std::copy(tokens.begin(), tokens.end(), b.begin() + ptrdiff_t(head));
    TSheet::WriteRecord(stream, version == TExcelVersion::xvExcel40 ? biff::FORMULA4 : biff::FORMULA,
                        b.data(), uint16_t(b.size()));
    if (!array.empty()) {
        if (array.size() > size_t(maxRec)) throw XLSError("ARRAY record too long");
        TSheet::WriteRecord(stream, biff::ARRAY, array.data(), uint16_t(array.size()));
    } else if (const std::vector<uint8_t>* table = DataTableOf(cell)) {
        TSheet::WriteRecord(stream, biff::TABLE, table->data(), uint16_t(table->size()));
    }
    if (text) WriteStringRecord(cell, *text);
}

// A cell of a kept .xlsx array: a formula pointing at the area's first
// cell, with the value the cell holds as its result.
void TCellWriter::WriteInArray(TCell& cell, const TKeptArray& a) {
    tokens = {ExpToken, 0, 0, 0, 0};
    PutU16(tokens.data() + 1, uint16_t(a.Row1));
    PutU16(tokens.data() + 3, uint16_t(a.Col1));
    tokenLength = tokens.size();
    const bool first = int(cell.Col) == a.Col1 && int(cell.Row) == a.Row1;
    if (cell.IsFormula()) {
        arrayRecord = first ? std::span<const uint8_t>(a.Record) : std::span<const uint8_t>();
        WriteFormula(static_cast<TFormulaCell&>(cell));
        arrayRecord = {};
        return;
    }
    uint8_t result[8] = {};
    std::u16string text;
    bool hasText = false;
    double v = 0;
    switch (cell.CellType()) {
    case ctInteger:
    case ctFloat:
        cell.GetNumber(v);
        PutDouble(result, v);
        break;
    case ctString:
        text = static_cast<TStringCell&>(cell).Text();
        hasText = true;
        result[0] = text.empty() ? 3 : 0;
        PutU16(result + 6, 0xFFFF);
        break;
    case ctBoolean:
        result[0] = 1;
        result[2] = static_cast<TBooleanCell&>(cell).Value ? 1 : 0;
        PutU16(result + 6, 0xFFFF);
        break;
    case ctError:
        result[0] = 2;
        result[2] = ErrorIndexToCode(static_cast<TErrorCell&>(cell).ErrorIndex);
        PutU16(result + 6, 0xFFFF);
        break;
    default: // blank: an empty text
        result[0] = 3;
        PutU16(result + 6, 0xFFFF);
        break;
    }
    EmitFormula(cell, result, hasText ? &text : nullptr, {});
}

void TCellWriter::Counted() {
    if (++counter >= 100) {
        counter = 0;
        if (sheet.Workbook().ReportsProgress()) sheet.Workbook().ProgressStep();
    }
}

void TCellWriter::Run() {
    TCellValues& cells = sheet.Cells();
    keptArrays.Collect(sheet, version, maxRec);
    cells.BeginIterate();
    while (TCell* cell = cells.NextCell()) {
        if (cell->Col > MaxBIFFCol || cell->Row > lastRow) {
            FlushRK();
            // Cells come in row order: the first is the one to name.
            if (beyond++ == 0) beyondRow = cell->Row, beyondCol = cell->Col;
            continue;
        }
        if (const TKeptArray* a = keptArrays.Find(*cell); a && !dynamic_cast<TBaseArrayFormulaCell*>(cell)) {
            FlushRK();
            WriteInArray(*cell, *a);
            Counted();
            continue;
        }
        if (version < TExcelVersion::xvExcel97 && cell->GetIndent() != 0) indents.Add(*cell);
        TCellType type = cell->CellType();
        double v = 0;
        bool number = type == ctInteger || type == ctFloat;
        if (number) cell->GetNumber(v);
        const bool formula = cell->IsFormula() && TokensOf(static_cast<TFormulaCell&>(*cell));
        // A formula written as its number is written like a number.
        if (cell->IsFormula() && !formula && kept && kept->ValType == fvFloat) {
            number = true;
            v = kept->Float;
        }
        if (!rk.empty() && (cell->Row != rkRow || !number)) FlushRK();
        if (number) type = ctFloat;
        switch (type) {
        case ctBlank:
            WriteBlanks(*cell);
            break;
        case ctInteger:
        case ctFloat: {
            uint32_t value;
            if (EncodeRK(v, value) && AddRK(*cell, value)) {
                // BIFF4 has no MULRK: each RK number is a record of its own.
                if (version < TExcelVersion::xvExcel50) FlushRK();
                break;
            }
            FlushRK();
            WriteNumber(*cell, v);
            break;
        }
        case ctString: {
            auto& s = static_cast<TStringCell&>(*cell);
            if (version < TExcelVersion::xvExcel97 && s.Entry() && !s.Entry()->Runs().empty())
                runs.Add(*cell);
            WriteString(*cell, version >= TExcelVersion::xvExcel97 ? std::u16string() : s.Text(), s.Entry());
            break;
        }
        case ctBoolean:
            WriteBoolErr(*cell, static_cast<TBooleanCell*>(cell)->Value ? 1 : 0, 0);
            break;
        case ctError: {
            int index = static_cast<TErrorCell*>(cell)->ErrorIndex;
            if (index == 0)
                throw XLSError("Invalid error value in cell " + std::to_string(cell->Row) + ":" +
                               std::to_string(cell->Col));
            WriteBoolErr(*cell, ErrorIndexToCode(index), 1);
            break;
        }
        default:
            if (formula)
                WriteFormula(static_cast<TFormulaCell&>(*cell));
            else
                WriteKeptValue(*cell);
        }
        Counted();
    }
    FlushRK();
    WarnBeyond();
}

void TCellWriter::WarnBeyond() const {
    const std::string name = "Sheet '" + WideToUtf8(sheet.Name()) + "': ";
    auto cellName = [](uint32_t col, uint32_t row) {
        return WideToUtf8(ColRowToRefStr(int(col), int(row), false, false));
    };
    if (beyond > 0)
        sheet.Workbook().AddWarning(name + std::to_string(beyond) + (beyond == 1 ? " cell" : " cells") +
                                    " beyond column IV or row " + std::to_string(lastRow + 1) +
                                    " not written to " + Target() +
                                    " (first: " + cellName(beyondCol, beyondRow) + ")");
    if (cut > 0)
        sheet.Workbook().AddWarning(name + std::to_string(cut) + (cut == 1 ? " text" : " texts") +
                                    " longer than " + std::to_string(MaxLabelChars) + " characters cut to " +
                                    std::to_string(MaxLabelChars) + " in " + Target() +
                                    " (first: " + cellName(cutCol, cutRow) + ")");
    if (runs.Count > 0)
        sheet.Workbook().AddWarning(name + "the fonts of parts of " + std::to_string(runs.Count) +
                                    (runs.Count == 1 ? " text" : " texts") + " not written to " + Target() +
                                    " (first: " + cellName(runs.Col, runs.Row) + ")");
    if (indents.Count > 0)
        sheet.Workbook().AddWarning(name + "the indent of " + std::to_string(indents.Count) +
                                    (indents.Count == 1 ? " cell" : " cells") + " not written to " +
                                    Target() + " (first: " + cellName(indents.Col, indents.Row) + ")");
}

} // namespace

void TSheet::WriteRecord(TXLSStream& stream, uint16_t id, const void* data, uint16_t length) {
    // A cell's record goes to the stream in one piece with its header.
    uint8_t record[64];
    if (length <= sizeof record - 4) {
        PutU16(record, id);
        PutU16(record + 2, length);
        if (length) std::memcpy(record + 4, data, length);
        stream.WriteRaw(record, size_t(length) + 4);
        return;
    }
    stream.WriteHeader(id, length);
    stream.WriteRaw(data, length);
}

void TSheet::WriteSheetCells(TExcelVersion version, TXLSStream& stream) {
    TCellWriter(*this, version, stream).Run();
}

void TSheet::WriteMergedCells(TExcelVersion version, TXLSStream& stream) {
    // Excel 5 has no merged areas, but the readers of its files take them.
    if (version < TExcelVersion::xvExcel50) return;
    // Areas a sheet of the version cannot address are left out, the others
    // clipped (the write's warnings say so).
    const uint32_t lastRow = uint32_t(LastFileRow(version));
    std::vector<std::array<uint16_t, 4>> areas;
    const std::vector<bool> overlapping = mergedCells.LaterOverlapping();
    for (int i = 0; i < mergedCells.Count(); ++i) {
        const TCellArea& a = mergedCells[i];
        if (a.Col1 > uint32_t(MaxBIFFCol) || a.Row1 > lastRow || overlapping[size_t(i)]) continue;
        areas.push_back({uint16_t(a.Row1), uint16_t(std::min<uint32_t>(a.Row2, lastRow)), uint16_t(a.Col1),
                         uint16_t(std::min<uint32_t>(a.Col2, MaxBIFFCol))});
    }
    if (areas.empty()) return;
    size_t perRecord = size_t((MaxRecordSize(version) - 2) / 8);
    for (size_t start = 0; start < areas.size(); start += perRecord) {
        size_t n = std::min(perRecord, areas.size() - start);
        std::vector<uint8_t> b(8 * n + 2);
        PutU16(b.data(), uint16_t(n));
        for (size_t i = 0; i < n; ++i)
            for (int k = 0; k < 4; ++k) PutU16(b.data() + 2 + 8 * i + 2 * k, areas[start + i][size_t(k)]);
        WriteRecord(stream, biff::MERGEDCELLS, b.data(), uint16_t(b.size()));
    }
}

} // namespace xls

// The sheet handlers of the BIFF reader: sheet settings and cells.
#include "SrcXLS/formats/TabrixReader.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formats/BIFFRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/TokenRewriting.h"
#include "SrcXLS/model/SST.h"
#include "SrcXLS/model/Sheet.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace xls {

namespace {
constexpr TExcelVersion BIFF5 = TExcelVersion::xvExcel50;
constexpr TExcelVersion BIFF8 = TExcelVersion::xvExcel97;
constexpr uint8_t tExp = 0x01;
constexpr uint16_t SharedBit = 0x0008;

bool HoldsLayoutMarker(std::span<const uint8_t> tokens) {
    TTokenWalker w(tokens, TTokenLayout::BIFF8, false);
    TToken t;
    TWalkStatus s;
    while ((s = w.Next(t)) == TWalkStatus::Token) {
    }
    return s == TWalkStatus::Unknown && t.Id == ptg::Layout2007;
}
} // namespace

// ---- sheet settings

void TTabrixReader::ReadWindow2() {
    Drop();
    if (Version < BIFF5 || !InSheet()) return;
    PutDefault(*CurrentStorage, biff::WINDOW2, Window2ToBIFF8(Body()));
}

// The zoom lives in the window record; the writer makes SCL from it.
void TTabrixReader::ReadScl() {
    if (Version < TExcelVersion::xvExcel40 || !InSheet()) return;
    TByteReader r(Body());
    int numerator = r.U16("zoom"), denominator = r.U16("zoom");
    Drop();
    if (denominator > 0) Sheet().SetZoom(std::clamp(numerator * 100 / denominator, 10, 400));
}

void TTabrixReader::ApplySelection(const TSelectionRecord& s) {
    TSelectedAreas& areas = Sheet().SelectedAreas();
    areas.Clear();
    areas.ActiveCol = s.ActiveCol;
    areas.ActiveRow = s.ActiveRow;
    areas.ActiveIndex = s.ActiveIndex;
    for (const auto& a : s.Areas) {
        TSelectedArea& area = areas.Add();
        area.Col1 = a.Col1;
        area.Row1 = a.Row1;
        area.Col2 = a.Col2;
        area.Row2 = a.Row2;
    }
}

void TTabrixReader::ReadSelection() {
    if (!InSheet()) return;
    TSelectionRecord s = DecodeSelection(Body());
    Replace();
    ApplySelection(s);
}

void TTabrixReader::ReadPane() {
    Drop();
    if (!InSheet()) {
        KeepRecord = true;
        return;
    }
    Placeholder(placeholder::SheetTail);
    TPaneRecord p = DecodePane(Body());
    TSheet& sheet = Sheet();
    TPane& pane = sheet.Pane();
    pane.SetActivePane(p.ActivePane);
    pane.SplitColX = p.SplitColX;
    pane.SplitRowY = p.SplitRowY;
    pane.TopRow = p.TopRow;
    pane.LeftCol = p.LeftCol;
    pane.PaneType = sheet.GetOptions() & soFrozenPanes ? TPaneType::ptFrozen : TPaneType::ptSplit;
    std::vector<uint8_t> next;
    while (NextRecordIs({biff::SELECTION}, next)) {
        TSelectionRecord s = DecodeSelection(next);
        if (s.Pane == 3) ApplySelection(s);
        pane.Records().Add(biff::SELECTION, next);
    }
}

void TTabrixReader::ReadHeaderFooter() {
    Drop();
    if (!InSheet()) return;
    Placeholder(placeholder::HeaderFooter);
    std::u16string text = DecodeHeaderFooter(Body(), Text);
    TPrintSettings& print = Sheet().PrintSettings();
    if (Header.Id == 0x0014)
        print.SetHeader(text);
    else
        print.SetFooter(text);
}

void TTabrixReader::ReadMargin() {
    Drop();
    if (!InSheet()) return;
    Placeholder(placeholder::Margins);
    double v = TByteReader(Body()).F64("margin");
    TPrintSettings& print = Sheet().PrintSettings();
    switch (Header.Id) {
    case 0x0026:
        print.SetMarginLeft(v);
        break;
    case 0x0027:
        print.SetMarginRight(v);
        break;
    case 0x0028:
        print.SetMarginTop(v);
        break;
    default:
        print.SetMarginBottom(v);
        break;
    }
}

void TTabrixReader::ReadPageBreaks() {
    Drop();
    if (!InSheet()) return;
    Placeholder(placeholder::PageBreaks);
    bool horizontal = Header.Id == 0x001B;
    TPrintSettings& print = Sheet().PrintSettings();
    for (const auto& b : DecodePageBreaks(Body(), Version)) {
        bool full = Version >= BIFF8;
        if (horizontal) {
            THorizPagebreak& h = print.HorizPagebreaks().Add();
            h.Row = b.Position - 1;
            h.Col1 = full ? b.Start - 1 : 0;
            h.Col2 = full ? b.End - 1 : 255;
        } else {
            TVertPagebreak& v = print.VertPagebreaks().Add();
            v.Col = b.Position - 1;
            v.Row1 = full ? b.Start - 1 : 0;
            v.Row2 = full ? b.End - 1 : LibState().MaxRow;
        }
    }
}

void TTabrixReader::ReadMergedCells() {
    Drop();
    if (!InSheet()) return;
    Placeholder(placeholder::SheetTail);
    TMergedCells& merged = Sheet().MergedCells();
    // A reversed area is taken as the area between its corners.
    for (const auto& a : DecodeMergedCells(Body()))
        merged.AddAsRead(std::min(a.Col1, a.Col2), std::min(a.Row1, a.Row2), std::max(a.Col1, a.Col2),
                         std::max(a.Row1, a.Row2));
}

void TTabrixReader::ReadFeatHdr() {
    if (SheetIndex < 0 || !InSheet()) return;
    auto protection = DecodeFeatHdrProtection(Body());
    if (!protection) return;
    // The options say what a protected sheet allows; a sheet without PROTECT
    // is not protected whatever they say, and keeps the record as read
    // (the full set, which the writer does not write, says nothing).
    if (Sheet().Records().GetProtect() != 1 && *protection != FullSheetProtection) return;
    Sheet().SheetProtection = *protection;
    Drop();
}

void TTabrixReader::ReadSheetExt() {
    if (!InSheet()) return;
    if (auto color = DecodeSheetExtTabColor(Body())) Sheet().TabColor = *color;
}

void TTabrixReader::ReadDimensions() {
    Drop();
    if (Version < BIFF5 || !InSheet()) return;
    std::vector<uint8_t> body(Body().begin(), Body().end());
    if (Version == BIFF5) body = DimensionsToBIFF8(body);
    PutDefault(*CurrentStorage, biff::DIMENSIONS, body);
}

// ---- cells

bool TTabrixReader::NextRecordIs(std::initializer_list<uint16_t> ids, std::vector<uint8_t>& body) {
    uint16_t next = Stream.PeekRecordId();
    // The empty 0xFFFF records some writers leave are skipped here as
    // everywhere, so the records around them stay together.
    TBIFFHeader empty;
    while ((next & 0x8000) && Stream.PeekRecordLength() == 0 && Stream.ReadHeader(empty) == 4)
        next = Stream.PeekRecordId();
    bool match = false;
    for (uint16_t i : ids) match = match || (i == next && Stream.Position() + 4 <= Stream.Size());
    if (!match) return false;
    Stream.ReadHeader(Header);
    body.resize(Header.Length);
    if (Stream.ReadRecordData(body.data(), Header.Length) != Header.Length)
        throw XLSError("Bad record in file");
    return true;
}

// Cells of a BIFF2 file without XF records take the default cell format.
int TTabrixReader::OldCellFormat(int attributeFormat) const {
    if (!OldXFs) return DefaultCellFormat;
    return attributeFormat == 63 ? Ixfe : attributeFormat;
}

void TTabrixReader::CheckCell(int col, int64_t row) const {
    if (col > MaxColumn(Version) || row > MaxRow(Version)) throw XLSError("Cell out of range");
}

void TTabrixReader::ReadValueCells() {
    Drop();
    if (!InSheet()) {
        KeepRecord = true;
        return;
    }
    Cells.clear();
    const bool biff2 = Header.Id <= biff::BOOLERR2;
    DecodeValueCells(Header.Id, Body(), Text, Cells,
                     [this](std::vector<uint8_t>& piece) { return NextRecordIs({biff::CONTINUE}, piece); });
    TSheet& sheet = CellSheet();
    for (TReadCell& c : Cells) {
        CheckCell(c.Col, c.Row);
        int format = biff2 ? OldCellFormat(c.Format) : c.Format;
        switch (c.Kind) {
        case TReadCellKind::Blank:
            sheet.PutBlank(c.Col, c.Row, format);
            break;
        case TReadCellKind::Number:
            sheet.PutFloat(c.Col, c.Row, format, c.Number);
            break;
        case TReadCellKind::Boolean:
            sheet.PutBoolean(c.Col, c.Row, format, c.Code != 0);
            break;
        case TReadCellKind::Error:
            sheet.PutError(c.Col, c.Row, format, ErrorCodeToIndex(c.Code));
            break;
        case TReadCellKind::Text:
            sheet.PutString(c.Col, c.Row, format, c.Text);
            break;
        case TReadCellKind::SharedText: {
            // An index past the strings the table holds reads as an empty text.
            if (c.SSTIndex >= uint32_t(Target.Strings->ReadCount())) {
                sheet.PutString(c.Col, c.Row, format, u"");
                break;
            }
            sheet.PutSSTString(c.Col, c.Row, format, int(c.SSTIndex));
            break;
        }
        }
    }
}

void TTabrixReader::ReadFormula() {
    Drop();
    if (!InSheet()) {
        KeepRecord = true;
        return;
    }
    TFormulaLayout layout = FormulaLayout(Header.Id, Version, LowestVersion);
    // The decoded fields point into Buffer, which a look-ahead reuses: work
    // on a copy of the body.
    std::vector<uint8_t> body(Body().begin(), Body().end());
    TFormulaRecord f = DecodeFormula(body, layout);
    CheckCell(f.Col, f.Row);
    switch (layout) {
    case TFormulaLayout::BIFF5:
        ReadFormulaBIFF5(f);
        break;
    case TFormulaLayout::BIFF3: {
        if (f.Cce > 0 && f.Data[0] == tExp && ReadArrayMember(f)) break;
        TFormulaResult number;
        std::memcpy(&number.Number, f.Result.data(), 8);
        MarkTokens(CellSheet().PutFormula(ctNumberFormula, f.Col, f.Row, f.Format, f.Cce, f.Data, number));
        if (f.Result[6] == 0xFF && f.Result[7] == 0xFF) PutFormulaResult(f, f.Data, f.Cce, f.Format);
        break;
    }
    case TFormulaLayout::BIFF2: {
        const int format = OldCellFormat(f.Format);
        if (f.Result[6] == 0xFF && f.Result[7] == 0xFF) {
            PutFormulaResult(f, f.Data, f.Cce, format);
        } else {
            TFormulaResult number;
            std::memcpy(&number.Number, f.Result.data(), 8);
            MarkTokens(CellSheet().PutFormula(ctNumberFormula, f.Col, f.Row, format, f.Cce, f.Data, number));
        }
        break;
    }
    }
}

void TTabrixReader::ReadFormulaBIFF5(const TFormulaRecord& f) {
    int format = f.Format;
    bool expToken = f.Cce > 0 && f.Data[0] == tExp;
    std::vector<uint8_t> next;
    if (expToken && (f.Options & SharedBit)) {
        if (NextRecordIs({biff::SHRFMLA, biff::SHRFMLA_OLD}, next)) {
            TSharedFormulaRecord s = DecodeSharedFormula(next);
            SharedFormulas.push_back({s.Range, std::vector<uint8_t>(s.Tokens.begin(), s.Tokens.end()),
                                      std::vector<uint8_t>(s.Extra.begin(), s.Extra.end())});
        }
        TByteReader r(f.Data.subspan(1));
        int row = r.U16("shared formula row");
        int col = r.U16("shared formula column");
        // tExp names the shared formula's first cell; ranges may overlap, so
        // the formula whose range starts there comes first, the last one
        // defined among several.
        const TSharedFormula* shared = nullptr;
        for (auto s = SharedFormulas.rbegin(); s != SharedFormulas.rend() && !shared; ++s)
            if (s->Range.RowFirst == row && s->Range.ColFirst == col) shared = &*s;
        for (const auto& s : SharedFormulas)
            if (!shared && s.Range.Contains(col, row)) shared = &s;
        if (!shared) {
            std::string ref = WideToUtf8(ColRowToRefStr(f.Col, f.Row, false, false));
            char message[96];
            std::snprintf(message, sizeof message, "Fixup error in shared formula at C=%d,R=%d (%s)",
                          int(f.Col), int(f.Row), ref.c_str());
            throw XLSError(message);
        }
        // The member's own formula: the shared tokens with their references
        // made absolute for this cell. Tokens that cannot be walked would
        // give a wrong formula: the cell keeps its cached value instead.
        if (auto data = SharedFormulaToCell(shared->Tokens, shared->Extra, Version, f.Col, int(f.Row)))
            PutFormulaResult(f, *data, int(shared->Tokens.size()), format);
        else
            PutFormulaResult(f, {}, 0, format, true);
        return;
    }
    if (expToken && ReadArrayMember(f)) return;
    PutFormulaResult(f, f.Data, f.Cce, format);
}

// An array formula's cells: the first is followed by ARRAY (and STRING for
// a text result), the others point at it. Arrays of later rows may stand
// between an array's first cell and its others.
bool TTabrixReader::ReadArrayMember(const TFormulaRecord& f) {
    std::vector<uint8_t> next;
    uint8_t member = 0;
    const std::vector<uint8_t>* found = nullptr;
    if (NextRecordIs({biff::ARRAY}, next)) {
        // Excel 3 and 4 have no reserved field before the token length.
        if (Version < TExcelVersion::xvExcel50 && next.size() >= 10)
            next.insert(next.begin() + 8, TBaseArrayFormulaCell::ArrayHeadSize - 10, uint8_t(0));
        const TSharedFormulaRange range = DecodeArrayRange(next);
        Arrays.push_back(std::move(next));
        ArrayAt[uint32_t(range.RowFirst) << 8 | range.ColFirst] = Arrays.size() - 1;
        found = &Arrays.back();
    } else {
        // tExp names the array's first cell; without it, the last array read
        // that holds the cell.
        if (f.Data.size() >= 5) {
            const uint32_t row = GetU16(f.Data.data() + 1), col = GetU16(f.Data.data() + 3);
            if (auto it = ArrayAt.find(row << 8 | col); col <= 0xFF && it != ArrayAt.end())
                found = &Arrays[it->second];
        }
        if (!found && !Arrays.empty() && DecodeArrayRange(Arrays.back()).Contains(f.Col, f.Row))
            found = &Arrays.back();
        if (!found || !DecodeArrayRange(*found).Contains(f.Col, f.Row)) return false;
        member = 1;
    }
    const std::vector<uint8_t>& ArrayData = *found;
    TSheet& sheet = CellSheet();
    TCachedResult res = DecodeCachedResult(std::span<const uint8_t, 8>(f.Result));
    std::u16string text;
    if (res.Kind == TCachedResultKind::String && NextFormulaString(text)) {
        MarkTokens(
            sheet.PutArrayFormulaString(f.Col, f.Row, f.Format, f.Cce, f.Data, member, ArrayData, text));
        return true;
    }
    if (res.Kind == TCachedResultKind::EmptyString) {
        MarkTokens(
            sheet.PutArrayFormulaString(f.Col, f.Row, f.Format, f.Cce, f.Data, member, ArrayData, u""));
        return true;
    }
    const bool boolErr = res.Kind == TCachedResultKind::Boolean || res.Kind == TCachedResultKind::Error;
    // A further cell with a boolean or error result keeps it as a formula
    // cell pointing at the array.
    if (member == 1 && boolErr) {
        PutFormulaResult(f, f.Data, f.Cce, f.Format);
        return true;
    }
    double number;
    std::memcpy(&number, f.Result.data(), 8);
    auto* cell = static_cast<TNumberArrayFormulaCell*>(
        sheet.PutArrayFormulaNumber(f.Col, f.Row, f.Format, f.Cce, f.Data, member, ArrayData, number));
    MarkTokens(cell);
    if (boolErr) {
        const bool error = res.Kind == TCachedResultKind::Error;
        cell->Value = 0;
        cell->ResultKind = error ? fvError : fvBoolean;
        const int index = ErrorCodeToIndex(res.Value);
        cell->ResultCode = uint8_t(error ? (index ? index : 7) : res.Value != 0);
    }
    return true;
}

// The text result after a FORMULA; a text too long for one record goes on
// in CONTINUE records.
bool TTabrixReader::NextFormulaString(std::u16string& text) {
    std::vector<uint8_t> body;
    if (!NextRecordIs({biff::STRING, biff::STRING2}, body)) return false;
    if (Header.Id != biff::STRING || Stream.PeekRecordId() != biff::CONTINUE) {
        text = DecodeFormulaString(Header.Id, body, Text);
        return true;
    }
    TByteReader r(body);
    size_t count = r.U16("text length");
    text = Text.ContinuedChars(
        r, count, [this](std::vector<uint8_t>& piece) { return NextRecordIs({biff::CONTINUE}, piece); });
    return true;
}

void TTabrixReader::PutFormulaResult(const TFormulaRecord& f, std::span<const uint8_t> tokens, int cce,
                                     int format, bool valueOnly) {
    TSheet& sheet = CellSheet();
    // The library's own 2007 marker is no token of a file: such a formula
    // would read as another one, so its cell keeps the value.
    if (!valueOnly && Version >= BIFF8 &&
        HoldsLayoutMarker(tokens.first(std::min(tokens.size(), size_t(cce)))))
        valueOnly = true;
    // The data-table definition after a table's first formula goes with
    // that cell; the formula's text result comes after it.
    std::vector<uint8_t> table;
    if (NextRecordIs({biff::TABLE}, table)) sheet.DataTables[TSheet::DataTableKey(f.Col, f.Row)] = table;
    TCachedResult res = DecodeCachedResult(std::span<const uint8_t, 8>(f.Result));
    TFormulaResult cached;
    switch (res.Kind) {
    case TCachedResultKind::Number:
        cached.Number = res.Number;
        if (valueOnly)
            sheet.PutFloat(f.Col, f.Row, format, res.Number);
        else if (cce > 0)
            MarkTokens(sheet.PutFormula(ctNumberFormula, f.Col, f.Row, format, cce, tokens, cached));
        return;
    case TCachedResultKind::String: {
        uint16_t next = Stream.PeekRecordId();
        if (next == biff::SHRFMLA || next == biff::SHRFMLA_OLD) throw XLSError("Unxepected SHRFMLA");
        if (!NextFormulaString(cached.Text)) return;
        if (valueOnly)
            sheet.PutString(f.Col, f.Row, format, cached.Text);
        else
            MarkTokens(sheet.PutFormula(ctStringFormula, f.Col, f.Row, format, cce, tokens, cached));
        return;
    }
    case TCachedResultKind::Boolean:
        cached.Boolean = res.Value != 0;
        if (valueOnly)
            sheet.PutBoolean(f.Col, f.Row, format, cached.Boolean);
        else
            MarkTokens(sheet.PutFormula(ctBooleanFormula, f.Col, f.Row, format, cce, tokens, cached));
        return;
    case TCachedResultKind::Error:
        cached.ErrorCode = res.Value;
        if (valueOnly)
            sheet.PutError(f.Col, f.Row, format, ErrorCodeToIndex(res.Value));
        else
            MarkTokens(sheet.PutFormula(ctErrorFormula, f.Col, f.Row, format, cce, tokens, cached));
        return;
    case TCachedResultKind::EmptyString:
        if (valueOnly)
            sheet.PutString(f.Col, f.Row, format, u"");
        else
            // Calculated whenever the file opens: the empty text is no
            // result (a formula written without one).
            MarkTokens(sheet.PutFormula(ctStringFormula, f.Col, f.Row, format, cce, tokens,
                                        f.Options & 0x0001 ? std::nullopt : std::optional(cached)));
        return;
    case TCachedResultKind::Unknown:
        return;
    }
}

} // namespace xls

// The sheet handlers of the BIFF reader: sheet settings and cells.
#include "SrcXLS/formats/TabrixReader.h"

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formats/DefaultRecords.h"

#include <cstring>

namespace xls {

namespace {
constexpr TExcelVersion BIFF5 = TExcelVersion::xvExcel50;
constexpr TExcelVersion BIFF8 = TExcelVersion::xvExcel97;
constexpr uint16_t WSBOOL_SOFROZEN = 0x08;
constexpr uint8_t tExp = 0x01;
constexpr uint16_t SharedBit = 0x0008;
} // namespace

// ---- sheet settings

void TTabrixReader::ReadWindow2() {
    Drop();
    if (Version < BIFF5 || !InSheet()) return;
    std::vector<uint8_t> body = Window2ToBIFF8(Body());
    TBIFFHeader h{Header.Id, uint16_t(body.size())};
    TRecordStorageDefault& list = *CurrentStorage;
    if (list.IndexOf(h.Id) >= 0)
        list.DefaultBlock(h.Id)->Assign(body);
    else
        list.UpdateDefault(h, body);
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
    TPaneRecord p = DecodePane(Body());
    TSheet& sheet = Sheet();
    TPane& pane = sheet.Pane();
    pane.SetActivePane(p.ActivePane);
    pane.SplitColX = p.SplitColX;
    pane.SplitRowY = p.SplitRowY;
    pane.TopRow = p.TopRow;
    pane.LeftCol = p.LeftCol;
    pane.PaneType = sheet.Records().GetWindow2Options() & WSBOOL_SOFROZEN ? TPaneType::ptFrozen
                                                                           : TPaneType::ptSplit;
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
    if (Version < BIFF5) return;
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
    for (const auto& a : DecodeMergedCells(Body())) merged.AddArea(a.Col1, a.Row1, a.Col2, a.Row2);
}

void TTabrixReader::ReadFeatHdr() {
    if (SheetIndex < 0 || !InSheet()) return;
    auto protection = DecodeFeatHdrProtection(Body());
    if (!protection) return;
    Sheet().SheetProtection = *protection;
    Drop();
}

void TTabrixReader::ReadSheetExt() {
    if (!InSheet()) return;
    if (auto color = DecodeSheetExtTabColor(Body())) Sheet().TabColor = *color;
}

// The cached values of another workbook's sheet stay with their XCT.
void TTabrixReader::ReadXCT() {
    TByteReader r(Body());
    int count = int16_t(r.U16("CRN count"));
    count = count < 0 ? -count : count;
    CurrentStorage->Add(Header, Body());
    Drop();
    std::vector<uint8_t> crn;
    for (int i = 0; i < count; ++i) {
        if (!NextRecordIs({0x005A}, crn)) throw XLSError("CRN record missing");
        CurrentStorage->Add(0x005A, crn);
    }
}

void TTabrixReader::ReadDimensions() {
    Drop();
    if (Version < BIFF5 || !InSheet()) return;
    std::vector<uint8_t> body(Body().begin(), Body().end());
    if (Version == BIFF5) body = DimensionsToBIFF8(body);
    TBIFFHeader h{biff::DIMENSIONS, uint16_t(body.size())};
    TRecordStorageDefault& list = *CurrentStorage;
    if (list.IndexOf(h.Id) >= 0)
        list.DefaultBlock(h.Id)->Assign(body);
    else
        list.UpdateDefault(h, body);
}

// ---- cells

bool TTabrixReader::NextRecordIs(std::initializer_list<uint16_t> ids, std::vector<uint8_t>& body) {
    uint16_t next = Stream.PeekRecordId();
    bool match = false;
    for (uint16_t i : ids) match = match || (i == next && Stream.Position() + 4 <= Stream.Size());
    if (!match) return false;
    Stream.ReadHeader(Header);
    body.resize(Header.Length);
    if (Stream.ReadRecordData(body.data(), Header.Length) != Header.Length) throw XLSError("Bad record in file");
    return true;
}

void TTabrixReader::CheckCell(int col, int64_t row) const {
    if (col > MaxColumn(Version) || row > MaxRow(Version)) throw XLSError("Cell out of range");
}

// An XF index the pool lacks is a cosmetic fault: the default format.
int TTabrixReader::CellFormat(int format) const {
    return format >= 0 && format < Owner.DefaultFormats().Count() ? format : DefaultCellFormat;
}

void TTabrixReader::ReadValueCells() {
    Drop();
    if (!InSheet()) {
        KeepRecord = true;
        return;
    }
    Cells.clear();
    DecodeValueCells(Header.Id, Body(), Text, Cells);
    TSheet& sheet = Sheet();
    for (TReadCell& c : Cells) {
        CheckCell(c.Col, c.Row);
        int format = CellFormat(c.Format);
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
        case TReadCellKind::SharedText:
            if (c.SSTIndex >= uint32_t(Owner.SST().ReadCount())) {
                char message[48];
                std::snprintf(message, sizeof message, "Read error at %.8lld", (long long)Stream.Position());
                throw XLSError(message);
            }
            sheet.PutSSTString(c.Col, c.Row, format, int(c.SSTIndex));
            break;
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
        double number;
        std::memcpy(&number, f.Result.data(), 8);
        Sheet().PutFormulaNumber(f.Col, f.Row, CellFormat(f.Format), number, f.Cce, f.Data);
        if (f.Result[6] == 0xFF && f.Result[7] == 0xFF) PutFormulaResult(f, f.Data, f.Cce, CellFormat(f.Format));
        break;
    }
    case TFormulaLayout::BIFF2: {
        TFormulaResult res = DecodeFormulaResult(std::span<const uint8_t, 8>(f.Result));
        if (f.Result[6] == 0xFF && f.Result[7] == 0xFF)
            PutFormulaResult(f, f.Data, f.Cce, -1);
        else
            Sheet().PutFormulaNumber(f.Col, f.Row, DefaultCellFormat, res.Number, f.Cce, f.Data);
        break;
    }
    }
}

void TTabrixReader::ReadFormulaBIFF5(const TFormulaRecord& f) {
    int format = CellFormat(f.Format);
    bool expToken = f.Cce > 0 && f.Data[0] == tExp;
    std::vector<uint8_t> next;
    if (expToken && (f.Options & SharedBit)) {
        if (NextRecordIs({biff::SHRFMLA, biff::SHRFMLA_OLD}, next)) {
            TSharedFormulaRecord s = DecodeSharedFormula(next);
            SharedFormulas.push_back({s.Range, std::vector<uint8_t>(s.Tokens.begin(), s.Tokens.end())});
        }
        TByteReader r(f.Data.subspan(1));
        int row = r.U16("shared formula row");
        int col = r.U16("shared formula column");
        const TSharedFormula* shared = nullptr;
        for (const auto& s : SharedFormulas)
            if (!shared && s.Range.Contains(col, row)) shared = &s;
        if (!shared) {
            std::string ref = WideToUtf8(ColRowToRefStr(f.Col, f.Row));
            char message[96];
            std::snprintf(message, sizeof message, "Fixup error in shared formula at C=%d,R=%d (%s)", int(f.Col),
                          int(f.Row), ref.c_str());
            throw XLSError(message);
        }
        // The member gets the shared tokens as its own; they keep their
        // relative form until the formula tokens are rewritten for the cell.
        PutFormulaResult(f, shared->Tokens, int(shared->Tokens.size()), format);
        return;
    }
    if (expToken && ReadArrayMember(f)) return;
    PutFormulaResult(f, f.Data, f.Cce, format);
}

// An array formula's cells: the first is followed by ARRAY (and STRING for
// a text result), the others point into the range of the ARRAY held.
bool TTabrixReader::ReadArrayMember(const TFormulaRecord& f) {
    std::vector<uint8_t> next;
    TSharedFormulaRange range;
    int member = 0;
    if (NextRecordIs({biff::ARRAY}, next)) {
        ArrayData = next;
        range = DecodeArrayRange(ArrayData);
    } else if (!ArrayData.empty() && DecodeArrayRange(ArrayData).Contains(f.Col, f.Row)) {
        member = 1;
    } else {
        ArrayData.clear();
        return false;
    }
    TSheet& sheet = Sheet();
    int format = CellFormat(f.Format);
    std::vector<uint8_t> text;
    if (member == 0 && NextRecordIs({biff::STRING}, text)) {
        sheet.PutArrayFormulaString(f.Col, f.Row, format, DecodeFormulaString(biff::STRING, text, Text), f.Cce,
                                    f.Data, member, ArrayData);
        return true;
    }
    double number;
    std::memcpy(&number, f.Result.data(), 8);
    sheet.PutArrayFormulaNumber(f.Col, f.Row, format, number, f.Cce, f.Data, member, ArrayData);
    return true;
}

void TTabrixReader::PutFormulaResult(const TFormulaRecord& f, std::span<const uint8_t> tokens, int cce, int format) {
    TSheet& sheet = Sheet();
    TFormulaResult res = DecodeFormulaResult(std::span<const uint8_t, 8>(f.Result));
    switch (res.Kind) {
    case TFormulaResultKind::Number:
        if (cce > 0) sheet.PutFormulaNumber(f.Col, f.Row, format, res.Number, cce, tokens);
        return;
    case TFormulaResultKind::String: {
        uint16_t next = Stream.PeekRecordId();
        if (next == biff::SHRFMLA || next == biff::SHRFMLA_OLD) throw XLSError("Unxepected SHRFMLA");
        std::vector<uint8_t> text;
        if (NextRecordIs({biff::STRING, biff::STRING2}, text))
            sheet.PutFormulaString(f.Col, f.Row, format, DecodeFormulaString(Header.Id, text, Text), cce, tokens);
        return;
    }
    case TFormulaResultKind::Boolean:
        sheet.PutFormulaBoolean(f.Col, f.Row, format, res.Value != 0, cce, tokens);
        return;
    case TFormulaResultKind::Error:
        sheet.PutFormulaError(f.Col, f.Row, format, res.Value, cce, tokens);
        return;
    case TFormulaResultKind::EmptyString:
        sheet.PutFormulaString(f.Col, f.Row, format, u"", cce, tokens);
        return;
    case TFormulaResultKind::Unknown:
        return;
    }
}

} // namespace xls

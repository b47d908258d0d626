#include "SrcXLS/formats/XLSXSheetWriter.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formats/XLSXSheetRanges.h"
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/Sheet.h"
#include "SrcXLS/model/WorkbookContext.h"

#include "SrcXLS/formulas/FormulaText.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace xls {

namespace {

constexpr std::string_view MainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view RelNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// A piece handed to the archive: big enough to keep the calls few.
constexpr size_t PieceSize = 1 << 16;

void AppendColumn(std::string& out, int col) {
    char buf[4];
    int n = 0;
    for (int c = col + 1; c > 0; c = (c - 1) / 26) buf[n++] = char('A' + (c - 1) % 26);
    while (n > 0) out += buf[--n];
}

void AppendCellRef(std::string& out, int col, int64_t row) {
    AppendColumn(out, col);
    AppendXMLInt(out, row + 1);
}

void AppendTrimmed(std::string& out, std::string_view text) {
    while (!text.empty() && uint8_t(text.front()) <= 0x20) text.remove_prefix(1);
    while (!text.empty() && uint8_t(text.back()) <= 0x20) text.remove_suffix(1);
    out += text;
}

std::string ErrorText(int index) {
    return WideToUtf8(ErrorFileText(index));
}

// A further cell of an array whose result was a boolean or an error: a
// formula cell that points at the array's first cell. The package holds
// the array formula in its first cell only.
bool PointsIntoArray(TSheet& sheet, const TFormulaCell& f) {
    const std::span<const uint8_t> tokens = f.Data();
    if (f.IsText() || f.TokenLength() != 5 || tokens.size() < 5 || tokens[0] != 0x01) return false;
    const TCell* first = sheet.Cells().FindCell(tokens[3] | tokens[4] << 8, tokens[1] | tokens[2] << 8);
    int col1, row1, col2, row2;
    return dynamic_cast<const TBaseArrayFormulaCell*>(first) &&
           sheet.ArrayFormulaArea(*first, col1, row1, col2, row2) && f.Col >= col1 && f.Col <= col2 &&
           int64_t(f.Row) >= row1 && int64_t(f.Row) <= row2;
}

} // namespace

void AppendArea(std::string& out, int col1, int64_t row1, int col2, int64_t row2) {
    AppendCellRef(out, col1, row1);
    if (col1 != col2 || row1 != row2) {
        out += ':';
        AppendCellRef(out, col2, row2);
    }
}

TXLSXSheetWriter::TXLSXSheetWriter(TSheet& sheet, TXLSXSheetData& data, TStyleIndex styleIndex,
                                   std::function<std::string(TSheet&, TFormulaCell&)> formulaText)
    : sheet(sheet), data(data), styleIndex(std::move(styleIndex)), formulaText(std::move(formulaText)) {}

std::string TXLSXSheetWriter::WholePart() {
    std::string out;
    while (Next(out)) {
    }
    return out;
}

bool TXLSXSheetWriter::Next(std::string& out) {
    switch (stage) {
    case 0:
        WriteHead(out);
        stage = 1;
        return true;
    case 1: {
        TCellValues& cells = sheet.Cells();
        const size_t limit = out.size() + PieceSize;
        while (out.size() < limit) {
            TCell* cell = pending ? pending : cells.NextCell();
            pending = nullptr;
            if (!cell) {
                if (openRow >= 0) out += "</row>";
                openRow = -1;
                FlushEmptyRows(out, -1);
                out += "</sheetData>";
                stage = 2;
                return true;
            }
            if (int64_t(cell->Row) != openRow) {
                if (openRow >= 0) out += "</row>";
                FlushEmptyRows(out, cell->Row);
                TXLSRow* record = nullptr;
                TXLSRows& rows = sheet.Rows();
                if (nextRecord < rows.Count() && rows[nextRecord].Row == cell->Row)
                    record = &rows[nextRecord++];
                WriteRowStart(out, cell->Row, record);
                out += '>';
                openRow = cell->Row;
            }
            WriteCell(out, *cell);
        }
        return true;
    }
    case 2:
        WriteKept(out, false);
        stage = 3;
        return true;
    default:
        return false;
    }
}

void TXLSXSheetWriter::WriteHead(std::string& out) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<worksheet xmlns=\"";
    out += MainNamespace;
    out += "\" xmlns:r=\"";
    out += RelNamespace;
    out += '"';
    out += data.SavedTags.RootAttributes;
    out += '>';
    sheet.Rows().Sort();
    WriteKept(out, true);
}

void TXLSXSheetWriter::SetMadeElements(std::vector<std::pair<int, std::string>> elements,
                                       std::span<const int> order) {
    made = std::move(elements);
    nextMade = 0;
    schemaOrder = order;
}

// An element the order does not know (mc:AlternateContent) comes after the
// made ones.
int TXLSXSheetWriter::Rank(int elementId) const {
    const auto at = std::find(schemaOrder.begin(), schemaOrder.end(), elementId);
    return at == schemaOrder.end() ? int(schemaOrder.size()) : int(at - schemaOrder.begin());
}

// The made elements that come before a kept one (all: -1).
void TXLSXSheetWriter::WriteMadeBefore(std::string& out, int elementId) {
    const int rank = elementId < 0 ? INT32_MAX : Rank(elementId);
    for (; nextMade < made.size() && Rank(made[nextMade].first) < rank; ++nextMade) {
        // A list the part keeps takes the made one's children.
        const TXLSSavedTags& tags = data.SavedTags;
        bool joined = false;
        for (int i = 0; i < tags.Count() && !joined; ++i)
            joined =
                made[nextMade].first != etconditionalFormatting && tags.ElementId(i) == made[nextMade].first;
        if (!joined) out += made[nextMade].second;
    }
}

// The kept elements and the ones made here, up to the cells or after them.
void TXLSXSheetWriter::WriteKept(std::string& out, bool head) {
    const TXLSSavedTags& tags = data.SavedTags;
    for (; fragment < tags.Count(); ++fragment) {
        if (!head && !made.empty()) {
            const int id = tags.ElementId(fragment);
            WriteMadeBefore(out, id);
            // A kept list with made children of its kind.
            auto same = std::find_if(made.begin(), made.end(), [id](const auto& m) { return m.first == id; });
            if (same != made.end() && id != etconditionalFormatting && tags.Text(fragment).find('<') == 0) {
                out += MergeListElements(keptText ? keptText(tags.Text(fragment)) : tags.Text(fragment),
                                         same->second);
                continue;
            }
        }
        switch (tags.ElementId(fragment)) {
        case etdimension:
            if (!head) break;
            sheet.UpdateDimensions();
            out += "<dimension ref=\"";
            AppendArea(out, sheet.FirstCol(), sheet.FirstRow(), sheet.LastCol(), sheet.LastRow());
            out += "\"/>";
            break;
        case etcols:
            WriteCols(out);
            break;
        case etmergeCells:
            WriteMergeCells(out);
            break;
        case etsheetData:
            if (!head) break;
            ++fragment;
            out += "<sheetData>";
            sheet.Cells().BeginIterate();
            return;
        default:
            AppendTrimmed(out, keptText ? keptText(tags.Text(fragment)) : tags.Text(fragment));
        }
    }
    if (head) return;
    WriteMadeBefore(out, -1);
    out += "</worksheet>";
}

void TXLSXSheetWriter::WriteCols(std::string& out) {
    TXLSColumns& cols = sheet.Columns();
    bool open = false;
    for (int c = 0; c < TXLSColumns::SlotCount; ++c) {
        TXLSColumn* col = cols[c];
        if (!col) continue;
        // Equal columns side by side make one element.
        int last = c;
        while (last + 1 < TXLSColumns::SlotCount && cols[last + 1] && cols[last + 1]->Equal(*col) &&
               cols[last + 1]->CustomWidth == col->CustomWidth)
            ++last;
        if (!open) out += "<cols>";
        open = true;
        out += "<col min=\"";
        AppendXMLInt(out, c + 1);
        out += "\" max=\"";
        AppendXMLInt(out, last + 1);
        out += "\" width=\"";
        AppendXMLNumber(out, col->GetWidth() / 256.0);
        out += '"';
        if (int s = styleIndex(col->GetFormatIndex()); s > 0) {
            out += " style=\"";
            AppendXMLInt(out, s);
            out += '"';
        }
        if (col->CustomWidth || col->GetWidth() != TXLSColumn::DefaultWidth) out += " customWidth=\"1\"";
        if (col->Hidden) out += " hidden=\"1\"";
        if (col->GetOutlineLevel() > 0) {
            out += " outlineLevel=\"";
            AppendXMLInt(out, col->GetOutlineLevel());
            out += '"';
        }
        if (col->Collapsed) out += " collapsed=\"1\"";
        out += "/>";
        c = last;
    }
    if (open) out += "</cols>";
}

void TXLSXSheetWriter::WriteMergeCells(std::string& out) {
    // Areas read from a binary file may lie beyond the sheet: those that
    // start beyond are left out, the others cut (the write's warnings say so).
    const uint32_t lastCol = uint32_t(MaxColumn(TExcelVersion::xvExcel2007));
    const uint32_t lastRow = uint32_t(MaxRow(TExcelVersion::xvExcel2007));
    TMergedCells& merged = sheet.MergedCells();
    std::string areas;
    int count = 0;
    const std::vector<bool> overlapping = merged.LaterOverlapping();
    for (int i = 0; i < merged.Count(); ++i) {
        const TCellArea& a = merged[i];
        if (a.Col1 > lastCol || a.Row1 > lastRow || overlapping[size_t(i)]) continue;
        areas += "<mergeCell ref=\"";
        AppendArea(areas, a.Col1i(), a.Row1, int(std::min(a.Col2, lastCol)), std::min(a.Row2, lastRow));
        areas += "\"/>";
        ++count;
    }
    if (count == 0) return;
    out += "<mergeCells count=\"";
    AppendXMLInt(out, count);
    out += "\">";
    out += areas;
    out += "</mergeCells>";
}

namespace {
bool Formatted(const TXLSRow& row) {
    return row.GetFormatIndex() != DefaultCellFormat;
}
} // namespace

void TXLSXSheetWriter::WriteRowStart(std::string& out, int64_t row, const TXLSRow* record) {
    out += "<row r=\"";
    AppendXMLInt(out, row + 1);
    out += '"';
    if (!record) return;
    // A format set through the model after the row was made counts as the
    // binary writer counts it.
    if (Formatted(*record)) {
        out += " s=\"";
        AppendXMLInt(out, styleIndex(record->GetFormatIndex()));
        out += "\" customFormat=\"1\"";
    }
    if (record->Flags & TXLSRow::CustomHeightBit) {
        out += " ht=\"";
        AppendXMLNumber(out, record->Height / 20.0);
        out += "\" customHeight=\"1\"";
    }
    if (record->Flags & TXLSRow::HiddenBit) out += " hidden=\"1\"";
    if (record->OutlineLevel > 0) {
        out += " outlineLevel=\"";
        AppendXMLInt(out, record->OutlineLevel);
        out += '"';
    }
    if (record->Flags & TXLSRow::CollapsedBit) out += " collapsed=\"1\"";
}

void TXLSXSheetWriter::FlushEmptyRows(std::string& out, int64_t beforeRow) {
    TXLSRows& rows = sheet.Rows();
    constexpr uint16_t shown =
        TXLSRow::FormattedBit | TXLSRow::CustomHeightBit | TXLSRow::HiddenBit | TXLSRow::CollapsedBit;
    while (nextRecord < rows.Count() && (beforeRow < 0 || int64_t(rows[nextRecord].Row) < beforeRow)) {
        const TXLSRow& r = rows[nextRecord++];
        if (!(r.Flags & shown) && r.OutlineLevel == 0 && !Formatted(r)) continue;
        WriteRowStart(out, r.Row, &r);
        out += "/>";
    }
}

void TXLSXSheetWriter::WriteCell(std::string& out, TCell& cell) {
    const TCellType type = cell.CellType();
    if (type >= ctNumberFormula) {
        WriteFormula(out, cell);
        return;
    }
    out += "<c r=\"";
    AppendCellRef(out, cell.Col, cell.Row);
    out += '"';
    if (int s = styleIndex(cell.GetFormatIndex()); s > 0) {
        out += " s=\"";
        AppendXMLInt(out, s);
        out += '"';
    }
    switch (type) {
    case ctInteger:
        out += "><v>";
        AppendXMLInt(out, static_cast<TIntegerCell&>(cell).Value);
        out += "</v></c>";
        break;
    case ctFloat: {
        double v = static_cast<TFloatCell&>(cell).Value;
        out += "><v>";
        if (!AppendXMLNumber(out, v)) {
            out.resize(out.size() - 4);
            out += " t=\"e\"><v>#NUM!";
        }
        out += "</v></c>";
        break;
    }
    case ctString: {
        TSSTEntry* e = static_cast<TStringCell&>(cell).Entry();
        out += " t=\"s\"><v>";
        AppendXMLInt(out, e ? int64_t(e->SSTIndex) : 0);
        out += "</v></c>";
        break;
    }
    case ctBoolean:
        out += static_cast<TBooleanCell&>(cell).Value ? " t=\"b\"><v>1</v></c>" : " t=\"b\"><v>0</v></c>";
        break;
    case ctError:
        out += " t=\"e\"><v>";
        out += ErrorText(static_cast<TErrorCell&>(cell).ErrorIndex);
        out += "</v></c>";
        break;
    default:
        out += "/>";
    }
}

void TXLSXSheetWriter::WriteFormula(std::string& out, TCell& cell) {
    auto& f = static_cast<TFormulaCell&>(cell);
    const TCellType type = cell.CellType();
    const bool isArray = type == ctNumberArrayFormula || type == ctStringArrayFormula;
    const bool member =
        isArray ? static_cast<TBaseArrayFormulaCell&>(f).ArrayOptions != 0 : PointsIntoArray(sheet, f);
    const bool shared = f.IsText() && f.SharedLink() != NoSharedFormula;
    std::string text = member ? std::string() : formulaText(sheet, f);
    // A member of a shared formula whose group no cell of the file gave a
    // formula to keeps its value only: readers refuse the member.
    const bool orphan = shared && text.empty() && !data.SharedAreas.count(f.SharedLink());
    const bool hasFormula = !member && !orphan && (!text.empty() || shared);

    // The value: with the formula, the one it holds or else the computed
    // one (none where there is neither: the workbook is calculated on
    // load); without it, the value kept of the formula the package does not
    // get.
    const std::optional<TFormulaValue> value = member ? FormulaCellResult(f)
                                               : hasFormula
                                                   ? sheet.Workbook().FormulaResultToWrite(sheet.Index(), f)
                                                   : sheet.Workbook().FormulaValueToKeep(sheet.Index(), f);
    if (orphan)
        sheet.Workbook().AddWarning(
            WideToUtf8(QuoteSheetName(sheet.Name())) + "!" +
            WideToUtf8(ColRowToRefStr(cell.Col, int(cell.Row), false, false)) +
            ": formula not written to .xlsx (no cell of the file holds the formula of "
            "its shared group); " +
            (value ? "its value is kept" : ValueLost(f.Stale)));
    // Its type attribute and its element; a text without its formula is a
    // plain inline text.
    std::string t, v;
    const bool stringResult = value && value->ValType == fvString;
    switch (value ? value->ValType : fvNull) {
    case fvFloat:
        if (!AppendXMLNumber(v, value->Float)) {
            t = "e";
            v = "#NUM!";
        }
        break;
    case fvString:
        t = hasFormula ? "str" : "inlineStr";
        break;
    case fvBoolean:
        t = "b";
        v = value->Boolean ? "1" : "0";
        break;
    case fvError:
        t = "e";
        v = ErrorText(value->Error);
        break;
    default:
        break;
    }

    out += "<c r=\"";
    AppendCellRef(out, cell.Col, cell.Row);
    out += '"';
    if (int s = styleIndex(cell.GetFormatIndex()); s > 0) {
        out += " s=\"";
        AppendXMLInt(out, s);
        out += '"';
    }
    if (!t.empty()) {
        out += " t=\"";
        out += t;
        out += '"';
    }
    out += '>';
    if (hasFormula) {
        out += "<f";
        if (isArray) {
            auto& a = static_cast<TBaseArrayFormulaCell&>(f);
            std::span<const uint8_t> head = a.ArrayData();
            if (head.size() >= 6) {
                int r1 = head[0] | head[1] << 8, r2 = head[2] | head[3] << 8, c1 = head[4], c2 = head[5];
                out += " t=\"array\" ref=\"";
                AppendArea(out, c1, r1, c2, r2);
                out += '"';
            }
        } else if (f.IsText() && (f.Options() & KeptArrayFormula)) {
            auto it = data.ArrayAreas.find(uint64_t(cell.Row) << 16 | cell.Col);
            out += " t=\"array\" ref=\"";
            if (it != data.ArrayAreas.end())
                out += it->second;
            else
                AppendCellRef(out, cell.Col, cell.Row);
            out += '"';
        } else if (shared) {
            out += " t=\"shared\"";
            auto it = data.SharedAreas.find(f.SharedLink());
            if (it != data.SharedAreas.end() && !text.empty()) {
                out += " ref=\"";
                out += it->second;
                out += '"';
            }
            out += " si=\"";
            AppendXMLInt(out, f.SharedLink());
            out += '"';
        }
        static constexpr std::pair<uint8_t, std::string_view> flags[] = {
            {1, " aca=\"1\""},   {32, " dt2D=\"1\""}, {64, " dtr=\"1\""}, {8, " del1=\"1\""},
            {16, " del2=\"1\""}, {4, " ca=\"1\""},    {2, " bx=\"1\""}};
        if (f.IsText())
            for (auto [bit, attr] : flags)
                if (f.Options() & bit) out += attr;
        if (text.empty()) {
            out += "/>";
        } else {
            out += '>';
            AppendPackageUtf8(out, text);
            out += "</f>";
        }
    }
    if (stringResult) {
        const std::u16string& s = value->Text;
        if (t == "inlineStr") {
            out += "<is>";
            AppendTextElement(out, "t", s);
            out += "</is>";
        } else {
            AppendTextElement(out, "v", s);
        }
    } else if (!v.empty()) {
        out += "<v>";
        out += v;
        out += "</v>";
    }
    out += "</c>";
}

} // namespace xls

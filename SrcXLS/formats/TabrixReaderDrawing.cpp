// The drawing handlers of the BIFF reader: the drawing group of the
// globals, each sheet's drawing with the records that go with its shapes,
// and the notes bound to their shapes (BIFF8). The NOTE records of older
// files are kept as they are.
#include "SrcXLS/formats/TabrixReader.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ChartRecords.h"
#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formulas/FormulaText.h"
#include "SrcXLS/model/Sheet.h"

namespace xls {

namespace {
constexpr TExcelVersion BIFF8 = TExcelVersion::xvExcel97;
} // namespace

// The drawing records of BIFF8 files are read by their owners, across the
// records that follow them.
bool TTabrixReader::ReadsOwnBody() const {
    return Version >= BIFF8 && (Header.Id == biff::MSODRAWINGGROUP || Header.Id == biff::MSODRAWING);
}

void TTabrixReader::ReadDrawingGroup() {
    // One group per workbook, in the globals; anything else stays as read.
    if (!Target.Pictures || CurrentStorage != Globals() || Target.Pictures->HasDrawings()) {
        if (!ReadBody()) throw XLSError("Bad record in file");
        return;
    }
    Placeholder(placeholder::DrawingGroup);
    Target.Pictures->ReadDrawingGroup(Stream, Header.Length);
    Drop();
}

void TTabrixReader::ReadSheetDrawing() {
    if (!InSheet() || DrawingSheet == SheetIndex) {
        if (!ReadBody()) throw XLSError("Bad record in file");
        // Records of a drawing that was left out go with it.
        if (InSheet() && LostDrawing) Drop();
        return;
    }
    DrawingSheet = SheetIndex;
    LostDrawing = false;
    // Pictures of old writers met between the drawing's records stay with
    // the sheet, whether or not the drawing could be read.
    struct KeepSkipped {
        TEscherDrawing& drawing;
        TRecordStorageDefault& list;
        ~KeepSkipped() {
            for (auto& r : drawing.TakeSkippedRecords())
                list.Add(TBIFFHeader{r.Id, uint16_t(r.Body.size())}, r.Body);
        }
    } keep{Sheet().Drawing(), *CurrentStorage};
    keep.drawing.ReadDrawing(Stream, Header.Length);
    for (const std::string& w : keep.drawing.TakeReadWarnings()) Warn(w);
    // A drawing whose shapes were all deleted is not written again: the
    // records of the sheet's tail stay where the next read puts them.
    if (keep.drawing.ShapeCount() > 0) Placeholder(placeholder::SheetTail);
    Drop();
}

void TTabrixReader::ReadNote() {
    if (Version < BIFF8 || !InSheet()) return;
    Placeholder(placeholder::SheetTail);
    TNoteRecord note = DecodeNote(Body());
    Drop();
    // The notes of a drawing left out went with it.
    if (DrawingSheet == SheetIndex && LostDrawing) return;
    const std::string where = WideToUtf8(QuoteSheetName(Sheet().Name())) + "!" +
                              WideToUtf8(ColRowToRefStr(note.Col, note.Row, false, false)) +
                              ": the note (object #" + std::to_string(note.ObjectId) + ")";
    auto warn = [this](const std::string& text) {
        if (Target.Warn) Target.Warn(text);
    };
    // A note beyond the sheet's last column or row has no cell to stand on.
    if (note.Col > MaxColumn(Version) || note.Row > MaxRow(Version)) {
        Sheet().Drawing().DropNote(note.ObjectId);
        warn(where + " lies outside the sheet; it was left out");
        return;
    }
    // A note whose shape is not in the drawing is dropped, as other
    // readers drop it; the rest of the sheet is read.
    if (!Sheet().Drawing().BindNote(note.Col, note.Row, note.Author, note.ObjectId, note.Flags))
        warn(where + " has no shape in the drawing; it is dropped");
    else if (note.AuthorCut)
        warn(where + ": its author runs past the end of its record; it keeps what the record holds");
}

// A chart sheet's substream goes whole into its record tree.
void TTabrixReader::ReadChartSheet() {
    if (!Target.ChartSheets) {
        SkipSubstream();
        return;
    }
    std::u16string name;
    int hidden = 0;
    if (BoundsheetIndex < SheetNames.GetCount()) {
        name = SheetNames.GetItem(BoundsheetIndex);
        hidden = SheetNames.GetValue(BoundsheetIndex);
    }
    TSheetChart& chart = Target.ChartSheets->ReadChart(Stream, name, BoundsheetIndex, Body());
    chart.Hidden = uint8_t(std::min(hidden, 2));
}

} // namespace xls

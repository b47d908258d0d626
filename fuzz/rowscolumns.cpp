// Feeds arbitrary ROW, COLINFO, SETUP and SELECTION bodies into a sheet's
// rows, columns, print settings and selection the way the BIFF reader does,
// mixes in the setters, and writes the rows and columns out. Nothing may read
// outside a body, and the rows must stay sorted without duplicates.
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/Selection.h"
#include "SrcXLS/model/XLSColumns.h"
#include "SrcXLS/model/XLSRows.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace xls;

namespace {

int Word(const std::vector<uint8_t>& b, size_t at) {
    return at + 1 < b.size() ? GetU16(b.data() + at) : 0;
}

void Step(uint8_t op, const std::vector<uint8_t>& body, TRecordStorageSheet& records, TXLSRows& rows,
          TXLSColumns& columns, TPrintSettings& print, TSelection& selection) {
    switch (op % 7) {
    case 0:
        rows.LoadRowRecord(body);
        break;
    case 1:
        columns.LoadColInfo(body);
        break;
    case 2:
        records.UpdateDefault(TBIFFHeader{biff::SETUP, uint16_t(body.size())}, body);
        print.SetFitWidth(Word(body, 0) * 3);
        print.SetStartingPage(uint16_t(print.GetStartingPage() + 1));
        print.SetPaperSize(TPaperSize(Word(body, 4)));
        print.SetOptions(TPrintSetupOptions::FromBits(uint16_t(print.GetOptions().Bits() ^ Word(body, 2))));
        print.SetHeaderMarginCm(print.GetFooterMarginCm());
        break;
    case 3:
        records.UpdateDefault(TBIFFHeader{biff::SELECTION, uint16_t(body.size())}, body);
        selection.SetActiveCol(selection.GetCol2() + Word(body, 0) * 4);
        selection.SetActiveRow(selection.GetRow1() * 2 - Word(body, 2));
        break;
    case 4:
        if (TXLSRow* r = rows.Find(Word(body, 0))) {
            r->SetOutlineLevel(uint8_t(Word(body, 2)));
            r->SetHeight(uint16_t(Word(body, 4)));
            r->SetFillForeColor(Word(body, 6) & 0x3F);
        } else {
            rows.Add(uint32_t(Word(body, 0)) << (Word(body, 2) & 7));
            rows.Sort();
        }
        break;
    case 5:
        columns.SetWidths(Word(body, 0) - 2, Word(body, 2), Word(body, 4) * 2);
        if (TXLSColumn* c = columns[Word(body, 0)]) c->SetOutlineLevel(Word(body, 6) & 0x1F);
        break;
    case 6:
        columns.ClearRange(Word(body, 0), Word(body, 2));
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TXFonts fonts;
    TCellFormats formats(&fonts, true);
    TRecordStorageSheet records;
    TXLSRows rows(&formats);
    TXLSColumns columns(&formats);
    TPrintSettings print(records);
    TSelection selection(records);
    size_t pos = 0;
    while (pos + 2 <= size) {
        uint8_t op = data[pos];
        size_t length = std::min<size_t>(data[pos + 1], size - pos - 2);
        std::vector<uint8_t> body(data + pos + 2, data + pos + 2 + length);
        pos += 2 + length;
        try {
            Step(op, body, records, rows, columns, print, selection);
        } catch (const XLSError&) {
        }
    }
    for (int i = 1; i < rows.Count(); ++i)
        if (rows[i - 1].Row > rows[i].Row) __builtin_trap();
    std::vector<uint8_t> image;
    TXLSStream stream;
    stream.TargetStream = &image;
    stream.OpenWrite("", TExcelVersion::xvExcel40);
    uint8_t body[16];
    for (int i = 0; i < rows.Count(); ++i)
        if (rows.WriteRowRecord(i, body)) stream.WriteRawRecord(biff::ROW, body, 16);
    columns.WriteColInfos(stream);
    stream.Close();
    return 0;
}

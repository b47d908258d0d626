#include "SrcXLS/formats/WorkbookFile.h"

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/formats/TabrixWriter.h"

namespace xls {

void WriteWorkbookFile(TTabrix4& book) {
    const TExcelVersion version = book.GetVersion();
    if (version == TExcelVersion::xvExcel21 || version == TExcelVersion::xvExcel30)
        throw XLSError("Can not write Excel 2.1/3.0 files");

    int64_t cells = 0;
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        TSheet& sheet = book.GetSheet(i);
        sheet.UpdateDimensions();
        cells += sheet.Cells().Count();
    }
    book.PrepareWrite(cells);

    TBIFFWorkbookSource source;
    source.Globals = &book.GlobalsStorage();
    source.Ex2007 = &book.Unknown2007();
    source.Fonts = &book.Fonts();
    source.Formats = &book.DefaultFormats();
    source.NewWorkbook = book.GetOrigVersion() == TExcelVersion::xvNone;
    std::vector<std::vector<uint8_t>> styles;
    for (int i = 0; i < book.Styles().Count(); ++i) styles.push_back(book.Styles().Items(i));
    source.Styles = styles;
    source.Palette = &LibState().Palette;
    source.SelectedTab = book.Workbook().GetSelectedTab();
    source.FileSharing = book.GetFileSharing();
    source.Password = book.Password;
    source.CodePage = book.CodePage;
    source.ExtraObjects = &book.ExtraObjects();
    if (version == TExcelVersion::xvExcel97)
        source.SharedStrings = [&book](TXLSStream& s) { book.Sheets().WriteSST(s); };
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        TSheet& sheet = book.GetSheet(i);
        TBIFFSheetSource s;
        s.Records = &sheet.Records();
        s.Name = sheet.Name();
        s.Kind = uint8_t(sheet.Kind);
        s.Hidden = uint8_t(sheet.Hidden);
        s.Protection = sheet.SheetProtection;
        s.Pane = &sheet.Pane();
        s.Selection = &sheet.SelectedAreas();
        s.Print = &sheet.PrintSettings();
        s.Columns = &sheet.Columns();
        s.Rows = &sheet.Rows();
        s.Cells = [&sheet, version](TXLSStream& st) { sheet.WriteSheetCells(version, st); };
        s.MergedCells = [&sheet, version](TXLSStream& st) { sheet.WriteMergedCells(version, st); };
        source.Sheets.push_back(std::move(s));
    }

    TTabrixWriter writer(source);
    const std::filesystem::path file(book.GetFilename());
    if (version >= TExcelVersion::xvExcel50)
        writer.WriteBIFFWorkbook(file, version);
    else
        writer.WriteBIFF4Sheet(file);
}

} // namespace xls

// The hand-over from the component to the file readers and writers: the
// reader by the file name's extension, the writer by Version. The component
// hands each the parts of the workbook it fills or writes.
#include "SrcXLS/Tabrix4.h"

#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/TabrixReader.h"
#include "SrcXLS/formats/TabrixWriter.h"

#include <filesystem>

namespace xls {

namespace {
bool IsPackageName(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    if (dot == name.npos) return false;
    std::u16string ext = UpperCaseWide(name.substr(dot));
    return ext == u".XLSX" || ext == u".XLSM" || ext == u".ZIP";
}
} // namespace

void ReadWorkbookFile(TTabrix4& owner, const std::vector<uint8_t>* image) {
    owner.Clear();
    owner.Sheets().Clear();
    owner.DefaultFormats().Clear();
    owner.SecondFormats().Clear();
    owner.Fonts().Clear();
    owner.DefaultFormats().NumberFormats().AddBuiltIns();
    owner.DefaultFormatBlock = false;

    TBIFFWorkbookTarget target;
    target.FileName = std::filesystem::path(owner.GetFilename());
    target.ReadMacros = owner.PreserveMacros;
    target.VBA = &owner.VBA();
    target.Password = owner.Password;
    if (owner.OnPassword)
        target.AskPassword = [&owner](std::u16string& password) { owner.OnPassword(owner, password); };
    target.Sheets = &owner.Sheets();
    target.Globals = &owner.GlobalsStorage();
    target.Ex2007 = &owner.Unknown2007();
    target.ExtraObjects = &owner.ExtraObjects();
    target.Fonts = &owner.Fonts();
    target.Formats = &owner.DefaultFormats();
    target.Strings = &owner.Strings();
    target.Styles = &owner.Styles();
    target.SetVersion = [&owner](TExcelVersion v) { owner.SetVersion(v); };
    if (owner.OnProgress)
        target.Progress = [&owner](int percent) {
            if (owner.OnProgress) owner.OnProgress(owner, percent);
        };
    target.CodePage = owner.CodePage;
    target.IsMac = owner.IsMac;
    target.FileSharing = owner.GetFileSharing();
    // A failed read keeps what was read, the settings found included.
    struct TakeBack {
        TTabrix4& owner;
        TBIFFWorkbookTarget& target;
        ~TakeBack() {
            owner.CodePage = target.CodePage;
            owner.IsMac = target.IsMac;
            owner.SetFileSharing(target.FileSharing);
        }
    } takeBack{owner, target};
    TTabrixReader reader(target);
    reader.ReadBIFFRecords(image);
}

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
    source.VBA = &book.VBA();
    source.PreserveMacros = book.PreserveMacros;
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

void TTabrix4::ReadFile() {
    if (IsPackageName(filename)) throw XLSError("Reading .xlsx packages is not available");
    try {
        ReadWorkbookFile(*this);
    } catch (...) {
        AfterRead();
        throw;
    }
    AfterRead();
}

void TTabrix4::WriteFile() {
    if (version == TExcelVersion::xvExcel2007) throw XLSError("Writing .xlsx packages is not available");
    WriteWorkbookFile(*this);
}

} // namespace xls

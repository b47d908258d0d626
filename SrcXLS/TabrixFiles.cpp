// The hand-over from the component to the file readers and writers: the
// reader by the file name's extension, the writer by Version. The component
// hands each the parts of the workbook it fills or writes.
#include "SrcXLS/Tabrix4.h"

#include "SrcXLS/TabrixLeftBehind.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/formats/TabrixReader.h"
#include "SrcXLS/formats/TabrixWriter.h"
#include "SrcXLS/formats/XLSXReader.h"
#include "SrcXLS/formats/XLSXSheetRanges.h"
#include "SrcXLS/formats/XLSXWriter.h"
#include "SrcXLS/formats/XLSXml.h"
#include "SrcXLS/formulas/DefinedNames.h"
#include "SrcXLS/formulas/FormulaDecoder.h"
#include "SrcXLS/formulas/FunctionTable.h"
#include "SrcXLS/formulas/LaterFunctions.h"
#include "SrcXLS/formulas/TokenRewriting.h"
#include "SrcXLS/model/Cell.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <filesystem>

namespace xls {

namespace {
bool IsPackageName(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    if (dot == name.npos) return false;
    std::u16string ext = UpperCaseWide(name.substr(dot));
    return ext == u".XLSX" || ext == u".XLSM" || ext == u".ZIP";
}

// Every reader needs a worksheet (ours would make one up): nothing is
// written without one.
void RefuseWithoutSheets(TTabrix4& book) {
    if (book.Sheets().Count() == 0) throw XLSError("The workbook has no sheet");
}

// The NOTE records kept from a BIFF2-BIFF5 file have a layout BIFF8 does
// not know: while a BIFF8 file is written they stand as notes of their
// sheet's drawing, and the records stay for an older file.
class TOldNotesAsShapes {
public:
    explicit TOldNotesAsShapes(TTabrix4& book) {
        for (int i = 0; i < book.Sheets().Count(); ++i) {
            TSheet& sheet = book.GetSheet(i);
            std::vector<TOldNote> notes;
            for (int k = 0; k < sheet.Records().Count(); ++k)
                if (const TRecordBlock& r = sheet.Records().GetItem(k); r.Id() == biff::NOTE)
                    AddOldNote(notes, r.Body(), book.CodePage);
            TEscherDrawing& drawing = sheet.Drawing();
            for (const TOldNote& n : notes) {
                TShapeClientAnchor& shape = drawing.AddNote();
                added.emplace_back(&drawing, shape.ShapeId);
                shape.Anchor.Col1 = n.Col + 1;
                shape.Anchor.Col2 = n.Col + 3;
                shape.Anchor.Row1 = n.Row;
                shape.Anchor.Row2 = n.Row + 4;
                TShapeOutsideMsoNote* note = TEscherDrawing::NoteOf(shape);
                note->Col = n.Col;
                note->Row = n.Row;
                note->SetText(n.Text);
            }
        }
    }
    ~TOldNotesAsShapes() {
        for (auto [drawing, id] : added) {
            try {
                drawing->DeleteShape(id);
            } catch (const XLSError&) {
            }
        }
    }
    TOldNotesAsShapes(const TOldNotesAsShapes&) = delete;
    TOldNotesAsShapes& operator=(const TOldNotesAsShapes&) = delete;

private:
    std::vector<std::pair<TEscherDrawing*, uint32_t>> added;
};

// A reader starts from no sheet, no font and no format, the built-in number
// formats aside.
void ClearForRead(TTabrix4& owner) {
    owner.Clear();
    owner.Sheets().Clear();
    // Style formats hold uses of the default pool's fills and borders.
    owner.SecondFormats().Clear();
    owner.DefaultFormats().Clear();
    owner.Fonts().Clear();
    owner.DefaultFormats().NumberFormats().AddBuiltIns();
    owner.DefaultFormatBlock = false;
}
// Filters made here have no range name and no drop-downs yet: other
// programs find a sheet's filter by them. The range covers the sheet's used
// area, widened to the filters' columns.
void CompleteMadeFilters(TTabrix4& book) {
    TInternalNames& names = book.GetInternalNames();
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        TSheet& sheet = book.GetSheet(i);
        const TAutoFilters& filters = sheet.AutoFilters();
        if (!filters.Present() || names.FindBuiltInName(FilterDatabaseCode, i)) continue;
        int col1, row1, col2, row2;
        MadeFilterRange(sheet, 255, 65535, col1, row1, col2, row2);
        std::u16string quoted;
        for (char16_t c : sheet.Name()) quoted += c == u'\'' ? u"''" : std::u16string(1, c);
        TInternalName& name = names.Add();
        name.SetBuiltInCode(FilterDatabaseCode);
        name.Options |= noHidden;
        name.SheetNumber = uint16_t(i + 1);
        name.FormulaText =
            u"'" + quoted + u"'!" + AreaToRefStr(col1, row1, col2, row2, true, true, true, true);
        sheet.AutoFilters().MakeDropDowns(col1, row1, col2 - col1 + 1);
    }
}

} // namespace

void ReadWorkbookFile(TTabrix4& owner, const std::vector<uint8_t>* image) {
    // The cells a read makes are no edit.
    TCellValuesList::TQuiet quiet(owner.CellStores());
    ClearForRead(owner);

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
    target.Formulas = &owner.FormulaHandler();
    target.Pictures = &owner.Pictures();
    target.ChartSheets = &owner.ChartSheets();
    target.SetVersion = [&owner](TExcelVersion v) { owner.SetVersion(v); };
    if (owner.OnProgress)
        target.Progress = [&owner](int percent) {
            if (owner.OnProgress) owner.OnProgress(owner, percent);
        };
    target.Warn = [&owner](std::string text) { owner.AddWarning(std::move(text)); };
    target.CodePage = owner.CodePage;
    target.IsMac = owner.IsMac;
    target.FileSharing = owner.GetFileSharing();
    // A failed read keeps what was read, the settings found included.
    struct TakeBack {
        TTabrix4& owner;
        TBIFFWorkbookTarget& target;
        ~TakeBack() {
            owner.CodePage = target.CodePage;
            owner.FormulaHandler().CodePage = target.CodePage;
            owner.IsMac = target.IsMac;
            owner.SetFileSharing(target.FileSharing);
        }
    } takeBack{owner, target};
    TTabrixReader reader(target);
    reader.ReadBIFFRecords(image);
    owner.FormulaHandler().PrefixLaterFunctionNames();
}

void WriteWorkbookFile(TTabrix4& book) {
    const TExcelVersion version = book.GetVersion();
    if (version == TExcelVersion::xvExcel21 || version == TExcelVersion::xvExcel30)
        throw XLSError("Can not write Excel 2.1/3.0 files");
    RefuseWithoutSheets(book);
    book.SettleEdits();
    // Formulas the write gives their own tokens change no value.
    TCellValuesList::TQuiet quiet(book.CellStores());

    int64_t cells = 0;
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        TSheet& sheet = book.GetSheet(i);
        // The drawing layer writes BIFF8 records only: refused before the file is made.
        if (version == TExcelVersion::xvExcel50 && sheet.Drawing().ShapeCount() > 0)
            throw XLSError("Drawings (pictures, charts, shapes, notes, form controls) are not written to "
                           "Excel 5 files: sheet '" +
                           WideToUtf8(sheet.Name()) + "' has " +
                           std::to_string(sheet.Drawing().ShapeCount()));
        sheet.UpdateDimensions();
        cells += sheet.Cells().Count();
    }
    std::unique_ptr<TOldNotesAsShapes> oldNotes;
    if (version == TExcelVersion::xvExcel97) {
        oldNotes = std::make_unique<TOldNotesAsShapes>(book);
        CompleteMadeFilters(book);
    }
    book.PrepareWrite(cells);
    // Formulas made into older layouts write their text in the file's code page.
    book.FormulaHandler().CodePage = book.CodePage;

    if (book.GetOrigVersion() == TExcelVersion::xvExcel2007) WarnPackageLeftBehind(book, true);
    if (version < TExcelVersion::xvExcel97) WarnOlderBinaryLeftBehind(book, version);
    if (version >= TExcelVersion::xvExcel50) WarnBeyondBinaryLimits(book, version);
    WarnOlderRecordsLeftBehind(book, version);

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
    source.ReadVersion = book.GetOrigVersion();
    source.ExtraObjects = &book.ExtraObjects();
    if (version == TExcelVersion::xvExcel97) {
        source.SharedStrings = [&book](TXLSStream& s) { book.Sheets().WriteSST(s); };
        source.Names = [&book](TXLSStream& s) {
            TFormulaHandler& formulas = book.FormulaHandler();
            // Cell formulas and names read from a package have text only: the
            // sheets they name get their entries before the link table.
            formulas.PrepareBIFF8Cells();
            TNameFormulas written;
            std::vector<std::string> notes;
            formulas.CompileNameTexts(&written, &notes);
            for (std::string& text : notes) book.AddWarning(std::move(text));
            // Chart sheets count among the sheets that 3-D references name.
            formulas.Externals().SetSelfSheetCount(book.Sheets().Count() + book.ChartSheets().Count());
            const TRecordSink sink = [&s](uint16_t id, std::span<const uint8_t> body) {
                s.WriteLongRecord(id, body.data(), body.size());
            };
            formulas.Externals().WriteRecords(sink);
            formulas.Names().WriteNames(sink, &written);
        };
    }
    // A workbook read from another version gets the link table and the
    // names of BIFF5; an Excel 5 file read keeps its own records. An Excel 4
    // file gets the names of its sheet.
    std::vector<std::vector<uint8_t>> oldNames;
    struct EndLinks {
        TFormulaHandler& formulas;
        ~EndLinks() { formulas.EndOldLinks(); }
    } endLinks{book.FormulaHandler()};
    if ((version == TExcelVersion::xvExcel50 && book.GetOrigVersion() != TExcelVersion::xvExcel50) ||
        version == TExcelVersion::xvExcel40) {
        std::vector<std::string> dropped;
        source.OldLinkTable = book.FormulaHandler().BeginOldLinks(oldNames, dropped, version);
        for (std::string& text : dropped) book.AddWarning(std::move(text));
        // BIFF3 and BIFF4 have their own id.
        const uint16_t id = version == TExcelVersion::xvExcel40 ? 0x0218 : NameRecordId;
        source.Names = [&oldNames, id](TXLSStream& s) {
            for (const std::vector<uint8_t>& body : oldNames) s.WriteLongRecord(id, body.data(), body.size());
        };
    }
    for (int i = 0; i < book.ChartSheets().Count(); ++i) {
        TBIFFChartSheetSource c;
        c.Name = book.ChartSheets().Items(i).Name;
        c.Position = book.ChartSheets().Items(i).SheetIndex;
        c.Hidden = book.ChartSheets().Items(i).Hidden;
        c.Write = [&book, i](TXLSStream& st) { book.ChartSheets().WriteChart(i, st); };
        source.ChartSheets.push_back(std::move(c));
    }
    if (version == TExcelVersion::xvExcel97 && book.Pictures().HasDrawings())
        source.DrawingGroup = [&book](TXLSStream& s) { book.Pictures().WriteDrawingGroup(s); };
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
        if (version == TExcelVersion::xvExcel97) {
            s.ConditionalFormats = [&sheet](TXLSStream& st) { sheet.ConditionalFormats().WriteCondFmts(st); };
            s.Hyperlinks = [&sheet, &book](TXLSStream& st) {
                sheet.Hyperlinks().WriteHyperlinks(st, [&](std::string text) {
                    book.AddWarning("Sheet '" + WideToUtf8(sheet.Name()) + "': " + text);
                });
            };
            s.Validations = [&sheet](TXLSStream& st) { sheet.Validations().WriteDVal(st); };
            s.AutoFilters = [&sheet, &book](TXLSStream& st) {
                sheet.AutoFilters().WriteAutoFilters(st, [&](std::string text) {
                    book.AddWarning("Sheet '" + WideToUtf8(sheet.Name()) + "': " + text);
                });
            };
        }
        if (sheet.Drawing().ShapeCount() > 0) {
            // A note that has no cell in this version refuses the write before the file is made.
            sheet.Drawing().CheckNoteCells(MaxColumn(version), MaxRow(version));
            s.Drawing = [&sheet](TXLSStream& st) { sheet.Drawing().WriteDrawing(st); };
        }
        source.Sheets.push_back(std::move(s));
    }

    TTabrixWriter writer(source);
    const std::filesystem::path file(book.GetFilename());
    if (version >= TExcelVersion::xvExcel50)
        writer.WriteBIFFWorkbook(file, version);
    else
        writer.WriteBIFF4Sheet(file);
}

namespace {

// The text of a formula in the syntax of package parts, with the
// workbook's names, sheets and external references.
std::string PackageFormulaText(TTabrix4& book, TSheet& sheet, TFormulaCell& cell) {
    std::string text, why;
    if (cell.IsText()) {
        text = WithLaterFunctionPrefixes(
            std::string_view(reinterpret_cast<const char*>(cell.Data().data()), cell.Data().size()));
        TFormulaHandler& formulas = book.FormulaHandler();
        bool unfollowed = false;
        if (formulas.RenamesSheets() && !text.empty())
            text = WideToUtf8(formulas.WithWrittenSheetNames(Utf8ToWide(text), sheet.Index(), cell.Col,
                                                             int(cell.Row), false, &unfollowed));
        if (unfollowed)
            book.AddWarning(WideToUtf8(QuoteSheetName(sheet.Name())) + "!" +
                            WideToUtf8(ColRowToRefStr(cell.Col, int(cell.Row), false, false)) + ": formula " +
                            text + " cannot be read here; it names the renamed sheet by its old name");
    } else {
        std::string fault;
        try {
            text = WideToUtf8(book.FormulaHandler().CellFormula(sheet.Index(), cell, true, &fault));
        } catch (const XLSError& e) {
            fault = e.what();
        }
        // Tokens the decoder cannot read, or that read as another formula.
        if (!fault.empty()) why = "its tokens do not decode: " + fault;
        // The pivot tables of a binary file stay behind.
        else if (CallsFunction(cell.Data().first(size_t(cell.TokenLength())),
                               TokenLayoutOf(cell.TokenVersion()), fn::GetPivotData))
            why = "it reads a pivot table, which the .xlsx file does not hold";
    }
    // A package reader cuts a longer text: the formula would read as another.
    if (why.empty() && text.size() > TXLSXmlReader::MaxTextBytes)
        why = "its text of " + std::to_string(text.size()) + " bytes is longer than a package holds";
    if (why.empty() && !PackageCarries(text)) why = "its text holds a character a package cannot";
    if (why.empty()) return text;
    // The cell keeps its value only.
    const bool kept = book.FormulaValueToKeep(sheet.Index(), cell).has_value();
    book.AddWarning(WideToUtf8(QuoteSheetName(sheet.Name())) + "!" +
                    WideToUtf8(ColRowToRefStr(cell.Col, int(cell.Row), false, false)) +
                    ": formula not written to .xlsx (" + why + "); " +
                    (kept ? "its value is kept" : ValueLost(cell.Stale)));
    return {};
}

TXLSXWorkbook PackageParts(TTabrix4& book) {
    TXLSXWorkbook wb;
    wb.Sheets = &book.Sheets();
    wb.Fonts = &book.Fonts();
    wb.Formats = &book.DefaultFormats();
    wb.StyleFormats = &book.SecondFormats();
    wb.CellStyles = &book.Ex12Styles();
    wb.Strings = &book.Strings();
    wb.Globals = &book.GlobalsStorage();
    wb.Book = &book.PackageData();
    wb.OrigVersion = book.GetOrigVersion();
    wb.MacroEnabled = book.Excel2007MacroFile();
    wb.Formulas = &book.FormulaHandler();
    wb.FormulaText = [&book](TSheet& sheet, TFormulaCell& cell) {
        return PackageFormulaText(book, sheet, cell);
    };
    wb.Warn = [&book](std::string text) { book.AddWarning(std::move(text)); };
    return wb;
}

} // namespace

void ReadPackageFile(TTabrix4& owner, const std::vector<uint8_t>* image) {
    TCellValuesList::TQuiet quiet(owner.CellStores());
    ClearForRead(owner);
    owner.SetVersion(TExcelVersion::xvExcel2007);

    std::vector<uint8_t> read;
    if (!image) {
        const std::string file = std::filesystem::path(owner.GetFilename()).string();
        std::string bytes;
        try {
            bytes = platform::ReadWholeFile(file);
        } catch (const platform::FileError& e) {
            throw XLSError(e.what());
        }
        read.assign(bytes.begin(), bytes.end());
        image = &read;
    }
    TXLSXWorkbook wb = PackageParts(owner);
    TXLS2007Reader reader(wb);
    reader.ReadPackage(*image);
    owner.KeptPackage().Keep(*image, owner.TempFileMode == TTempFileMode::tfmInMemory);
}

namespace {
// Whether a formula goes into a package without a value: its cell holds
// none and the library computes none.
bool AnyFormulaWithoutValue(TTabrix4& book) {
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        TSheet& sheet = book.GetSheet(i);
        // A sheet written back as it was read keeps its own.
        if (!sheet.PackageData().KeptRelationId.empty()) continue;
        // Collected first: a calculation visits cells too.
        std::vector<TFormulaCell*> formulas;
        sheet.Cells().BeginIterate();
        while (TCell* cell = sheet.Cells().NextCell())
            if (cell->IsFormula() && book.HoldsNoResult(i, static_cast<TFormulaCell&>(*cell)))
                formulas.push_back(static_cast<TFormulaCell*>(cell));
        for (TFormulaCell* f : formulas)
            if (!book.FormulaResultToWrite(i, *f)) return true;
    }
    return false;
}
} // namespace

void WritePackageFile(TTabrix4& book, std::vector<uint8_t>* image) {
    RefuseWithoutSheets(book);
    book.SettleEdits();
    TCellValuesList::TQuiet quiet(book.CellStores());
    // The values the write computes are computed once, over the workbook as it is.
    TTabrix4::TCalculationPass pass(book);
    int64_t cells = 0;
    for (int i = 0; i < book.Sheets().Count(); ++i) cells += book.GetSheet(i).Cells().Count();
    book.PrepareWrite(cells);
    if (book.GetOrigVersion() == TExcelVersion::xvExcel2007)
        WarnPackageLeftBehind(book, false);
    else if (book.GetOrigVersion() != TExcelVersion::xvNone)
        WarnBinaryLeftBehind(book);
    if (book.GetOrigVersion() == TExcelVersion::xvExcel2007 || book.GetOrigVersion() == TExcelVersion::xvNone)
        WarnMadeLeftBehind(book);
    WarnBeyondPackageLimits(book);
    TXLSXWorkbook wb = PackageParts(book);
    wb.KeptPackage = book.KeptPackage().Bytes();
    wb.CalculateOnLoad = AnyFormulaWithoutValue(book);
    TXLS2007Writer writer(wb);
    // Other workbooks stand as the numbers of their link parts.
    struct TLinkNumbers {
        TFormulaHandler& formulas;
        explicit TLinkNumbers(TFormulaHandler& f) : formulas(f) { formulas.SetLinkNumbers(true); }
        ~TLinkNumbers() { formulas.SetLinkNumbers(false); }
    } linkNumbers(book.FormulaHandler());
    if (image) {
        *image = writer.WritePackage();
        return;
    }
    // The archive goes straight into the file that replaces the target.
    platform::AtomicFile out(std::filesystem::path(book.GetFilename()).string());
    writer.WritePackage(out.Descriptor());
    out.Commit();
}

void TTabrix4::ReadFile() {
    try {
        if (IsPackageName(filename))
            ReadPackageFile(*this);
        else
            ReadWorkbookFile(*this);
    } catch (...) {
        // The reader's failure is the one to report.
        try {
            AfterRead();
        } catch (const XLSError&) {
        }
        throw;
    }
    AfterRead();
}

void TTabrix4::WriteFile() {
    if (version == TExcelVersion::xvExcel2007)
        WritePackageFile(*this);
    else
        WriteWorkbookFile(*this);
}

} // namespace xls

#include "SrcXLS/Tabrix4.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSTempFiles.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ChartModel.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/formats/KeptOldLinks.h"
#include "SrcXLS/formats/XLSXKeptSheetNames.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/model/ConditionalFormats.h"
#include "SrcXLS/model/DataValidations.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <set>
#include <tuple>

namespace xls {

// ---------------------------------------------------------------------------
// Window and options

int TWorkbookData::Word(int offset) const {
    const TRecordBlock* b = globals.DefaultBlock(biff::WINDOW1);
    return b && b->Length() >= offset + 2 ? GetU16(b->Data() + offset) : 0;
}

void TWorkbookData::SetWord(int offset, int v) {
    PutU16(globals.Window1Data().data() + offset, uint16_t(v));
}

uint16_t TWorkbookData::GetOptions() const {
    return uint16_t(Word(8) & (woHidden | woIconized | woHScroll | woVScroll | woTabs));
}

void TWorkbookData::SetOptions(uint16_t options) {
    SetWord(8, options & (woHidden | woIconized | woHScroll | woVScroll | woTabs));
}

TShowObjects TOptionsDialog::GetShowObjects() const {
    uint16_t v = globals.GetHideObj();
    return v == 1 ? TShowObjects::soPlaceholders : v == 2 ? TShowObjects::soHideAll : TShowObjects::soShowAll;
}

void TOptionsDialog::SetCalcCount(int v) {
    calcCount = v == 0 ? 1 : std::min(v, 32767);
}

void TOptionsDialog::ReadFrom(const TRecordStorageSheet& sheet) {
    uint16_t mode = sheet.GetCalcMode();
    CalcMode = mode == 0        ? TCalcMode::cmManual
               : mode == 0xFFFF ? TCalcMode::cmAutoExTables
                                : TCalcMode::cmAutomatic;
    SetCalcCount(sheet.GetCalcCount());
    Delta = sheet.GetDelta();
    R1C1Mode = sheet.GetRefMode() == 0;
    Iteration = sheet.GetIteration();
    SaveRecalc = sheet.GetSaveRecalc();
}

void TOptionsDialog::WriteTo(TRecordStorageSheet& sheet) const {
    static constexpr uint16_t modes[] = {0, 1, 0xFFFF};
    sheet.SetCalcMode(modes[int(CalcMode)]);
    sheet.SetCalcCount(uint16_t(calcCount));
    sheet.SetRefMode(R1C1Mode ? 0 : 1);
    sheet.SetIteration(Iteration);
    sheet.SetSaveRecalc(SaveRecalc);
    sheet.SetDelta(Delta);
}

// ---------------------------------------------------------------------------
// Component

namespace {
TPaperSize LocalePaperSize() {
    // Letter in the Americas' locales, A4 everywhere else.
    const char* lang = std::getenv("LC_PAPER");
    if (!lang || !*lang) return TPaperSize::psA4;
    std::string l = lang;
    for (const char* p : {"en_US", "en_CA", "es_MX", "es_US", "fr_CA"})
        if (l.rfind(p, 0) == 0) return TPaperSize::psLetter;
    return TPaperSize::psA4;
}
} // namespace

TTabrix4::TTabrix4()
    : workbookData(globals), optionsDialog(globals), defaultFormats(&fonts, true),
      secondFormats(&fonts, false), measurer(std::make_unique<TFontMetricsMeasurer>()) {
    defaultFormats.CellArena = &cellArena;
    // Leftovers of earlier processes are looked for once per process: the
    // scan of the temporary folder would cost most of an empty workbook.
    static std::once_flag staleFilesRemoved;
    std::call_once(staleFilesRemoved, [] {
        try {
            RemoveStaleTempFiles();
        } catch (...) {
            // Leftovers that cannot be removed stay; the workbook works without.
        }
    });
    LibState().Palette = DefaultPalette();
    PaperSize = LocalePaperSize();
    SetDefaultWindow();
    defaultFormat = defaultFormats.GetItem(DefaultCellFormat);
    LibState().StrTRUE = u"TRUE";
    LibState().StrFALSE = u"FALSE";
    sheets = std::make_unique<TSheets>(*this);
    pictures.OnWarning = [this](std::string text) { AddWarning(std::move(text)); };
    // Formulas count sheets as the file's sheet list does, chart sheets
    // included: the sheets' name list.
    formulaHandler.SheetNameAt = [this](int index) { return sheets->NameList().GetItem(index); };
    formulaHandler.SheetCount = [this] { return sheets->NameList().GetCount(); };
    cellStores.Date1904 = [this] { return globals.GetDateMode(); };
    cellStores.OnSharedFormulaRemoved = [this](TCellValues& store, TCell& cell) {
        formulaHandler.UnshareFormula(store, cell);
    };
    formulaHandler.OnNameDeleted = [this](int position) { NameDeleted(position); };
    cellStores.OnCellChanged = [this](TCellValues& store, int col, int row, TCell* cell) {
        CellEdited(store, col, row, cell);
    };
    formulaHandler.OnCalculate = [this](std::span<const uint8_t> tokens, int sheet, int col, int row,
                                        TFormulaValue& result) {
        MakeEvaluator()->EvaluateTokens(tokens, tokens.size(), TExcelVersion::xvExcel97, sheet, col, row,
                                        result);
    };
    WireDrawingNames();
    sheets->OnDeleting = [this](TSheet& sheet, int index) { SheetDeleting(sheet, index); };
    sheets->OnRenaming = [this](int index, std::u16string_view name) { SheetRenaming(index, name); };
    sheets->Add(0);
    vba = std::make_unique<TXLSVBA>();
    vba->OnWarning = [this](std::string text) { AddWarning(std::move(text)); };
    optionsDialog.ReadFrom(sheets->Items(0).Records());
    SetVersion(TExcelVersion::xvExcel97);
}

void TTabrix4::FollowRangeFormulas(const TSheet* skip, const TTokensFollow& follow) {
    for (int s = 0; s < sheets->Count(); ++s) {
        TSheet& sheet = sheets->Items(s);
        if (&sheet == skip) continue;
        TConditionalFormats& formats = sheet.ConditionalFormats();
        for (int i = 0; i < formats.Count(); ++i)
            for (int c = 0; c < 3; ++c) {
                follow(formats.Items(i).Condition(c).Formula1Tokens);
                follow(formats.Items(i).Condition(c).Formula2Tokens);
            }
        TDataValidations& validations = sheet.Validations();
        for (int i = 0; i < validations.Count(); ++i) {
            follow(validations.Items(i).Expression1Tokens);
            follow(validations.Items(i).Expression2Tokens);
        }
        TDrwCharts& charts = sheet.Charts();
        for (int i = 0; i < charts.Count(); ++i) RewriteChartFormulas(charts[i].Rec(), follow);
    }
    for (int i = 0; i < chartSheets.Count(); ++i) RewriteChartFormulas(chartSheets.Items(i).Root, follow);
}

// After the handler renumbered the names in cells and names: the formulas of
// conditional formats and validations, the macros of the drawings and the
// series formulas of the charts follow.
void TTabrix4::NameDeleted(int position) {
    // Series and label formulas of charts hold nothing after their tokens.
    FollowRangeFormulas(nullptr, [&](std::vector<uint8_t>& tokens) {
        size_t length = tokens.size();
        return formulaHandler.NameDeletedInTokens(tokens, length, position);
    });
    for (int s = 0; s < sheets->Count(); ++s) sheets->Items(s).Drawing().NameDeleted(position);
    if (origVersion == TExcelVersion::xvExcel50)
        KeptOldNameDeleted(globals, position, [&](std::vector<uint8_t>& data, size_t& length) {
            return RenumberNames(data, length, position + 1, {}, TTokenLayout::BIFF5,
                                 formulaHandler.GoneNameCode());
        });
}

void TTabrix4::FollowSheetTexts(const TSheet* skip, const TTextFollow& follow,
                                const std::function<std::u16string(std::u16string_view)>& sheetName) {
    std::vector<std::string> unfollowed;
    auto keptText = [&](const std::string& xml, int sheet) {
        const TKeptTextFollow kept = [&](std::u16string_view text, bool isSheetName, bool&) {
            return isSheetName ? sheetName(text) : follow(text, sheet, 0, 0);
        };
        return KeptTextFollowing(xml, kept, unfollowed);
    };
    auto followTags = [&](TXLSSavedTags& tags, int sheet) {
        for (int i = 0; i < tags.Count(); ++i) {
            std::string text = keptText(tags.Text(i), sheet);
            if (text != tags.Text(i)) tags.SetText(i, std::move(text));
        }
    };
    for (int s = 0; s < sheets->Count(); ++s) {
        TSheet& sheet = sheets->Items(s);
        if (&sheet == skip) continue;
        TCellValues& cells = sheet.Cells();
        cells.BeginIterate();
        while (TCell* c = cells.NextCell()) {
            auto* f = dynamic_cast<TFormulaCell*>(c);
            // Members of a shared formula take the text of its first cell.
            if (!f || !f->IsText() || f->TokenLength() == 0) continue;
            const std::u16string text = f->GetFormulaText();
            const std::u16string followed = follow(text, s, f->Col, int(f->Row));
            if (followed != text) f->SetFormulaText(followed);
        }
        THyperlinks& links = sheet.Hyperlinks();
        for (int i = 0; i < links.Count(); ++i) {
            THyperlink& link = links.Items(i);
            if (link.HyperlinkType() != THyperlinkType::hltWorkbook || link.TextMark().empty()) continue;
            const std::u16string& mark = link.TextMark();
            const size_t at = mark.front() == u'#' ? 1 : 0;
            const std::u16string followed = follow(std::u16string_view(mark).substr(at), s, 0, 0);
            if (followed != mark.substr(at)) link.SetLocation(mark.substr(0, at) + followed);
        }
        followTags(sheet.PackageData().SavedTags, s);
    }
    TInternalNames& names = formulaHandler.Names();
    for (int i = 0; i < names.Count(); ++i) {
        TInternalName& n = names.Items(i);
        if (n.FormulaText.empty()) continue;
        const std::u16string followed = follow(n.FormulaText, n.SheetNumber - 1, 0, 0);
        if (followed != n.FormulaText) n.FormulaText = followed;
    }
    followTags(packageData.SavedTags, 0);
    // The parts of the package the model does not hold (charts, pivot
    // caches, controls, tables), as they will be written.
    if (keptPackage.Empty()) return;
    const std::vector<uint8_t> bytes = keptPackage.Bytes();
    TXLSZipArchive kept;
    try {
        kept.OpenBuffer(bytes);
    } catch (const XLSError&) {
        return;
    }
    std::set<std::string> passed;
    for (const std::string& p : packageData.ReplacedParts) passed.insert(AsciiLower(p));
    for (const std::string& p : packageData.DroppedParts) passed.insert(AsciiLower(p));
    for (int i = 0; i < kept.Count(); ++i) {
        const std::string name = kept.EntryName(i);
        const std::string lower = AsciiLower(name);
        const size_t dot = lower.rfind('.');
        const std::string ext = dot == lower.npos ? std::string() : lower.substr(dot + 1);
        if (passed.count(lower) || (ext != "xml" && ext != "vml")) continue;
        auto was = packageData.FollowedParts.find(lower);
        std::string text;
        if (was != packageData.FollowedParts.end()) {
            text = was->second;
        } else {
            try {
                text = kept.ExtractIndex(i);
            } catch (const XLSError&) {
                continue;
            }
        }
        std::string followed = keptText(text, 0);
        if (followed != text) packageData.FollowedParts[lower] = std::move(followed);
    }
}

namespace {
// Past this many changed cells a sheet counts as changed whole.
constexpr size_t MostEditedCells = 4096;
} // namespace

void TTabrix4::CellEdited(const TCellValues& store, int col, int row, TCell* cell) {
    const uint32_t now = ++editClock;
    // A formula put now holds a result given now.
    if (cell && cell->IsFormula()) static_cast<TFormulaCell*>(cell)->Placed = now;
    if (lastEdited.first != &store) lastEdited = {&store, &editedCells[&store]};
    TEditedCells& edited = *lastEdited.second;
    if (col < 0 || edited.Whole || edited.Cells.size() >= MostEditedCells) {
        edited.Whole = now;
        edited.Cells = {};
        return;
    }
    edited.Cells.push_back({col, row, now});
}

void TTabrix4::MarkReached(const TReachSeeds& seeds, int skipSheet) {
    TFormulaReach reach(*sheets, formulaHandler);
    for (const auto& [sheet, cell] : reach.Reached(seeds))
        if (sheet != skipSheet) cell->Stale = true;
}

void TTabrix4::SettleEdits() {
    if (editedCells.empty()) return;
    TReachSeeds seeds;
    seeds.WholeSheets.assign(size_t(sheets->Count()), 0);
    seeds.Cells.resize(size_t(sheets->Count()));
    for (int s = 0; s < sheets->Count(); ++s) {
        auto it = editedCells.find(&sheets->Items(s).Cells());
        if (it == editedCells.end()) continue;
        seeds.WholeSheets[size_t(s)] = it->second.Whole;
        seeds.Cells[size_t(s)] = std::move(it->second.Cells);
    }
    editedCells.clear();
    lastEdited = {};
    MarkReached(seeds);
}

void TTabrix4::SheetDeleting(TSheet& gone, int index) {
    // The formulas that can reach the sheet, through its cells, its names
    // or a range of sheets, compute anew; the others keep their results.
    {
        TReachSeeds seeds;
        const uint32_t now = ++editClock;
        seeds.WholeSheets.assign(size_t(sheets->Count()), 0);
        seeds.WholeSheets[size_t(index)] = now;
        TInternalNames& names = formulaHandler.Names();
        for (int i = 0; i < names.Count(); ++i)
            if (names.Items(i).SheetNumber == index + 1) seeds.Names.insert(i + 1);
        seeds.NamesTime = now;
        MarkReached(seeds, index);
    }
    editedCells.erase(&gone.Cells());
    lastEdited = {};
    // Giving formulas tokens of the same meaning changes no value.
    TCellValuesList::TQuiet quiet(cellStores);
    // Formulas kept as text that name the sheet get tokens, which follow as
    // those of every other cell do (a reference to it alone is written as
    // the error reference the other readers take); the other texts follow
    // as texts, compiled while the sheet is there.
    for (int s = 0; s < sheets->Count(); ++s) {
        TSheet& sheet = sheets->Items(s);
        if (&sheet == &gone) continue;
        std::vector<std::pair<int, int>> naming;
        TCellValues& cells = sheet.Cells();
        cells.BeginIterate();
        while (TCell* c = cells.NextCell()) {
            auto* f = dynamic_cast<TFormulaCell*>(c);
            // Array formulas keep their text, which follows below.
            if (f && f->IsText() && f->TokenLength() > 0 && !dynamic_cast<TBaseArrayFormulaCell*>(f) &&
                formulaHandler.TextNamesSheet(f->GetFormulaText(), index, s, f->Col, int(f->Row)))
                naming.emplace_back(f->Col, int(f->Row));
        }
        for (const auto& [col, row] : naming) {
            try {
                formulaHandler.ReencodeCell(s, col, row);
            } catch (const XLSError&) {
                // A shared formula without its first cell keeps its text.
            }
        }
    }
    FollowSheetTexts(
        &gone,
        [&](std::u16string_view text, int sheet, int col, int row) {
            return formulaHandler.TextWithoutSheet(text, index, sheet, col, row);
        },
        [](std::u16string_view name) { return std::u16string(name); });
    // The sheet's own names go with it.
    formulaHandler.DeleteSheetNames(index);
    formulaHandler.SheetDeleted(index);
    if (origVersion == TExcelVersion::xvExcel50) {
        KeptOldSheetDeleted(globals, index, [&](std::vector<uint8_t>& data, size_t& length) {
            return formulaHandler.SheetDeletedInTokens(std::span<uint8_t>(data).first(length),
                                                       TTokenLayout::BIFF5);
        });
        // A range of sheets that began with it begins with the next one.
        const std::u16string next =
            index + 1 < sheets->Count() ? sheets->Items(index + 1).Name() : std::u16string();
        const std::u16string* now = next.empty() ? nullptr : &next;
        KeptOldSheetNamed(globals, gone.Name(), now, CodePage);
        for (int s = 0; s < sheets->Count(); ++s)
            if (&sheets->Items(s) != &gone)
                KeptOldSheetNamed(sheets->Items(s).Records(), gone.Name(), now, CodePage);
    }
    auto followSpan = [&](std::span<uint8_t> tokens) { return formulaHandler.SheetDeletedInTokens(tokens); };
    FollowRangeFormulas(&gone, [&](std::vector<uint8_t>& tokens) { return followSpan(tokens); });
    for (int s = 0; s < sheets->Count(); ++s)
        if (&sheets->Items(s) != &gone) sheets->Items(s).Drawing().SheetDeleted(followSpan);
    for (int i = 0; i < chartSheets.Count(); ++i)
        if (chartSheets.Items(i).SheetIndex > index) --chartSheets.Items(i).SheetIndex;
    const int selected = workbookData.GetSelectedTab();
    if (selected > index || (selected == index && selected > 0 && selected + 1 >= sheets->Count()))
        workbookData.SetSelectedTab(selected - 1);
}

void TTabrix4::SheetRenaming(int index, std::u16string_view name) {
    if (origVersion == TExcelVersion::xvExcel50) {
        const std::u16string was = formulaHandler.SheetNameAt(index), now(name);
        KeptOldSheetNamed(globals, was, &now, CodePage);
        for (int s = 0; s < sheets->Count(); ++s)
            KeptOldSheetNamed(sheets->Items(s).Records(), was, &now, CodePage);
    }
    // The formulas are compiled with the names the sheets have and made
    // text again with the new one.
    std::vector<std::u16string> written;
    for (int i = 0; i < formulaHandler.SheetCount(); ++i)
        written.push_back(i == index ? std::u16string(name) : formulaHandler.SheetNameAt(i));
    struct TRestore {
        TFormulaHandler& formulas;
        ~TRestore() {
            formulas.SetWrittenSheetNames({});
            formulas.SetLinkNumbers(false);
        }
    } restore{formulaHandler};
    formulaHandler.SetWrittenSheetNames(std::move(written));
    // Texts kept from a package name other workbooks by their link parts.
    formulaHandler.SetLinkNumbers(true);
    FollowSheetTexts(
        nullptr,
        [&](std::u16string_view text, int sheet, int col, int row) {
            return formulaHandler.WithWrittenSheetNames(text, sheet, col, row);
        },
        [&](std::u16string_view sheetName) { return formulaHandler.WrittenSheetName(sheetName); });
}

void TTabrix4::WireDrawingNames() {
    TInternalNames& names = formulaHandler.Names();
    drawingNames.IndexOfName = [&names](std::u16string_view text) { return names.IndexOfName(text); };
    drawingNames.NameText = [&names](int position) {
        return position >= 0 && position < names.Count() ? names.Items(position).GetName() : std::u16string();
    };
    // A macro name of that text is used again; another name of that text
    // (a range, say) is left alone and a macro name added.
    drawingNames.AddMacroName = [&names](std::u16string_view text) {
        const std::u16string upper = UpperCaseWide(text);
        for (int i = 0; i < names.Count(); ++i) {
            const TInternalName& n = names.Items(i);
            if ((n.Options & noVBAProcedure) && UpperCaseWide(n.GetName()) == upper) return i;
        }
        TInternalName& added = names.Add();
        added.SetName(text);
        added.SetVBAMacro(true);
        // A macro procedure, as the macro names of real files are marked.
        added.Options |= noMacro;
        return names.Count() - 1;
    };
    drawingNames.MacroSheetEntry = [this] {
        return formulaHandler.Externals().GetSelfSheetIndex(0xFFFE, 0xFFFE, formulaHandler.SheetCount());
    };
}

TTabrix4::~TTabrix4() {
    // The cells, strings and formats all go: the cells are dropped with their
    // arena rather than one by one; the list of stores goes first, as
    // Clear does, so that no sheet looks itself up in it.
    cellStores.Discarding = true;
    cellStores.Clear();
    sheets.reset();
}

void TTabrix4::SetDefaultWindow() {
    workbookData.SetLeft(100);
    workbookData.SetTop(100);
    workbookData.SetWidth(10000);
    workbookData.SetHeight(7000);
    workbookData.SetOptions(woHScroll | woVScroll | woTabs);
}

void TTabrix4::SetVersion(TExcelVersion value) {
    version = value;
    maxRecSize = MaxRecordSize(value);
    LibState().SetLimits(value);
    sheets->SetMaxRecSize(maxRecSize);
    formulaHandler.SetVersion(value);
}

bool TTabrix4::Excel2007MacroFile() const {
    if (filename.size() < 4) return false;
    return UpperCaseWide(filename.substr(filename.size() - 4)) == u"XLSM";
}

void TTabrix4::Clear() {
    formulaHandler.Clear();
    // Every cell goes, and the strings and formats after them: the cells are
    // dropped with their arena.
    {
        struct Discarding {
            TCellValuesList& list;
            ~Discarding() { list.Discarding = false; }
        } discarding{cellStores};
        cellStores.Discarding = true;
        sheets->Clear();
    }
    cellArena.Clear();
    strings.Clear();
    globals.Clear();
    SetDefaultWindow();
    unknown2007.Clear();
    DefaultFormatBlock = true;
    sheets->Add(0);
    // Style formats hold uses of the default pool's fills and borders.
    secondFormats.Clear();
    defaultFormats.Clear();
    fonts.Clear();
    fonts.AddDefaults();
    defaultFormats.InitDefaults();
    defaultFormat = defaultFormats.GetItem(DefaultCellFormat);
    styles.Clear();
    ex12Styles.Clear();
    pictures.Clear();
    extraObjects.Clear();
    vba->Clear();
    chartSheets.Clear();
    packageData.Clear();
    keptPackage.Clear();
    fileSharing.clear();
    origVersion = TExcelVersion::xvNone;
    CodePage = DefaultCodePage;
    editedCells.clear();
    lastEdited = {};
}

void TTabrix4::AddNumberFormat(std::u16string_view text, int index) {
    defaultFormats.NumberFormats().AddRead(text, index, 1);
}

void TTabrix4::AddNumberFormatEx12(std::u16string_view text, int index) {
    defaultFormats.NumberFormats().AddXLSX(text, index);
}

void TTabrix4::SetFont(const TXFont& font) {
    if (TXFont* f = fonts.GetItem(0)) f->Assign(font);
}

bool TTabrix4::GetBookProtected() const {
    const TRecordBlock* b = globals.DefaultBlock(biff::PROTECT);
    return b && b->Length() >= 2 && GetU16(b->Data()) == 1;
}

void TTabrix4::SetBookProtected(bool v) {
    if (TRecordBlock* b = globals.DefaultBlock(biff::PROTECT); b && b->Length() >= 2)
        PutU16(b->Data(), v ? 1 : 0);
}

bool TTabrix4::GetRecomendReadOnly() const {
    return fileSharing.size() >= 2 && GetU16(fileSharing.data()) == 1;
}

void TTabrix4::SetRecomendReadOnly(bool v) {
    if (v) {
        if (fileSharing.size() < 2) fileSharing.assign(6, 0);
        PutU16(fileSharing.data(), 1);
        return;
    }
    if (fileSharing.size() < 2) {
        fileSharing.clear();
        return;
    }
    PutU16(fileSharing.data(), 0);
    if (std::all_of(fileSharing.begin(), fileSharing.end(), [](uint8_t b) { return b == 0; }))
        fileSharing.clear();
}

void TTabrix4::SetStrTRUE(std::u16string_view text) {
    LibState().StrTRUE = text;
}

void TTabrix4::SetStrFALSE(std::u16string_view text) {
    LibState().StrFALSE = text;
}

std::unique_ptr<TFormulaEvaluator> TTabrix4::MakeEvaluator() {
    auto evaluator = std::make_unique<TFormulaEvaluator>(*sheets, formulaHandler);
    evaluator->OnFunction = [this](std::u16string_view name, std::vector<TFormulaValue>& args,
                                   TFormulaValue& result) {
        if (OnFunction) OnFunction(*this, name, args, result);
    };
    return evaluator;
}

void TTabrix4::CalculateCell(int sheet, int col, int row, TFormulaValue& value) {
    // A fresh pass: the cells may have changed since the last calculation.
    MakeEvaluator()->CalculateCell(sheet, col, row, value);
    if (sheet >= 0 && sheet < sheets->Count())
        if (TCell* cell = sheets->Items(sheet).GetCell(col, row); cell && cell->IsFormula())
            static_cast<TFormulaCell*>(cell)->Calculated = true;
}

std::optional<TFormulaValue> TTabrix4::ComputedFormulaValue(int sheet, int col, int row) {
    std::unique_ptr<TFormulaEvaluator> once;
    if (passes > 0 && !passEvaluator) passEvaluator = MakeEvaluator();
    if (!passEvaluator) once = MakeEvaluator();
    TFormulaEvaluator* evaluator = passEvaluator ? passEvaluator.get() : once.get();
    TFormulaValue v;
    try {
        evaluator->CalculateCell(sheet, col, row, v);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // A function or token the library does not compute.
        return std::nullopt;
    }
    switch (v.ValType) {
    case fvFloat:
    case fvBoolean:
    case fvString:
        return v;
    case fvError:
        // Index 0 is "no result".
        if (v.Error != 0) return v;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<TFormulaValue> TTabrix4::FormulaValueToKeep(int sheet, const TFormulaCell& cell) {
    const TFormulaValue cached = FormulaCellResult(cell);
    // An empty text is what some writers cache for every formula (xlwt): it
    // is no value to keep, only the computed one is.
    const bool none = HoldsNoResult(sheet, cell) || (cached.ValType == fvString && cached.Text.empty());
    if (!none && !packageData.FullCalcOnLoad) return cached;
    if (auto computed = ComputedFormulaValue(sheet, cell.Col, int(cell.Row))) return computed;
    if (none) return std::nullopt;
    return cached;
}

bool TTabrix4::HoldsNoResult(int sheet, const TFormulaCell& cell) {
    return cell.NoResult || cell.Stale ||
           (sheet >= 0 && sheet < sheets->Count() &&
            sheets->Items(sheet).PackageData().Uncached.count(uint64_t(cell.Row) << 16 | cell.Col));
}

std::optional<TFormulaValue> TTabrix4::FormulaResultToWrite(int sheet, const TFormulaCell& cell) {
    const bool none = HoldsNoResult(sheet, cell);
    if (!none && !packageData.FullCalcOnLoad) return FormulaCellResult(cell);
    if (auto computed = ComputedFormulaValue(sheet, cell.Col, int(cell.Row))) return computed;
    if (none) return std::nullopt;
    return FormulaCellResult(cell);
}

bool TTabrix4::CalculatedOnLoad() const {
    return packageData.FullCalcOnLoad;
}

void TTabrix4::Read() {
    warnings.clear();
    editWarnings.clear();
    ReadFile();
    origVersion = version;
}

void TTabrix4::Write() {
    if (version == TExcelVersion::xvExcel21 || version == TExcelVersion::xvExcel30)
        throw XLSError("Can not write Excel 2.1/3.0 files");
    warnings = std::move(editWarnings);
    editWarnings.clear();
    // The values a write computes are computed over the workbook as it is.
    TCalculationPass pass(*this);
    WriteFile();
    if (OnProgress) OnProgress(*this, 100);
}

void TTabrix4::PrepareWrite(int64_t totalCells) {
    if (OnProgress) {
        OnProgress(*this, 0);
        progressTotal = totalCells;
        progressCounter = 0;
    }
    for (int i = 0; i < sheets->Count(); ++i) optionsDialog.WriteTo(sheets->Items(i).Records());
    for (int i = 0; i < sheets->Count(); ++i) sheets->Items(i).Drawing().MarkUsedPictures(pictures);
    for (int i = 0; i < chartSheets.Count(); ++i)
        if (const TEscherDrawing* d = chartSheets.Items(i).Drawing()) d->MarkUsedPictures(pictures);
}

void TTabrix4::ProgressStep() {
    if (progressTotal > 0) {
        double factor = 100.0 / double(progressTotal);
        int64_t old = std::min<int64_t>(100, std::llround(double(progressCounter) * factor));
        progressCounter += 100;
        int64_t now = std::min<int64_t>(100, std::llround(double(progressCounter) * factor));
        if (now != old && OnProgress) OnProgress(*this, int(now));
    }
    if (ProcessMessages) ProcessMessages();
}

void TTabrix4::AfterRead() {
    TCellValuesList::TQuiet quiet(cellStores);
    if (OnReadDone) OnReadDone(*this);
    if (sheets->Count() == 0) {
        TExcelVersion v = version;
        Clear();
        version = v;
    }
    defaultFormat =
        defaultFormats.Count() >= 16 ? defaultFormats.GetItem(DefaultCellFormat) : defaultFormats.GetItem(0);
    optionsDialog.ReadFrom(sheets->Items(0).Records());
    for (int i = 0; i < sheets->Count(); ++i) sheets->Items(i).AfterRead(version);
    // Picture references of the shapes from positions in the file to
    // positions in the store, which left out the entries no shape used.
    std::vector<std::pair<std::u16string, TEscherDrawing*>> drawings;
    for (int i = 0; i < sheets->Count(); ++i)
        drawings.emplace_back(sheets->Items(i).Name(), &sheets->Items(i).Drawing());
    for (int i = 0; i < chartSheets.Count(); ++i)
        if (TEscherDrawing* d = chartSheets.Items(i).Drawing())
            drawings.emplace_back(chartSheets.Items(i).Name, d);
    std::set<int> used;
    for (auto& [name, d] : drawings) d->ListBlipRefs(used);
    pictures.DropUnreferenced(used);
    std::vector<int> fileBlipIds;
    pictures.ListFileBlipIds(fileBlipIds);
    for (auto& [name, d] : drawings)
        for (uint32_t v : d->RemapBlipIds(fileBlipIds))
            AddWarning(WideToUtf8(name) + ": a picture shape refers to picture " + std::to_string(v) +
                       ", which the drawing group does not hold; the shape is kept without its picture");
}

// ---------------------------------------------------------------------------
// Cell blocks

void TTabrix4::CopyCells(int srcSheet, int col1, int row1, int col2, int row2, int destSheet, int destCol,
                         int destRow, int options) {
    CopyOrMove(false, srcSheet, col1, row1, col2, row2, destSheet, destCol, destRow, options);
}

void TTabrix4::MoveCells(int srcSheet, int col1, int row1, int col2, int row2, int destSheet, int destCol,
                         int destRow, int options) {
    CopyOrMove(true, srcSheet, col1, row1, col2, row2, destSheet, destCol, destRow, options);
}

namespace {
// The cells of a block, collected before anything changes.
std::vector<TCell*> CellsIn(TCellValues& store, int col1, int row1, int col2, int row2) {
    std::vector<TCell*> cells;
    store.BeginIterate();
    while (TCell* cell = store.NextCell())
        if (cell->Col >= col1 && cell->Col <= col2 && int64_t(cell->Row) >= row1 &&
            int64_t(cell->Row) <= row2)
            cells.push_back(cell);
    return cells;
}
} // namespace

// Everything that can refuse (a cell pushed past the version's limits, a
// merged area cut apart) is checked before anything changes.
void TTabrix4::CopyOrMove(bool move, int srcSheet, int col1, int row1, int col2, int row2, int destSheet,
                          int destCol, int destRow, int options) {
    if (srcSheet == destSheet && destCol == col1 && destRow == row1) return;
    if (col1 > col2) std::swap(col1, col2);
    if (row1 > row2) std::swap(row1, row2);
    TSheet& src = sheets->Items(srcSheet);
    TSheet& dest = sheets->Items(destSheet);
    TCellStorage::CheckPosition(destCol, destRow);
    // Shapes that can not be copied refuse the operation before anything moves.
    std::vector<TShape*> shapes;
    const bool sameSheet = srcSheet == destSheet;
    if (options & coDrawingObjects) {
        src.Drawing().GetShapesInArea(shapes, col1, row1, col2, row2);
        if (!(move && sameSheet)) TEscherDrawing::CheckCopyable(shapes);
    }
    const int64_t deltaCol = int64_t(destCol) - col1, deltaRow = int64_t(destRow) - row1;
    std::vector<TCell*> block;
    if (options & coCells) {
        block = CellsIn(src.Cells(), col1, row1, col2, row2);
        for (TCell* cell : block)
            if (cell->Col + deltaCol > LibState().MaxColumn ||
                int64_t(cell->Row) + deltaRow > LibState().MaxRow)
                throw XLSError("Cell position is outside the sheet");
    }
    TCellAreaList areas;
    if (options & coMergedCells) {
        // A move takes merged areas only whole, to this sheet or another:
        // the areas inside move, none is stretched, cut or joined.
        if (move) src.MergedCells().CheckWholeMove(col1, row1, col2, row2);
        if (srcSheet != destSheet) src.MergedCells().CollectIntersecting(areas, col1, row1, col2, row2);
    }
    if (options & coCells) {
        // Every copy is taken before any lands, so overlapping source and
        // destination areas copy what stood there before.
        std::vector<std::unique_ptr<TCell>> collected;
        collected.reserve(block.size());
        for (TCell* cell : block) {
            collected.push_back(cell->MakeCopy());
            // A member of an .xlsx shared formula holds no text of its own:
            // its copy gets the formula it runs, the anchor's moved to it.
            // A text copied to another sheet names there what it named
            // where it stood (a name local to its sheet among them).
            if (auto* f = dynamic_cast<TFormulaCell*>(cell); f && f->IsText()) {
                const bool member = f->SharedLink() != NoSharedFormula && f->TokenLength() == 0;
                TEncodedFormula tokens;
                if (member) {
                    tokens = formulaHandler.TextFormulaTokens(srcSheet, *f);
                    static_cast<TFormulaCell&>(*collected.back()).SetFormula(tokens.Data, tokens.TokenLength);
                } else if (!sameSheet && !(f->Options() & KeptArrayFormula) &&
                           formulaHandler.CompileText(srcSheet, *f, tokens)) {
                    static_cast<TFormulaCell&>(*collected.back()).SetFormula(tokens.Data, tokens.TokenLength);
                }
            }
            // Its result is computed where it lands.
            if (auto* f = dynamic_cast<TFormulaCell*>(collected.back().get())) f->NoResult = true;
            collected.back()->SetPosition(int(cell->Col + deltaCol), int(int64_t(cell->Row) + deltaRow));
        }
        // Formulas move their references with them; a formula that cannot
        // be walked refuses the whole operation before anything changed.
        if (options & coAdjustFormulas)
            for (auto& c : collected)
                if (auto* f = dynamic_cast<TFormulaCell*>(c.get()))
                    formulaHandler.AdjustFormula(destSheet, *f, options & coAdjustOption4,
                                                 options & coAdjustOption2, int(deltaRow), int(deltaCol));
        // Removing or replacing a cell of a shared formula gives the cells
        // that stay their own formulas first.
        TCellValues& store = src.Cells();
        if (move)
            for (auto& c : collected)
                store.RemoveCell(int(c->Col - deltaCol), int(int64_t(c->Row) - deltaRow));
        for (auto& c : collected) {
            int col = c->Col, row = int(c->Row);
            dest.Cells().PutCellKeepFormat(col, row, std::move(c));
        }
    }
    if (options & coMergedCells) {
        if (srcSheet == destSheet) {
            if (move)
                src.MergedCells().MoveAreas(col1, row1, col2, row2, int(deltaCol), int(deltaRow));
            else
                src.MergedCells().CopyAreas(col1, row1, col2, row2, destCol, destRow);
        } else {
            dest.MergedCells().InsertMoved(areas, col1, row1, col2, row2, destCol, destRow);
            if (move) src.MergedCells().DeleteListed(areas, col1, row1, col2, row2);
        }
    }
    // Conditional formats and validations go with their cells.
    for (auto [bit, srcList, destList] :
         {std::tuple{coConditionalFormats, static_cast<TCollectionMoveCopy*>(&src.ConditionalFormats()),
                     static_cast<TCollectionMoveCopy*>(&dest.ConditionalFormats())},
          std::tuple{coValidations, static_cast<TCollectionMoveCopy*>(&src.Validations()),
                     static_cast<TCollectionMoveCopy*>(&dest.Validations())}}) {
        if (!(options & bit)) continue;
        if (sameSheet && move) {
            srcList->MoveItems(col1, row1, col2, row2, destCol, destRow);
        } else if (sameSheet) {
            srcList->CopyItems(col1, row1, col2, row2, destCol, destRow);
        } else {
            TMoveCopyList list;
            srcList->CollectIntersecting(list, col1, row1, col2, row2);
            destList->InsertCopies(list, col1, row1, col2, row2, destCol, destRow);
            if (move) srcList->RemoveFromListed(list, col1, row1, col2, row2);
        }
    }
    if (options & coDrawingObjects) {
        if (sameSheet && move) {
            src.Drawing().MoveShapesInArea(col1, row1, col2, row2, destCol, destRow);
        } else if (sameSheet) {
            src.Drawing().CopyShapesInArea(col1, row1, col2, row2, destCol, destRow);
        } else {
            dest.Drawing().CopyShapesFrom(shapes, destCol - col1, destRow - row1);
            if (move) src.Drawing().DeleteShapes(shapes);
        }
    }
}

void TTabrix4::DeleteCells(int sheet, int col1, int row1, int col2, int row2) {
    if (col1 > col2) std::swap(col1, col2);
    if (row1 > row2) std::swap(row1, row2);
    TSheet& s = sheets->Items(sheet);
    s.MergedCells().CheckRemove(nullptr, col1, row1, col2, row2);
    std::vector<std::pair<int, int>> positions;
    for (TCell* cell : CellsIn(s.Cells(), col1, row1, col2, row2))
        positions.emplace_back(cell->Col, int(cell->Row));
    for (auto [c, r] : positions) s.DeleteCell(c, r);
    std::vector<TShape*> shapes;
    s.Drawing().GetShapesInArea(shapes, col1, row1, col2, row2);
    s.Drawing().DeleteShapes(shapes);
    s.ConditionalFormats().RemoveAreaFromAll(col1, row1, col2, row2);
    s.Validations().RemoveAreaFromAll(col1, row1, col2, row2);
    s.MergedCells().RemoveRect(col1, row1, col2, row2);
}

} // namespace xls

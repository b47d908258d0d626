#include "SrcXLS/formats/XLSXReader.h"

#include "platform/XmlStream.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formats/XLSXExternalLinks.h"
#include "SrcXLS/formats/XLSXTables.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/CellFormatsEx12.h"
#include "SrcXLS/model/SST.h"
#include "SrcXLS/model/Sheet.h"
#include "SrcXLS/model/WideStringList.h"
#include "SrcXLS/model/XFonts.h"

#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/formulas/FormulaText.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

namespace xls {

namespace {

constexpr int MaxRows = 1048576, MaxCols = 16384;

std::string LastSegment(std::string_view type) {
    size_t slash = type.rfind('/');
    return std::string(slash == type.npos ? type : type.substr(slash + 1));
}

// Days from 1970-01-01 of a civil date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool Digits(std::string_view s, size_t at, size_t n, int& v) {
    if (at + n > s.size()) return false;
    v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    return true;
}

// The top-level elements kept as text for the writer.
constexpr int WorkbookKeptIds[] = {etbookViews,
                                   etcustomWorkbookViews,
                                   etextLst,
                                   etfileRecoveryPr,
                                   etfileSharing,
                                   etfileVersion,
                                   etfunctionGroups,
                                   etoleSize,
                                   etpivotCaches,
                                   etsmartTagPr,
                                   etsmartTagTypes,
                                   etwebPublishing,
                                   etwebPublishObjects,
                                   etworkbookPr,
                                   etworkbookProtection};
constexpr int SheetKeptIds[] = {
    etautoFilter,      etcellWatches,      etcolBreaks,        etconditionalFormatting,
    etcontrols,        etcustomProperties, etcustomSheetViews, etdataConsolidate,
    etdataValidations, etdrawing,          etextLst,           etheaderFooter,
    ethyperlinks,      etignoredErrors,    etlegacyDrawing,    etlegacyDrawingHF,
    etoleObjects,      etpageMargins,      etpageSetup,        etphoneticPr,
    etpicture,         etprintOptions,     etprotectedRanges,  etrowBreaks,
    etscenarios,       etsheetCalcPr,      etsheetFormatPr,    etsheetPr,
    etsheetProtection, etsheetViews,       etsmartTags,        etsortState,
    ettableParts,      etwebPublishItems};
// The top-level elements the reader models.
constexpr int WorkbookModelIds[] = {etsheets, etexternalReferences, etcalcPr};
constexpr int SheetModelIds[] = {etsheetData, etcols, etmergeCells, etdimension};
constexpr int StylesModelIds[] = {etnumFmts,      etfonts,   etfills,     etborders,
                                  etcellStyleXfs, etcellXfs, etcellStyles};
constexpr int StylesKeptIds[] = {etdxfs, ettableStyles, etcolors};

bool In(std::span<const int> ids, int id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Below the elements it models, the elements the reader reads; every other
// one is passed over as it ends.
constexpr int FontIds[] = {etb,      eti,    etstrike, etoutline, etshadow, etcondense,  etextend, etcharset,
                           etfamily, etname, etrFont,  etsz,      etu,      etvertAlign, etcolor,  etscheme};
constexpr int ColorIds[] = {etcolor};
constexpr int BorderSideIds[] = {etleft, ettop, etright, etbottom, etdiagonal, etvertical, ethorizontal};
struct TReadBelow {
    int Parent;
    std::span<const int> Ids;
};
constexpr int RowIds[] = {etrow}, CellIds[] = {etc}, CellChildIds[] = {etv, etf, etis},
              TextIds[] = {ett, etr}, RunIds[] = {etrPr, ett}, ColIds[] = {etcol}, MergeIds[] = {etmergeCell};
constexpr TReadBelow SheetBelow[] = {{etsheetData, RowIds}, {etrow, CellIds},        {etc, CellChildIds},
                                     {etis, TextIds},       {etr, RunIds},           {etrPr, FontIds},
                                     {etcols, ColIds},      {etmergeCells, MergeIds}};
constexpr TReadBelow StringsBelow[] = {{etsi, TextIds}, {etr, RunIds}, {etrPr, FontIds}};
constexpr int NumFmtIds[] = {etnumFmt}, FontItemIds[] = {etfont}, FillIds[] = {etfill},
              FillKindIds[] = {etpatternFill, etgradientFill}, PatternIds[] = {etfgColor, etbgColor},
              StopIds[] = {etstop}, BorderIds[] = {etborder}, XfIds[] = {etxf},
              XfChildIds[] = {etalignment, etprotection}, StyleIds[] = {etcellStyle};
constexpr TReadBelow StylesBelow[] = {
    {etnumFmts, NumFmtIds},   {etfonts, FontItemIds},      {etfont, FontIds},         {etfills, FillIds},
    {etfill, FillKindIds},    {etpatternFill, PatternIds}, {etgradientFill, StopIds}, {etstop, ColorIds},
    {etborders, BorderIds},   {etborder, BorderSideIds},   {etleft, ColorIds},        {etright, ColorIds},
    {ettop, ColorIds},        {etbottom, ColorIds},        {etdiagonal, ColorIds},    {etvertical, ColorIds},
    {ethorizontal, ColorIds}, {etcellStyleXfs, XfIds},     {etcellXfs, XfIds},        {etxf, XfChildIds},
    {etcellStyles, StyleIds}};
constexpr int SheetIds[] = {etsheet}, DefinedNameIds[] = {etdefinedName},
              ExternalIds[] = {etexternalReference};
constexpr TReadBelow WorkbookBelow[] = {
    {etsheets, SheetIds}, {etdefinedNames, DefinedNameIds}, {etexternalReferences, ExternalIds}};

bool ReadBelow(std::span<const TReadBelow> table, int parent, int id) {
    for (const TReadBelow& below : table)
        if (below.Parent == parent) return In(below.Ids, id);
    return false;
}

// What a package keeps of the elements it does not model, together: 32
// times its bytes, at least 64 MiB and at most 256 MiB.
uint64_t KeptBudget(uint64_t packageBytes) {
    return std::clamp<uint64_t>(packageBytes * 32, uint64_t(64) << 20, uint64_t(256) << 20);
}

// "A0": a reference to the row that does not exist.
bool IsRowZero(std::string_view ref) {
    size_t digits = ref.find_first_of("0123456789");
    return digits != ref.npos && ref.find_first_not_of('0', digits) == ref.npos;
}

} // namespace

bool IsoDateToSerial(std::string_view s, bool date1904, double& serial) {
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0;
    size_t at = 0;
    const bool hasDate = s.size() >= 10 && s[4] == '-' && s[7] == '-';
    if (hasDate) {
        if (!Digits(s, 0, 4, y) || !Digits(s, 5, 2, mo) || !Digits(s, 8, 2, d) || mo < 1 || mo > 12 ||
            d < 1 || d > 31)
            return false;
        at = 10;
        if (at < s.size() && (s[at] == 'T' || s[at] == ' ')) ++at;
    }
    double fraction = 0;
    if (at < s.size() && s.size() - at >= 5 && s[at + 2] == ':') {
        if (!Digits(s, at, 2, h) || !Digits(s, at + 3, 2, mi) || h > 24 || mi > 59) return false;
        at += 5;
        if (at + 3 <= s.size() && s[at] == ':') {
            if (!Digits(s, at + 1, 2, sec) || sec > 60) return false;
            at += 3;
            if (at < s.size() && s[at] == '.') {
                double scale = 0.1;
                for (++at; at < s.size() && s[at] >= '0' && s[at] <= '9'; ++at, scale /= 10)
                    fraction += (s[at] - '0') * scale;
            }
        }
    } else if (!hasDate) {
        return false;
    }
    // A time zone is dropped: cells show the clock time written.
    if (at < s.size() && s[at] != 'Z' && s[at] != '+' && s[at] != '-') return false;
    double days = 0;
    if (hasDate) {
        const int64_t epoch = date1904 ? DaysFromCivil(1904, 1, 1) : DaysFromCivil(1899, 12, 30);
        days = double(DaysFromCivil(y, mo, d) - epoch);
        // Serial numbers before March 1900 count the day the 1900 system
        // takes for 29 February 1900.
        if (!date1904 && days < 61) days -= 1;
        if (!date1904 && days < 0) days = 0;
    }
    serial = days + (h * 3600 + mi * 60 + sec + fraction) / 86400.0;
    return true;
}

// ---------------------------------------------------------------------------
// Package

void TXLS2007Reader::ReadPackage(std::span<const uint8_t> data, const TZipLimits& limits) {
    zip.OpenBuffer(data, limits);
    KeepLeft = keepBudget = KeptBudget(data.size());
    TreeBudget = keepBudget;
    TXLSXBookData& bd = *book.Book;
    bd.ReplacedParts = {"[Content_Types].xml", "_rels/.rels"};
    bd.Relations.SetUnchecked();
    bd.PackageRelations.SetUnchecked();

    // The workbook part through the package's relationships.
    // The package's other relationships (custom properties, a thumbnail)
    // are kept for the writer.
    for (const TRel& r : ReadRelations("", nullptr)) {
        std::string type = LastSegment(r.TypeName);
        std::string part = ResolvePartName("", r.Target);
        if (!r.External && type == "officeDocument" && workbookPart.empty()) {
            workbookPart = part;
        } else if (!r.External && (type == "core-properties" || type == "extended-properties" ||
                                   type == "extendedProperties" || type == "coreProperties")) {
            bd.ReplacedParts.push_back(part);
        } else if (type != "officeDocument") {
            TXMLRelation& kept = bd.PackageRelations.Add(r.Id);
            TXMLRelations::SetType(kept, r.TypeName);
            kept.Target = r.Target;
            kept.TargetMode = r.External ? 2 : 0;
        }
    }
    if (workbookPart.empty() || zip.IndexOf(workbookPart) < 0) workbookPart = "xl/workbook.xml";
    if (zip.IndexOf(workbookPart) < 0) throw XLSError("The package holds no workbook part");
    bd.ReplacedParts.push_back(workbookPart);
    bd.ReplacedParts.push_back(RelationshipsPartName(workbookPart));
    bd.WorkbookPart = workbookPart;
    bd.ReplacedParts.push_back("docProps/core.xml");
    bd.ReplacedParts.push_back("docProps/app.xml");

    workbookRels = ReadRelations(workbookPart, &bd.Relations);
    MapWorkbookRelations();
    // A part that a relationship names must be there (read is true); without
    // a relationship the usual name is tried.
    auto partOf = [&](std::string_view type, std::string_view fallback, bool read) {
        for (const TRel& r : workbookRels)
            if (!r.External && LastSegment(r.TypeName) == type) {
                std::string part = ResolvePartName(workbookPart, r.Target);
                return read ? RequirePart(part) : part;
            }
        return ResolvePartName(workbookPart, fallback);
    };
    const std::string styles = partOf("styles", "styles.xml", false);
    const std::string strings = partOf("sharedStrings", "sharedStrings.xml", true);
    bd.ReplacedParts.push_back(styles);
    bd.ReplacedParts.push_back(strings);
    bd.ReplacedParts.push_back(partOf("calcChain", "calcChain.xml", false));

    // The theme first: the styles' theme colours stand for its colours.
    const std::string themePart = partOf("theme", "theme/theme1.xml", false);
    if (zip.IndexOf(themePart) >= 0) {
        try {
            ReadPart(themePart, pkTheme);
        } catch (const XLSError&) {
            // A theme that cannot be read leaves the default colours.
            theme = DefaultThemeColors();
        }
    }

    TCellFormats& formats = *book.Formats;
    ReadStyles(styles);
    // Whatever the styles part held, font 0 and the 21 default formats stand.
    if (book.Fonts->Count() == 0) book.Fonts->AddDefaults();
    if (formats.Count() < 21) {
        while (formats.Count() > 0) formats.Delete(formats.Count() - 1);
        formats.AddDefaults();
    }
    // The cell formats name style format 0.
    if (book.StyleFormats->Count() == 0) book.StyleFormats->Add();
    // Every package starts its fills and borders with these.
    if (formats.Fills().Count() == 0) formats.Fills().AddDefaults();
    if (formats.Borders().Count() == 0) formats.Borders().AddDefaults();
    formats.MarkPermanent();
    book.StyleFormats->MarkPermanent();
    book.Fonts->MarkPermanent();
    book.Fonts->RebuildHash();

    book.Strings->ResetReadIndex();
    if (zip.IndexOf(strings) >= 0) ReadPart(strings, pkSharedStrings);
    sharedCount = book.Strings->ReadCount();
    // Fonts that rich texts added stay.
    book.Fonts->MarkPermanent();

    ReadPart(workbookPart, pkWorkbook);
    if (book.Formulas) ReadExternalLinks();
    for (const TSheetPart& sp : sheetParts) {
        current = sp.Sheet;
        TXLSXSheetData& sd = current->PackageData();
        sd.Relations.SetUnchecked();
        sd.SourcePart = sp.Part;
        if (sd.KeptRelationId.empty()) {
            bd.ReplacedParts.push_back(sp.Part);
            bd.ReplacedParts.push_back(RelationshipsPartName(sp.Part));
        }
        std::vector<TRel> sheetRels = ReadSheetRelations(sp.Part, sd.Relations);
        if (book.Formulas) ReadTables(sp.Part, sheetRels);
        relations = &sheetRels;
        lastRow = -1;
        lastCol = -1;
        skipRow = false;
        columnsSet = 0;
        // A sheet whose part is missing is an empty sheet, as other readers take it.
        if (!sp.Part.empty() && zip.IndexOf(sp.Part) < 0) {
            if (book.Warn)
                book.Warn("Sheet '" + WideToUtf8(current->Name()) + "': its part " + sp.Part +
                          " is missing from the package; read as an empty sheet");
        } else if (!sp.Part.empty()) {
            ReadPart(sp.Part, pkSheet);
            WarnCutTexts();
        }
        relations = nullptr;
    }
    current = nullptr;
    book.Strings->EndRead();
    DropDamagedParts();
    bd.Relations.SetChecked();
    bd.Relations.SortById();
}

void TXLS2007Reader::NoteCut(int col, int row, size_t length) {
    if (cutTexts++ > 0) return;
    firstCut = WideToUtf8(ColRowToRefStr(col, row, false, false));
    firstCutLength = length;
}

// The texts of the sheet read that were longer than a cell holds: they keep
// their first characters, and the warning names where.
void TXLS2007Reader::WarnCutTexts() {
    if (cutTexts > 0 && book.Warn)
        book.Warn(
            WideToUtf8(QuoteSheetName(current->Name())) + "!" + firstCut + ": a text of " +
            std::to_string(firstCutLength) + " characters cut to the " + std::to_string(MaxReadStringLength) +
            " a cell holds" +
            (cutTexts > 1 ? ", and the texts of " + std::to_string(cutTexts - 1) + " more cell(s)" : ""));
    cutTexts = 0;
}

// An Id that two relationships share (a custom XML part given the sheet's
// Id) names the sheet's part for the sheet, as other readers take it; the
// other relationship is kept for the writer, which numbers it anew.
void TXLS2007Reader::MapWorkbookRelations() {
    static constexpr std::string_view sheetTypes[] = {"worksheet", "chartsheet", "dialogsheet",
                                                      "xlMacrosheet", "xlIntlMacrosheet"};
    auto isSheet = [](const std::string& type) {
        return std::find(std::begin(sheetTypes), std::end(sheetTypes), type) != std::end(sheetTypes);
    };
    for (size_t i = 0; i < workbookRels.size(); ++i) {
        auto [at, added] = workbookRelById.emplace(workbookRels[i].Id, i);
        if (added) continue;
        const std::string before = LastSegment(workbookRels[at->second].TypeName),
                          now = LastSegment(workbookRels[i].TypeName);
        std::string outcome;
        if (isSheet(before) && isSheet(now)) {
            outcome = "the first is read";
        } else if (isSheet(before) || isSheet(now)) {
            if (isSheet(now)) at->second = i;
            outcome = "the sheet takes the " + (isSheet(now) ? now : before) + ", the " +
                      (isSheet(now) ? before : now) + " is kept";
        } else {
            at->second = i;
            outcome = "the last is read, the first kept";
        }
        if (book.Warn)
            book.Warn("Workbook: relationship Id " + workbookRels[i].Id + " is given twice (" + before +
                      ", " + now + "); " + outcome);
    }
}

// The other workbooks formulas read as "[n]": a book per external link in
// the package's order, with its cached values. A link that is no workbook
// or does not read names none; its formulas keep their values when the
// workbook is written as .xls, and its part goes back to a package as it was.
void TXLS2007Reader::ReadExternalLinks() {
    TXLSXBookData& bd = *book.Book;
    TExternalNames& externals = book.Formulas->Externals();
    for (int i = 0; i < bd.ExtRelations.Count(); ++i) {
        const TXMLRelation& rel = bd.ExtRelations.Item(i);
        const std::string part = ResolvePartName(workbookPart, rel.Target);
        std::string path;
        TSupBook linked;
        if (rel.TargetMode != 2 && zip.IndexOf(part) >= 0) {
            try {
                const std::vector<TRel> rels = ReadRelations(part, nullptr);
                TExternalLinkReader reader;
                std::string relId;
                reader.Read(zip.Extract(part), part, linked, relId);
                for (const TRel& r : rels)
                    if (r.Id == relId && !relId.empty()) path = r.Target;
            } catch (const XLSError&) {
                path.clear();
            }
        }
        if (path.empty()) {
            externals.AddUnreadLink();
            continue;
        }
        linked.Path = EncodedPathOfTarget(path);
        externals.AddLinkedBook(std::move(linked));
    }
}

// The tables of the sheet being read, for formulas that name them; a part
// that does not read is left to the writer, which keeps it.
void TXLS2007Reader::ReadTables(const std::string& sheetPart, const std::vector<TRel>& sheetRels) {
    const int sheet = book.Sheets->IndexOf(current);
    for (const TRel& r : sheetRels) {
        if (r.External || LastSegment(r.TypeName) != "table") continue;
        const std::string part = ResolvePartName(sheetPart, r.Target);
        if (zip.IndexOf(part) < 0) continue;
        try {
            TTablePartReader reader;
            TTableDef table = reader.Read(zip.Extract(part), part);
            table.Sheet = sheet;
            book.Formulas->AddTable(std::move(table));
        } catch (const XLSError&) {
            // Its formulas keep their cached values when the workbook is written.
        }
    }
}

namespace {
// The Ids a kept element's text names in r:id attributes.
std::vector<std::string> RelationIdsIn(const std::string& text) {
    std::vector<std::string> ids;
    for (size_t at = text.find(" r:id=\""); at != text.npos; at = text.find(" r:id=\"", at + 1)) {
        const size_t start = at + 7, end = text.find('"', start);
        if (end == text.npos) break;
        ids.push_back(text.substr(start, end - start));
    }
    return ids;
}
} // namespace

// The entries the writer copies back as they are stored are checked here: one
// that fails (its checksum, its length) is left out with every relationship
// the model keeps to it, and named as a warning; the rest is kept.
namespace {

// Kept parts up to this size are checked to be sound XML.
constexpr uint64_t MaxCheckedPart = 32u << 20;

// The internal targets of a relationships part's Relationship elements.
struct TTargets : platform::XmlStreamHandler {
    std::vector<std::string> Targets;
    void StartElement(size_t, std::string_view name, const platform::XmlStreamAttributes& a) override {
        if (name != "Relationship" && !name.ends_with(":Relationship")) return;
        std::string target;
        bool external = false;
        for (size_t i = 0; i < a.Count(); ++i) {
            const std::string n = a.Name(i);
            if (n == "Target") target = a.Value(i);
            if (n == "TargetMode") external = a.Value(i) == "External";
        }
        if (!external && !target.empty()) Targets.push_back(target);
    }
    void Leaf(size_t, platform::XmlNodeKind, std::string_view) override {}
};

// The Ids a kept part names through attributes of the relationships
// namespace (r:id, r:embed, r:link and the like).
struct TNamedIds : platform::XmlStreamHandler {
    std::set<std::string> Prefixes, Ids;
    void StartElement(size_t, std::string_view, const platform::XmlStreamAttributes& a) override {
        for (size_t i = 0; i < a.Count(); ++i) {
            const std::string n = a.Name(i);
            if (n.starts_with("xmlns:") && a.Value(i).ends_with("/officeDocument/2006/relationships"))
                Prefixes.insert(n.substr(6));
        }
        for (size_t i = 0; i < a.Count(); ++i) {
            const std::string n = a.Name(i);
            const size_t colon = n.find(':');
            if (colon != std::string::npos && Prefixes.count(n.substr(0, colon))) Ids.insert(a.Value(i));
        }
    }
    void Leaf(size_t, platform::XmlNodeKind, std::string_view) override {}
};

// The Ids a relationships part gives.
struct TGivenIds : platform::XmlStreamHandler {
    std::set<std::string> Ids;
    void StartElement(size_t, std::string_view name, const platform::XmlStreamAttributes& a) override {
        if (name != "Relationship" && !name.ends_with(":Relationship")) return;
        for (size_t i = 0; i < a.Count(); ++i)
            if (a.Name(i) == "Id") Ids.insert(a.Value(i));
    }
    void Leaf(size_t, platform::XmlNodeKind, std::string_view) override {}
};

} // namespace

// Parts kept as read that are no sound XML, and kept parts whose
// relationships name a part the package lacks or a damaged one, are damaged
// too: the real programs refuse a package that holds them. A part the
// read's own parts name that is not there is counted damaged, so that what
// names it goes.
void TXLS2007Reader::FindDamagedKeptParts(const std::set<std::string>& replaced,
                                          std::set<std::string>& damaged) {
    TXLSXBookData& bd = *book.Book;
    auto leaveOut = [&](const std::string& name, const std::string& why) {
        damaged.insert(AsciiLower(name));
        bd.DroppedParts.push_back(name);
        if (book.Warn) book.Warn("Part " + name + " left out: " + why);
    };
    std::vector<std::pair<std::string, std::string>> rels; // (source part, relationships part)
    for (int i = 0, n = zip.Count(); i < n; ++i) {
        const std::string name = zip.EntryName(i);
        const std::string lower = AsciiLower(name);
        if (name.empty() || name.back() == '/' || damaged.count(lower)) continue;
        // A name the package's XML cannot hold (no UTF-8, control characters)
        // names no part: the content types would not read.
        const std::u16string wide = Utf8ToWide(name);
        if (WideToUtf8(wide) != name ||
            std::any_of(wide.begin(), wide.end(), [](char16_t c) { return c < 0x20; })) {
            damaged.insert(lower);
            bd.DroppedParts.push_back(name);
            if (book.Warn) book.Warn("Part " + WideToUtf8(wide) + " left out: its name is no part name");
            continue;
        }
        const bool relsPart = lower.ends_with(".rels");
        if (relsPart) {
            const size_t at = name.rfind("_rels/");
            if (at != std::string::npos)
                rels.emplace_back(name.substr(0, at) + name.substr(at + 6, name.size() - at - 11), name);
        }
        if (replaced.count(lower) || !(relsPart || lower.ends_with(".xml"))) continue;
        // Parts too large to hold whole for the check pass as they are.
        if (zip.OpenIndex(i).Size() > MaxCheckedPart) continue;
        TNamedIds named;
        const platform::XmlStreamResult r = platform::StreamXmlText(zip.ExtractIndex(i), named);
        if (!r.Ok()) {
            leaveOut(name, "it is no sound XML (" + r.reason + ")");
            continue;
        }
        if (relsPart || named.Ids.empty()) continue;
        TGivenIds given;
        const std::string relsName = RelationshipsPartName(name);
        if (zip.IndexOf(relsName) >= 0) platform::StreamXmlText(zip.Extract(relsName), given);
        for (const std::string& id : named.Ids)
            if (!given.Ids.count(id)) {
                leaveOut(name, "it names relationship " + id + ", which its relationships part lacks");
                break;
            }
    }
    // A kept part whose relationships part is damaged is damaged with it.
    for (const auto& [source, relsName] : rels)
        if (damaged.count(AsciiLower(relsName)) && !damaged.count(AsciiLower(source)) &&
            !replaced.count(AsciiLower(source)) && zip.IndexOf(source) >= 0)
            leaveOut(source, "its relationships part " + relsName + " is damaged");
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& [source, relsName] : rels) {
            if (damaged.count(AsciiLower(source))) continue;
            TTargets targets;
            if (!platform::StreamXmlText(zip.Extract(relsName), targets).Ok()) continue;
            for (const std::string& t : targets.Targets) {
                const std::string part = ResolvePartName(source, t);
                const bool missing = zip.IndexOf(part) < 0;
                if (!missing && !damaged.count(AsciiLower(part))) continue;
                if (replaced.count(AsciiLower(source))) {
                    // The relationship of the read's own part to it goes, and what names it.
                    if (missing) damaged.insert(AsciiLower(part));
                    continue;
                }
                leaveOut(source,
                         "it names " + part + (missing ? ", which is missing" : ", which is damaged"));
                changed = true;
                break;
            }
        }
    }
}

// A kept element of a sheet that names a relationship the sheet does not
// have (its relationships part lost, or the file's fault) goes: the real
// programs refuse a package that holds it.
void TXLS2007Reader::DropUnknownRelationIds() {
    for (int i = 0; i < book.Sheets->Count(); ++i) {
        TSheet& sheet = book.Sheets->Items(i);
        TXLSXSheetData& sd = sheet.PackageData();
        if (sd.SourcePart.empty()) continue;
        std::set<std::string> have;
        for (int r = 0; r < sd.Relations.Count(); ++r) have.insert(sd.Relations.Item(r).Id);
        for (int t = sd.SavedTags.Count() - 1; t >= 0; --t) {
            const std::string text = sd.SavedTags.Text(t);
            bool unknown = false;
            for (const std::string& id : RelationIdsIn(text)) unknown = unknown || !have.count(id);
            if (!unknown) continue;
            if (sd.SavedTags.ElementId(t) == etpageSetup) {
                // Its one reference: the printer settings.
                std::string kept = text;
                const size_t at = kept.find(" r:id=\"");
                sd.SavedTags.SetText(t, kept.erase(at, kept.find('"', at + 7) + 1 - at));
                continue;
            }
            const std::string element(ElementName(sd.SavedTags.ElementId(t)));
            sd.SavedTags.Delete(t);
            if (book.Warn)
                book.Warn("Sheet '" + WideToUtf8(sheet.Name()) + "': element " + element +
                          " left out: it names a relationship the sheet does not have");
        }
    }
}

void TXLS2007Reader::DropDamagedParts() {
    TXLSXBookData& bd = *book.Book;
    std::set<std::string> replaced, damaged;
    for (const std::string& p : bd.ReplacedParts) replaced.insert(AsciiLower(p));
    for (int i = 0, n = zip.Count(); i < n; ++i) {
        const std::string name = zip.EntryName(i);
        if (name.empty() || name.back() == '/' || replaced.count(AsciiLower(name))) continue;
        try {
            zip.OpenIndex(i).Drain();
        } catch (const XLSError& e) {
            damaged.insert(AsciiLower(name));
            bd.DroppedParts.push_back(name);
            if (book.Warn) book.Warn("Part " + name + " left out: " + e.what());
        }
    }
    FindDamagedKeptParts(replaced, damaged);
    DropUnknownRelationIds();
    if (damaged.empty()) return;

    // Relationships of a list to the damaged parts go; so do the kept
    // elements that name them (a page setup only loses its printer settings).
    auto dropRelations = [&](TXMLRelations& list, const std::string& source, TXLSSavedTags* tags,
                             const std::string& where) {
        std::set<std::string> gone;
        // Chart sheets whose part is gone go with it.
        auto keptSheetGone = [&](const TXLSXKeptSheet& k) {
            return &list == &bd.Relations && gone.count(k.RelationId);
        };
        for (int i = list.Count() - 1; i >= 0; --i) {
            const TXMLRelation& r = list.Item(i);
            if (r.TargetMode == 2 || !damaged.count(AsciiLower(ResolvePartName(source, r.Target)))) continue;
            gone.insert(r.Id);
            bd.ExtRelations.RemoveRef(&r);
            list.Remove(i);
        }
        if (!tags || gone.empty()) return;
        for (const TXLSXKeptSheet& k : bd.KeptSheets)
            if (keptSheetGone(k) && book.Warn)
                book.Warn(where + ": sheet " + XMLDecodeTextUtf8(k.Name) + " left out: its part is damaged");
        std::erase_if(bd.KeptSheets, keptSheetGone);
        for (int i = tags->Count() - 1; i >= 0; --i) {
            std::string text = tags->Text(i);
            bool names = false;
            for (const std::string& id : RelationIdsIn(text)) names = names || gone.count(id) > 0;
            if (!names) continue;
            if (tags->ElementId(i) == etpageSetup) {
                // Its one reference: the printer settings.
                const size_t at = text.find(" r:id=\"");
                tags->SetText(i, text.erase(at, text.find('"', at + 7) + 1 - at));
                continue;
            }
            const std::string element(ElementName(tags->ElementId(i)));
            tags->Delete(i);
            if (book.Warn) book.Warn(where + ": element " + element + " left out: it names a damaged part");
        }
    };
    dropRelations(bd.PackageRelations, "", nullptr, "");
    dropRelations(bd.Relations, bd.WorkbookPart, &bd.SavedTags, "Workbook");
    for (int i = 0; i < book.Sheets->Count(); ++i) {
        TSheet& sheet = book.Sheets->Items(i);
        TXLSXSheetData& sd = sheet.PackageData();
        if (!sd.SourcePart.empty())
            dropRelations(sd.Relations, sd.SourcePart, &sd.SavedTags,
                          "Sheet '" + WideToUtf8(sheet.Name()) + "'");
    }
}

std::string TXLS2007Reader::RequirePart(const std::string& name) const {
    if (zip.IndexOf(name) < 0) throw XLSError("Part missing from the package: " + name);
    return name;
}

void TXLS2007Reader::ReadPart(const std::string& name, TPartKind k) {
    const int64_t cut = CutElements;
    TXLSZipEntry entry = zip.OpenEntry(name);
    // A part larger than a piece is parsed as it inflates, so that a big
    // worksheet never stands whole in memory beside its cells.
    const bool whole = entry.Size() <= PieceSize;
    const std::string text = whole ? entry.ReadAll() : std::string();
    kind = k;
    partName = name;
    try {
        if (whole)
            TXLSExcelXmlReader::ReadPart(text, name);
        else
            TXLSExcelXmlReader::ReadPart([&entry](char* to, size_t n) { return entry.Read(to, n); }, name,
                                         PieceSize);
    } catch (const XLSError& e) {
        kind = pkNone;
        DropChildren(Root());
        if (entry.Failed()) throw;
        // A damaged entry is reported as such, as when it is read whole
        // before its text.
        if (!whole) entry.Drain();
        throw XLSError(std::string(e.what()) + " (" + name + ")");
    }
    kind = pkNone;
    DropChildren(Root());
    WarnLeftOut(name);
    WarnCut(name, cut);
}

void TXLS2007Reader::WarnCut(const std::string& part, int64_t before) {
    if (CutElements > before && book.Warn)
        book.Warn(std::to_string(CutElements - before) + " element(s) of " + part + " nested more than " +
                  std::to_string(MaxDepth) + " levels deep were left out, with all they hold");
}

// A styles part that is missing or does not read leaves the default styles:
// the cells are read with them.
void TXLS2007Reader::ReadStyles(const std::string& part) {
    if (zip.IndexOf(part) < 0) {
        if (book.Warn && HasRelation("styles"))
            book.Warn("The styles part " + part + " is missing from the package; the default styles stand");
        return;
    }
    try {
        ReadPart(part, pkStyles);
    } catch (const XLSError& e) {
        if (zip.IndexOf(part) >= 0 && zip.OpenEntry(part).Failed()) throw;
        // The formats release their fonts, fills and borders before those go.
        TCellFormats& formats = *book.Formats;
        while (book.StyleFormats->Count() > 0) book.StyleFormats->Delete(book.StyleFormats->Count() - 1);
        while (formats.Count() > 0) formats.Delete(formats.Count() - 1);
        formats.Fills().Clear();
        formats.Borders().Clear();
        book.Fonts->Clear();
        if (book.Warn)
            book.Warn("The styles part " + part +
                      " could not be read and was left out; the default styles stand: " + e.what());
    }
}

bool TXLS2007Reader::HasRelation(std::string_view type) const {
    for (const TRel& r : workbookRels)
        if (!r.External && LastSegment(r.TypeName) == type) return true;
    return false;
}

// A sheet's relationships part that does not read costs itself: the sheet
// is read without what it names (pictures, comments, links to other parts).
std::vector<TXLS2007Reader::TRel> TXLS2007Reader::ReadSheetRelations(const std::string& part,
                                                                     TXMLRelations& keep) {
    try {
        return ReadRelations(part, &keep);
    } catch (const XLSError& e) {
        keep.Clear();
        if (book.Warn)
            book.Warn("Sheet '" + WideToUtf8(current->Name()) + "': its relationships part " +
                      RelationshipsPartName(part) + " could not be read and was left out: " + e.what());
        return {};
    }
}

TXLS2007Reader::THold TXLS2007Reader::HoldOf(int id, const TExXMLTag& tag) const {
    if (!TopLevel(tag)) {
        const TExXMLTag& parent = *tag.Parent;
        bool read = true;
        switch (kind) {
        case pkSheet:
            read = ReadBelow(SheetBelow, parent.Id, id);
            break;
        case pkSharedStrings:
            read = ReadBelow(StringsBelow, parent.Id, id);
            break;
        case pkStyles:
            // "start" and "end" are the left and right sides of newer writers.
            read =
                ReadBelow(StylesBelow, parent.Id, id) ||
                (parent.Id == etborder && (LocalPart(tag.Name) == "start" || LocalPart(tag.Name) == "end")) ||
                (parent.Id == etUnknown && parent.Parent && parent.Parent->Id == etborder && id == etcolor);
            break;
        case pkWorkbook:
            read = ReadBelow(WorkbookBelow, parent.Id, id);
            break;
        case pkPackageRels:
            read = false;
            break;
        default:
            break;
        }
        return read ? THold::Model : THold::Drop;
    }
    switch (kind) {
    case pkWorkbook:
        if (id == etdefinedNames) return book.Formulas ? THold::Model : THold::Keep;
        return In(WorkbookModelIds, id) ? THold::Model : In(WorkbookKeptIds, id) ? THold::Keep : THold::Drop;
    case pkSheet:
        return In(SheetModelIds, id) ? THold::Model : In(SheetKeptIds, id) ? THold::Keep : THold::Drop;
    case pkStyles:
        return In(StylesModelIds, id) ? THold::Model : In(StylesKeptIds, id) ? THold::Keep : THold::Drop;
    case pkSharedStrings:
        return id == etsi ? THold::Model : THold::Drop;
    case pkPackageRels:
        return id == etRelationship ? THold::Model : THold::Drop;
    default:
        return THold::Model;
    }
}

// Past the package's budget what it would keep is left out, named in the
// warning of its part; so is everything kept after it.
void TXLS2007Reader::LeaveOut(std::string what) {
    KeepLeft = 0;
    if (std::find(leftOut.begin(), leftOut.end(), what) == leftOut.end()) leftOut.push_back(std::move(what));
}

bool TXLS2007Reader::TakeText(TExXMLTag& tag, int id, std::string& text) {
    text.clear();
    if (!HeldPastBudget()) text = tag.TakeText();
    if (!HeldPastBudget() && text.size() <= KeepLeft) {
        KeepLeft -= text.size();
        return true;
    }
    text.clear();
    LeaveOut(std::string(ElementName(id)));
    return false;
}

void TXLS2007Reader::KeepTag(TXLSSavedTags& tags, TExXMLTag& tag, int id) {
    std::string text;
    if (TakeText(tag, id, text)) tags.Add(std::move(text), id);
}

std::string TXLS2007Reader::KeptRootAttributes(const TExXMLTag& tag) {
    std::string text = RootAttributeText(tag);
    if (text.size() <= KeepLeft) {
        KeepLeft -= text.size();
        return text;
    }
    LeaveOut("the attributes of " + std::string(tag.Name));
    return {};
}

void TXLS2007Reader::WarnLeftOut(const std::string& part) {
    if (leftOut.empty()) return;
    std::string list;
    for (const std::string& what : leftOut) list += (list.empty() ? "" : ", ") + what;
    leftOut.clear();
    if (book.Warn)
        book.Warn("Part " + part + ": " + list +
                  " left out: what a package keeps of the elements the library " +
                  "does not read is at most " + std::to_string((keepBudget + (uint64_t(1) << 20) - 1) >> 20) +
                  " MiB together");
}

std::vector<TXLS2007Reader::TRel> TXLS2007Reader::ReadRelations(const std::string& part,
                                                                TXMLRelations* keep) {
    std::vector<TRel> found;
    const std::string name = RelationshipsPartName(part);
    if (zip.IndexOf(name) < 0) return found;
    const std::string text = zip.Extract(name);
    kind = pkPackageRels;
    partName = name;
    std::vector<TRel>* saved = relations;
    relations = &found;
    keepList = keep;
    try {
        TXLSExcelXmlReader::ReadPart(text, name);
    } catch (const XLSError& e) {
        relations = saved;
        keepList = nullptr;
        kind = pkNone;
        DropChildren(Root());
        throw XLSError(std::string(e.what()) + " (" + name + ")");
    }
    relations = saved;
    keepList = nullptr;
    kind = pkNone;
    DropChildren(Root());
    return found;
}

bool TXLS2007Reader::TopLevel(const TExXMLTag& tag) const {
    return tag.Parent && tag.Parent->Parent && !tag.Parent->Parent->Parent;
}

void TXLS2007Reader::OnTagStart(int id, TExXMLTag& tag) {
    // The root's own attributes (namespace declarations) are kept.
    if (tag.Parent && !tag.Parent->Parent) {
        if (kind == pkWorkbook) book.Book->SavedTags.RootAttributes = KeptRootAttributes(tag);
        if (kind == pkSheet) current->PackageData().SavedTags.RootAttributes = KeptRootAttributes(tag);
        if (kind == pkStyles) book.Book->StyleRootAttributes = KeptRootAttributes(tag);
        return;
    }
    if (kind == pkSheet && id == etrow) ReadRow(tag);
    if (kind == pkSheet && id == etis && tag.Parent && tag.Parent->Id == etc) inlineText.Clear();
    if (kind == pkSharedStrings && id == etsi && TopLevel(tag)) sharedText.Clear();
}

bool TXLS2007Reader::OnTag(int id, TExXMLTag& tag) {
    switch (kind) {
    case pkPackageRels:
        if (id != etRelationship) return false;
        {
            std::string_view type = tag.ReqText(eaType);
            TRel r;
            r.Id = tag.GetTextUtf8(eaId);
            r.TypeName = XMLDecodeTextUtf8(type);
            r.Target = tag.GetTextUtf8(eaTarget);
            std::string_view mode = tag.GetText(eaTargetMode);
            if (!mode.empty() && mode != "Internal" && mode != "External")
                throw XLSError("Unknown Relation TargetMode");
            r.External = mode == "External";
            if (keepList && keepList->KeepRelation(r.TypeName)) {
                tag.ReqText(eaId);
                tag.ReqText(eaTarget);
                TXMLRelation& kept = keepList->Add(r.Id);
                if (dynamic_cast<TXMLRelationsWorkbook*>(keepList))
                    TXMLRelationsWorkbook::SetWorkbookType(kept, r.TypeName);
                else
                    TXMLRelations::SetType(kept, r.TypeName);
                kept.Target = r.Target;
                kept.TargetMode = mode.empty() ? 0 : mode == "Internal" ? 1 : 2;
            }
            relations->push_back(std::move(r));
        }
        return true;
    case pkWorkbook:
        return WorkbookTag(id, tag);
    case pkStyles:
        return StylesTag(id, tag);
    case pkSheet:
        return SheetTag(id, tag);
    case pkSharedStrings:
        return StringsTag(id, tag);
    case pkTheme:
        return ThemeTag(tag);
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Workbook

bool TXLS2007Reader::WorkbookTag(int id, TExXMLTag& tag) {
    TXLSXBookData& bd = *book.Book;
    if (id == etsheet && tag.Parent && tag.Parent->Id == etsheets) {
        std::string_view name = tag.ReqText(eaname);
        std::string relId = tag.GetTextUtf8(ear_id);
        std::string state(tag.GetText(eastate));
        auto found = workbookRelById.find(relId);
        const TRel* rel = found == workbookRelById.end() ? nullptr : &workbookRels[found->second];
        const std::string type = rel ? LastSegment(rel->TypeName) : std::string();
        const bool macro = type == "xlMacrosheet" || type == "xlIntlMacrosheet";
        ++sheetsListed;
        // A sheet without its relationship, or whose relationship leads to
        // no sheet (the styles, say), has no part: other readers pass it
        // over, and so does this one.
        if (type != "worksheet" && !macro && type != "dialogsheet" && type != "chartsheet") {
            if (book.Warn)
                book.Warn("Sheet '" + XMLDecodeTextUtf8(name) + "' left out: " +
                          (rel ? "its relationship " + relId + " leads to no sheet (" + type + ")"
                               : "the workbook has no relationship " + relId));
            return true;
        }
        if (type == "worksheet" || macro || type == "dialogsheet") {
            // Macro and dialog sheets are read for their values; their parts
            // go back as they were.
            TSheet& sheet = book.Sheets->Add(macro ? 2 : 0);
            if (type != "worksheet") sheet.PackageData().KeptRelationId = relId;
            sheet.SetReadName(XMLDecodeText(name));
            sheet.Hidden = state == "hidden"       ? THiddenState::hsHidden
                           : state == "veryHidden" ? THiddenState::hsVeryHidden
                                                   : THiddenState::hsVisible;
            sheetParts.push_back(
                {&sheet, rel->External ? std::string() : ResolvePartName(workbookPart, rel->Target)});
            modelSheetAt[sheetsListed - 1] = book.Sheets->Count() - 1;
        } else {
            bd.KeptSheets.push_back({sheetCount, std::string(name), state, relId});
        }
        ++sheetCount;
        return true;
    }
    if (id == etdefinedName && book.Formulas) {
        ReadDefinedName(tag);
        return true;
    }
    if (id == etexternalReference) {
        std::string relId = tag.GetTextUtf8(ear_id);
        bd.ExtRelations.AddRef(bd.Relations.Find(relId, true));
        return true;
    }
    if (!TopLevel(tag)) return false;
    if (id == etworkbookPr && book.Globals) book.Globals->SetDateMode(tag.GetBool(eadate1904, false));
    if (In(WorkbookKeptIds, id)) {
        KeepTag(bd.SavedTags, tag, id);
        return true;
    }
    switch (id) {
    case etsheets:
    case etexternalReferences:
        bd.SavedTags.AddMarker(id);
        return true;
    case etdefinedNames:
        if (book.Formulas)
            bd.SavedTags.AddMarker(id);
        else
            KeepTag(bd.SavedTags, tag, id);
        return true;
    case etcalcPr:
        bd.CalcId = int(std::clamp<int64_t>(tag.GetInt(eacalcId, 0), 0, INT32_MAX));
        bd.FullCalcOnLoad = tag.GetBool(eafullCalcOnLoad, false);
        return true;
    default:
        return true;
    }
}

// A defined name: its sheet (for a local one) counts the package's sheets,
// the model's counts its own.
void TXLS2007Reader::ReadDefinedName(TExXMLTag& tag) {
    TInternalName& n = book.Formulas->Names().Add();
    // Texts in the package's escape of what XML cannot carry.
    n.SetName(DecodeXString(XMLDecodeText(tag.ReqText(eaname))));
    n.Comment = DecodeXString(tag.GetTextW(eacomment));
    static constexpr int texts[] = {eacustomMenu, eadescription, eahelp, eastatusbar};
    for (int i = 0; i < 4; ++i) n.Texts[i] = DecodeXString(tag.GetTextW(texts[i]));
    n.ShortcutKey = DecodeXString(tag.GetTextW(eashortcutKey));
    if (tag.HasValue(ealocalSheetId)) {
        auto it = modelSheetAt.find(int(std::clamp<int64_t>(tag.GetInt(ealocalSheetId, 0), 0, INT32_MAX)));
        n.SheetNumber = uint16_t(it != modelSheetAt.end() ? it->second + 1 : 0);
    }
    if (tag.GetBool(eahidden, false)) n.Options |= noHidden;
    if (tag.GetBool(eafunction, false)) n.Options |= noFunction;
    if (tag.GetBool(eavbProcedure, false)) n.Options |= noVBAProcedure;
    n.SetFunctionGroup(int(std::clamp<int64_t>(tag.GetInt(eafunctionGroupId, 0), 0, 63)));
    n.Xlm = tag.GetBool(eaxlm, false);
    n.PublishToServer = tag.GetBool(eapublishToServer, false);
    n.WorkbookParameter = tag.GetBool(eaworkbookParameter, false);
    n.FormulaText = tag.GetTextDecoded();
    n.Loaded = true;
}

// ---------------------------------------------------------------------------
// Styles

void TXLS2007Reader::ReadXf(TExXMLTag& xf, TCellFormatEx12& f, bool cellVariant) {
    TCellFormats& pool = *book.Formats;
    TXFonts& fonts = *book.Fonts;
    int64_t numFmt = xf.GetInt(eanumFmtId, 0);
    if (numFmt >= 0 && numFmt <= 0xFFFF) f.SetNumberFormatIndex(int(numFmt));
    int64_t fontId = xf.GetInt(eafontId, 0);
    if (fontId >= 4 && book.Book->FontGap) ++fontId;
    f.SetHeldFont(fonts.GetItem(fontId >= 0 && fontId < fonts.Count() ? int(fontId) : 0));
    int64_t fillId = xf.GetInt(eafillId, 0);
    if (fillId >= 0 && fillId < pool.Fills().Count()) f.SetFill(pool.Fills().GetItem(int(fillId)));
    int64_t borderId = xf.GetInt(eaborderId, 0);
    if (borderId >= 0 && borderId < pool.Borders().Count())
        f.SetBorder(pool.Borders().GetItem(int(borderId)));
    if (cellVariant && xf.HasValue(eaxfId))
        f.StyleXfId =
            int(std::clamp<int64_t>(xf.GetInt(eaxfId, 0), 0, std::max(book.StyleFormats->Count() - 1, 0)));
    f.ApplyMask = ReadApplyMask(xf);
    f.QuotePrefix = xf.GetBool(eaquotePrefix, false);
    f.PivotButton = xf.GetBool(eapivotButton, false);
    f.MirrorToBody();
    if (TExXMLTag* a = xf.FindChild(etalignment)) {
        f.HasAlignment = true;
        f.SetHorizAlignment(a->GetEnum(eahorizontal, HorizAlignmentNames(), 0));
        f.SetVertAlignment(a->GetEnum(eavertical, VertAlignmentNames(), 2));
        int rot = int(std::clamp<int64_t>(a->GetInt(eatextRotation, 0), 0, 255));
        if (rot <= 180 || rot == 255) f.SetRotation(rot > 90 && rot <= 180 ? -(rot - 90) : rot);
        f.SetWrapShrink((a->GetBool(eawrapText, false) ? 1 : 0) | (a->GetBool(eashrinkToFit, false) ? 2 : 0));
        f.Indent = int(std::clamp<int64_t>(a->GetInt(eaindent, 0), 0, 255));
        f.SetIndent(std::min(f.Indent, 15));
        f.RelativeIndent = int(std::clamp<int64_t>(a->GetInt(earelativeIndent, 0), -255, 255));
        f.JustifyLastLine = a->GetBool(eajustifyLastLine, false);
    }
    if (TExXMLTag* p = xf.FindChild(etprotection)) {
        f.HasProtection = true;
        f.SetProtection((p->GetBool(ealocked, true) ? 1 : 0) | (p->GetBool(eahidden, false) ? 2 : 0));
    }
}

namespace {
void ReadBorderSide(TExXMLTag& border, int elementId, TBorderLine& line, const TThemeColors& theme) {
    TExXMLTag* side = border.FindChild(elementId);
    line.Present = side != nullptr;
    if (!side) return;
    line.Style = uint8_t(side->GetEnum(eastyle, BorderStyleNames(), 0));
    line.Color = ReadColor(side->FindChild(etcolor), theme);
}

void ReadBorder(TExXMLTag& b, TBorder& border, const TThemeColors& theme) {
    border.Flags = uint8_t((b.GetBool(eadiagonalDown, false) ? TBorder::bfDiagonalDown : 0) |
                           (b.GetBool(eadiagonalUp, false) ? TBorder::bfDiagonalUp : 0) |
                           (b.GetBool(eaoutline, false) ? TBorder::bfOutline : 0));
    static constexpr std::pair<int, int> sides[] = {{etleft, TBorder::bsLeft},
                                                    {ettop, TBorder::bsTop},
                                                    {etright, TBorder::bsRight},
                                                    {etbottom, TBorder::bsBottom},
                                                    {etdiagonal, TBorder::bsDiagonal},
                                                    {etvertical, TBorder::bsVertical},
                                                    {ethorizontal, TBorder::bsHorizontal}};
    for (auto [element, side] : sides) ReadBorderSide(b, element, border.Sides[size_t(side)], theme);
    // "start" and "end" are the left and right of newer writers.
    static constexpr std::pair<std::string_view, int> logical[] = {{"start", TBorder::bsLeft},
                                                                   {"end", TBorder::bsRight}};
    for (auto [name, side] : logical) {
        TBorderLine& line = border.Sides[size_t(side)];
        if (line.Present) continue;
        if (TExXMLTag* s = b.FindChildByName(name)) {
            line.Present = true;
            line.Style = uint8_t(s->GetEnum(eastyle, BorderStyleNames(), 0));
            line.Color = ReadColor(s->FindChild(etcolor), theme);
        }
    }
}
} // namespace

TXFont* TXLS2007Reader::AddFont(const TXFontEx12& font) {
    // A binary workbook has no font 4: the pool keeps a placeholder there,
    // so that a copy as .xls keeps the fifth font.
    if (book.Fonts->Count() == 4) {
        book.Fonts->Add();
        book.Book->FontGap = true;
    }
    return book.Fonts->AddEx12(font);
}

// The pool's 21 defaults stand before the package's cell formats.
void TXLS2007Reader::PrepareCellFormats() {
    TCellFormats& pool = *book.Formats;
    if (pool.Count() >= 21) return;
    if (book.Fonts->Count() == 0) book.Fonts->AddDefaults();
    while (pool.Count() > 0) pool.Delete(pool.Count() - 1);
    pool.AddDefaults();
}

bool TXLS2007Reader::StyleItem(int section, int id, TExXMLTag& tag) {
    TCellFormats& pool = *book.Formats;
    switch (section) {
    case etnumFmts:
        if (id != etnumFmt) return false;
        {
            int64_t fmtId = tag.ReqInt(eanumFmtId);
            std::u16string code = DecodeXString(XMLDecodeText(tag.ReqText(eaformatCode)));
            if (fmtId >= 0 && fmtId <= 0xFFFF) numberFormats.emplace_back(int(fmtId), std::move(code));
        }
        return true;
    case etfonts:
        if (id != etfont) return false;
        {
            TXFontEx12 font;
            ReadFont(tag, font, theme);
            AddFont(font);
        }
        return true;
    case etfills:
        if (id != etfill) return false;
        {
            TFill& fill = *pool.Fills().Add();
            if (TExXMLTag* p = tag.FindChild(etpatternFill)) {
                fill.PatternType = uint8_t(p->GetEnum(eapatternType, FillPatternNames(), 0));
                fill.FgColor = ReadColor(p->FindChild(etfgColor), theme);
                fill.BgColor = ReadColor(p->FindChild(etbgColor), theme);
            } else if (TExXMLTag* g = tag.FindChild(etgradientFill)) {
                fill.SetGradient(true);
                TGradientFill& gf = *fill.Gradient;
                gf.Path = g->GetText(eatype, "linear") != "linear";
                gf.Degree = g->GetFloat(eadegree, 0);
                static constexpr int edges[] = {ealeft, earight, eatop, eabottom};
                for (int e = 0; e < 4; ++e)
                    if (g->HasValue(edges[e])) gf.SetEdge(e, g->GetFloat(edges[e], 0));
                for (TExXMLTag* st : g->Children)
                    if (st->Id == etstop)
                        gf.Stops.push_back(
                            {st->ReqFloat(eaposition), ReadColor(st->FindChild(etcolor), theme)});
            }
        }
        return true;
    case etborders:
        if (id != etborder) return false;
        ReadBorder(tag, *pool.Borders().Add(), theme);
        return true;
    case etcellStyleXfs:
        if (id != etxf) return false;
        ReadXf(tag, *book.StyleFormats->AddEx12(), false);
        return true;
    case etcellXfs:
        if (id != etxf) return false;
        PrepareCellFormats();
        ReadXf(tag, *pool.AddEx12(), true);
        return true;
    case etcellStyles:
        if (id != etcellStyle) return false;
        {
            TEx12CellStyle& style = book.CellStyles->Add();
            style.BuiltinId = int(std::clamp<int64_t>(tag.GetInt(eabuiltinId, -1), -1, 255));
            style.CustomBuiltin = tag.GetBool(eacustomBuiltin, false);
            style.Hidden = tag.GetBool(eahidden, false);
            style.ILevel = int(std::clamp<int64_t>(tag.GetInt(eaiLevel, -1), -1, 255));
            style.XfId = int(std::clamp<int64_t>(tag.GetInt(eaxfId, 0), 0, INT32_MAX));
            style.Name = DecodeXString(tag.GetTextW(eaname));
        }
        return true;
    default:
        return false;
    }
}

// Each item of a section as it ends, so that the tree holds one at a time.
bool TXLS2007Reader::StylesTag(int id, TExXMLTag& tag) {
    if (tag.Parent && TopLevel(*tag.Parent)) return StyleItem(tag.Parent->Id, id, tag);
    if (!TopLevel(tag)) return false;
    TXLSXBookData& bd = *book.Book;
    switch (id) {
    case etnumFmts: {
        // In the order of their ids, each one finds the list sorted; of two
        // with one id the later one's text stands.
        std::stable_sort(numberFormats.begin(), numberFormats.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        TNumberFormats& list = book.Formats->NumberFormats();
        list.Sort();
        for (const auto& [fmtId, code] : numberFormats) list.AddXLSX(code, fmtId);
        numberFormats.clear();
        list.Sort();
        return true;
    }
    case etcellXfs:
        PrepareCellFormats();
        return true;
    case etdxfs:
        TakeText(tag, id, bd.StyleFragments[0]);
        return true;
    case ettableStyles:
        TakeText(tag, id, bd.StyleFragments[1]);
        return true;
    case etcolors:
        TakeText(tag, id, bd.StyleFragments[2]);
        return true;
    default:
        return true;
    }
}

// ---------------------------------------------------------------------------
// Theme

namespace {
std::string_view ValueNamed(const TExXMLTag& tag, std::string_view name) {
    for (const TExXMLTag::TValue& v : tag.Values)
        if (LocalPart(v.Name) == name) return v.Raw;
    return {};
}
} // namespace

// A colour of the theme's colour scheme: its RGB value, or the last colour
// of a system colour. Everything else is dropped as it ends.
bool TXLS2007Reader::ThemeTag(TExXMLTag& tag) {
    static constexpr std::string_view slots[] = {"lt1",     "dk1",     "lt2",     "dk2",
                                                 "accent1", "accent2", "accent3", "accent4",
                                                 "accent5", "accent6", "hlink",   "folHlink"};
    auto inScheme = [](const TExXMLTag* t) {
        return t && t->Parent && LocalPart(t->Parent->Name) == "clrScheme";
    };
    // The colour elements wait for their slot.
    if (inScheme(tag.Parent)) return false;
    if (!inScheme(&tag)) return true;
    const std::string_view name = LocalPart(tag.Name);
    for (size_t i = 0; i < std::size(slots); ++i) {
        if (name != slots[i]) continue;
        std::string_view value;
        if (const TExXMLTag* rgb = tag.FindChildByName("srgbClr"))
            value = ValueNamed(*rgb, "val");
        else if (const TExXMLTag* sys = tag.FindChildByName("sysClr"))
            value = ValueNamed(*sys, "lastClr");
        if (value.size() == 6 && value.find_first_not_of("0123456789abcdefABCDEF") == value.npos)
            theme[i] = HexToInt(value) & 0xFFFFFF;
        break;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Shared strings

void TXLS2007Reader::TTextRead::Clear() {
    Pieces.clear();
    Kept = Length = 0;
    Rich = false;
}

bool TXLS2007Reader::TTextRead::Takes(size_t n) const {
    return n > 0 && Kept < size_t(MaxReadStringLength);
}

// A piece without characters shows nothing in any font; past what a cell
// holds only the length counts.
void TXLS2007Reader::TTextRead::Add(std::u16string_view text, int font) {
    const bool takes = Takes(text.size());
    Length += text.size();
    if (!takes) return;
    text = CutWhole(text, size_t(MaxReadStringLength) - Kept);
    Kept += text.size();
    Pieces.emplace_back(text, font);
}

std::u16string TXLS2007Reader::TTextRead::Text() const {
    std::u16string text;
    text.reserve(Kept);
    for (const auto& piece : Pieces) text += piece.first;
    return text;
}

void TXLS2007Reader::ReadStringPiece(TExXMLTag& piece, TTextRead& text, bool rich) {
    const TExXMLTag* t = piece.Id == ett ? &piece : piece.FindChild(ett);
    const std::u16string value = t ? DecodeXString(t->GetTextDecoded()) : std::u16string();
    if (piece.Id != etr) {
        text.Add(value, 0);
        return;
    }
    text.Rich = true;
    int font = 0;
    TExXMLTag* rPr = rich && text.Takes(value.size()) ? piece.FindChild(etrPr) : nullptr;
    if (rPr) {
        TXFontEx12 probe;
        ReadFont(*rPr, probe, theme);
        TXFonts& fonts = *book.Fonts;
        // A run that names no font or size (gnumeric writes those) has the
        // workbook's.
        if (const TXFont* standard = fonts.GetItem(0)) {
            if (!rPr->FindChild(etrFont) && !rPr->FindChild(etname)) probe.Name = standard->Name;
            if (!rPr->FindChild(etsz)) probe.Height = standard->Height;
            probe.ResetHash();
        }
        TXFont* found = fonts.FindEqual(probe);
        // A run font the cell formats do not use joins the pool.
        if (!found) found = AddFont(probe);
        font = found->PoolIndex;
    }
    text.Add(value, font);
}

void TXLS2007Reader::AddSharedString() {
    if (sharedText.Length > size_t(MaxReadStringLength))
        cutStrings[book.Strings->ReadCount()] = sharedText.Length;
    if (sharedText.Rich) {
        TXLSWideStringList pieces;
        for (const auto& [text, font] : sharedText.Pieces) pieces.AddWithValue(text, font);
        book.Strings->AddFormattedStringRead(pieces);
    } else {
        book.Strings->AddStringRead(sharedText.Text());
    }
    sharedText.Clear();
}

// An "si" and its text and runs, each as it ends: a string of a million
// runs takes the memory of what a cell holds of it.
bool TXLS2007Reader::StringsTag(int id, TExXMLTag& tag) {
    if (id == etsi && TopLevel(tag)) {
        AddSharedString();
        return true;
    }
    if ((id == ett || id == etr) && tag.Parent && tag.Parent->Id == etsi && TopLevel(*tag.Parent)) {
        ReadStringPiece(tag, sharedText, true);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Worksheet

int TXLS2007Reader::CellFormat(int64_t s) const {
    int64_t f = s + 21;
    return s >= 0 && f < book.Formats->Count() ? int(f) : DefaultCellFormat;
}

void TXLS2007Reader::ReadRow(TExXMLTag& row) {
    int64_t r = lastRow + 1;
    if (const TExXMLTag::TValue* v = row.Find(ear)) {
        if (!ParseXMLInt(v->Raw, r) || r < 0 || r > MaxRows)
            throw XLSError("Invalid value of r: \"" + std::string(v->Raw.substr(0, 40)) + "\"");
        // Row 0 does not exist: its cells are passed over, as other readers do.
        skipRow = r == 0;
        if (skipRow) return;
        --r;
    } else {
        skipRow = false;
    }
    if (r >= MaxRows) throw XLSError("Row number out of range");
    lastRow = r;
    lastCol = -1;
    const bool custom = row.GetBool(eacustomHeight, false);
    const bool hidden = row.GetBool(eahidden, false);
    const bool formatted = row.GetBool(eacustomFormat, false) || row.GetInt(eas, 0) > 0;
    const int64_t level = std::clamp<int64_t>(row.GetInt(eaoutlineLevel, 0), 0, 7);
    const bool collapsed = row.GetBool(eacollapsed, false);
    // Rows with nothing of their own take no memory.
    if (!custom && !hidden && !formatted && level == 0 && !collapsed) return;
    TXLSRow& rec = current->Rows().Add(uint32_t(r));
    if (custom || row.HasValue(eaht)) {
        double ht = std::clamp(row.GetFloat(eaht, 12.75), 0.0, 409.5);
        rec.Height = uint16_t(std::lround(ht * 20));
        if (custom) rec.Flags |= TXLSRow::CustomHeightBit;
    }
    if (hidden) rec.Flags |= TXLSRow::HiddenBit;
    if (collapsed) rec.Flags |= TXLSRow::CollapsedBit;
    rec.SetOutlineLevel(uint8_t(level));
    if (formatted) {
        rec.SetFormatIndex(CellFormat(row.GetInt(eas, 0)));
        rec.Flags |= TXLSRow::FormattedBit;
    }
}

void TXLS2007Reader::ReadCols(TExXMLTag& col) {
    int64_t first = col.ReqInt(eamin), last = col.ReqInt(eamax);
    if (first < 1 || first > MaxCols || last < first) return;
    last = std::min<int64_t>(last, MaxCols);
    // Column ranges of a sheet do not overlap: more column settings than a
    // few times the columns there are come from a broken part, and are not
    // worth the time.
    columnsSet += last - first + 1;
    if (columnsSet > 4 * int64_t(MaxCols)) return;
    TXLSColumns& cols = current->Columns();
    const int width = int(std::clamp<double>(std::lround(col.GetFloat(eawidth, 10.0) * 256), 0, 65535));
    const bool hidden = col.GetBool(eahidden, false), collapsed = col.GetBool(eacollapsed, false);
    const bool customWidth = col.GetBool(eacustomWidth, false);
    const int level = int(std::clamp<int64_t>(col.GetInt(eaoutlineLevel, 0), 0, 7));
    const int format = col.HasValue(eastyle) ? CellFormat(col.GetInt(eastyle, 0)) : DefaultCellFormat;
    cols.AddColumns(int(first - 1), int(last - first + 1));
    for (int c = int(first - 1); c < int(last); ++c) {
        TXLSColumn& column = *cols[c];
        column.SetWidth(width);
        column.Hidden = hidden;
        column.Collapsed = collapsed;
        column.CustomWidth = customWidth;
        column.SetOutlineLevel(level);
        if (format != DefaultCellFormat) column.SetFormatIndex(format);
    }
}

// An inline string with fonts of its own keeps them, as a shared string.
void TXLS2007Reader::PutRichInline(TSheet& sheet, int col, int row, int format) {
    TXLSWideStringList pieces;
    for (const auto& [piece, font] : inlineText.Pieces) pieces.AddWithValue(piece, font);
    book.Strings->AddFormattedStringRead(pieces);
    sheet.PutSSTString(col, row, format, book.Strings->ReadCount() - 1);
}

namespace {

// A "v" as a number: 0 when there is none or it is not one.
bool NumberOf(const TExXMLTag* v, double& d) {
    d = 0;
    return v && ParseXMLFloat(v->Text, d);
}

// The error a "v" names; one it does not name reads as #N/A.
int ErrorIndexOf(const TExXMLTag* v) {
    int e = v ? ErrorTextToIndex(v->GetTextDecoded(), true) : 0;
    return e > 0 ? e : 7;
}

TCellType FormulaKind(std::string_view type) {
    if (type == "b") return ctBooleanFormula;
    if (type == "e") return ctErrorFormula;
    if (type == "str" || type == "inlineStr" || type == "s") return ctStringFormula;
    return ctNumberFormula;
}

uint64_t CellKey(int col, int row) {
    return uint64_t(row) << 16 | uint64_t(col);
}

} // namespace

bool TXLS2007Reader::PlaceCell(TExXMLTag& c, int& col, int& row) {
    if (const TExXMLTag::TValue* r = c.Find(ear)) {
        if (skipRow || IsRowZero(r->Raw)) return false;
        c.ReqCellRef(ear, col, row);
    } else if (skipRow) {
        return false;
    } else {
        // Without a reference a cell follows the one before it in its row.
        col = lastCol + 1;
        row = int(std::max<int64_t>(lastRow, 0));
        if (col >= MaxCols) throw XLSError("Column number out of range");
    }
    lastCol = col;
    return true;
}

// An inline string's "is" (read as its pieces ended) wins over a "v" beside it.
std::u16string TXLS2007Reader::CellString(const TCellRead& cell) const {
    return cell.Is ? inlineText.Text() : cell.V ? DecodeXString(cell.V->GetTextDecoded()) : std::u16string();
}

TFormulaResult TXLS2007Reader::CachedResult(const TCellRead& cell) const {
    TFormulaResult result;
    switch (FormulaKind(cell.Type)) {
    case ctBooleanFormula:
        result.Boolean = cell.V && cell.V->GetTextBool() ? 1 : 0;
        break;
    case ctErrorFormula:
        result.ErrorCode = ErrorIndexToCode(ErrorIndexOf(cell.V));
        break;
    case ctStringFormula:
        if (cell.Type == "s" && cell.V) {
            int64_t index = cell.V->GetTextInt();
            TSSTEntry* e = index >= 0 && index < sharedCount ? book.Strings->GetEntry(int(index)) : nullptr;
            result.Text = e ? e->Text() : std::u16string();
        } else {
            result.Text = CellString(cell);
        }
        break;
    default:
        NumberOf(cell.V, result.Number);
        break;
    }
    return result;
}

void TXLS2007Reader::KeepSharedAnchor(const TCellRead& cell, int64_t si) {
    const TExXMLTag& f = *cell.F;
    const std::string ref = f.GetTextUtf8(earef);
    current->PackageData().SharedAreas[int(si)] = ref;
    // Where the members find their anchor's formula.
    TCellValues& store = current->Cells();
    if (store.StringList.size() <= size_t(si)) store.StringList.resize(size_t(si) + 1);
    if (store.SharedAnchors.size() <= size_t(si)) store.SharedAnchors.resize(size_t(si) + 1, {-1, -1});
    store.StringList[size_t(si)] = Utf8ToWide(ref);
    store.SharedAnchors[size_t(si)] = {cell.Col, cell.Row};
}

bool TXLS2007Reader::PutFormulaCell(const TCellRead& cell) {
    const TExXMLTag& f = *cell.F;
    uint8_t options = 0;
    static constexpr std::pair<int, uint8_t> flags[] = {{eaaca, 1},   {eabx, 2},    {eaca, 4},  {eadel1, 8},
                                                        {eadel2, 16}, {eadt2D, 32}, {eadtr, 64}};
    for (auto [attr, bit] : flags)
        if (f.GetBool(attr, false)) options |= bit;
    std::string_view ft = f.GetText(eat, "normal");
    uint16_t shared = NoSharedFormula;
    std::string text = XMLDecodeTextUtf8(f.Text);
    TXLSXSheetData& sd = current->PackageData();
    if (ft == "shared") {
        int64_t si = f.GetInt(easi, -1);
        if (si >= 0 && si < NoSharedFormula) {
            shared = uint16_t(si);
            if (f.HasValue(earef) && !text.empty()) KeepSharedAnchor(cell, si);
        }
    } else if (ft == "array") {
        options |= KeptArrayFormula;
        // Without its area the array is its own cell (the writer's default).
        if (std::string ref = f.GetTextUtf8(earef); !ref.empty())
            sd.ArrayAreas[CellKey(cell.Col, cell.Row)] = std::move(ref);
    } else if (ft == "dataTable" || text.empty()) {
        // No formula text to keep: the cell keeps its value.
        return false;
    }
    const bool uncached = !cell.V || cell.V->Text.empty();
    if (uncached) sd.Uncached.insert(CellKey(cell.Col, cell.Row));
    current->PutFormulaText(FormulaKind(cell.Type), cell.Col, cell.Row, cell.Format, text, shared, options,
                            uncached ? std::nullopt : std::optional(CachedResult(cell)));
    return true;
}

void TXLS2007Reader::PutNumberCell(TSheet& sheet, const TCellRead& cell) {
    double d;
    if (NumberOf(cell.V, d))
        sheet.PutFloat(cell.Col, cell.Row, cell.Format, d);
    else
        sheet.PutBlank(cell.Col, cell.Row, cell.Format);
}

void TXLS2007Reader::PutSharedStringCell(TSheet& sheet, const TCellRead& cell) {
    int64_t index;
    if (!cell.V || !ParseXMLInt(cell.V->Text, index)) {
        sheet.PutBlank(cell.Col, cell.Row, cell.Format);
        return;
    }
    // An index past the strings the table holds reads as an empty text.
    if (index < 0 || index >= sharedCount) {
        sheet.PutString(cell.Col, cell.Row, cell.Format, u"");
        return;
    }
    sheet.PutSSTString(cell.Col, cell.Row, cell.Format, int(index));
    if (auto cut = cutStrings.find(index); cut != cutStrings.end()) NoteCut(cell.Col, cell.Row, cut->second);
}

void TXLS2007Reader::PutTextCell(TSheet& sheet, const TCellRead& cell) {
    if (!cell.V && !cell.Is) {
        sheet.PutBlank(cell.Col, cell.Row, cell.Format);
        return;
    }
    const std::u16string text = CellString(cell);
    if (cell.Is && inlineText.Rich)
        PutRichInline(sheet, cell.Col, cell.Row, cell.Format);
    else
        sheet.PutString(cell.Col, cell.Row, cell.Format, text);
    const size_t length = cell.Is ? inlineText.Length : text.size();
    if (length > size_t(MaxReadStringLength)) NoteCut(cell.Col, cell.Row, length);
}

void TXLS2007Reader::PutBooleanCell(TSheet& sheet, const TCellRead& cell) {
    if (cell.V)
        sheet.PutBoolean(cell.Col, cell.Row, cell.Format, cell.V->GetTextBool());
    else
        sheet.PutBlank(cell.Col, cell.Row, cell.Format);
}

void TXLS2007Reader::PutErrorCell(TSheet& sheet, const TCellRead& cell) {
    if (cell.V)
        sheet.PutError(cell.Col, cell.Row, cell.Format, ErrorIndexOf(cell.V));
    else
        sheet.PutBlank(cell.Col, cell.Row, cell.Format);
}

// A date that is not one keeps its text.
void TXLS2007Reader::PutDateCell(TSheet& sheet, const TCellRead& cell) {
    double serial;
    std::string iso = cell.V ? XMLDecodeTextUtf8(cell.V->Text) : std::string();
    if (iso.empty())
        sheet.PutBlank(cell.Col, cell.Row, cell.Format);
    else if (IsoDateToSerial(iso, book.Globals && book.Globals->GetDateMode(), serial))
        sheet.PutFloat(cell.Col, cell.Row, cell.Format, serial);
    else
        sheet.PutString(cell.Col, cell.Row, cell.Format, Utf8ToWide(iso));
}

void TXLS2007Reader::PutValueCell(const TCellRead& cell) {
    using TPut = void (TXLS2007Reader::*)(TSheet&, const TCellRead&);
    static constexpr std::pair<std::string_view, TPut> puts[] = {
        {"n", &TXLS2007Reader::PutNumberCell},  {"s", &TXLS2007Reader::PutSharedStringCell},
        {"str", &TXLS2007Reader::PutTextCell},  {"inlineStr", &TXLS2007Reader::PutTextCell},
        {"b", &TXLS2007Reader::PutBooleanCell}, {"e", &TXLS2007Reader::PutErrorCell},
        {"d", &TXLS2007Reader::PutDateCell}};
    for (auto [type, put] : puts)
        if (cell.Type == type) return (this->*put)(*current, cell);
    throw XLSError("Unknown Excel XML cell type: " + std::string(cell.Type.substr(0, 20)));
}

void TXLS2007Reader::ReadCell(TExXMLTag& c) {
    TCellRead cell;
    if (!PlaceCell(c, cell.Col, cell.Row)) return;
    cell.Format = CellFormat(c.GetInt(eas, 0));
    cell.Type = c.GetText(eat, "n");
    for (TExXMLTag* child : c.Children) switch (child->Id) {
        case etv:
            cell.V = child;
            break;
        case etf:
            cell.F = child;
            break;
        case etis:
            cell.Is = child;
            break;
        default:
            break;
        }
    if (cell.F && PutFormulaCell(cell)) return;
    PutValueCell(cell);
}

bool TXLS2007Reader::SheetTag(int id, TExXMLTag& tag) {
    TXLSXSheetData& sd = current->PackageData();
    switch (id) {
    case ett:
    case etr:
        // The pieces of an inline string, each as it ends.
        if (!tag.Parent || tag.Parent->Id != etis || !tag.Parent->Parent || tag.Parent->Parent->Id != etc)
            return false;
        ReadStringPiece(tag, inlineText, true);
        return true;
    case etc:
        if (!tag.Parent || tag.Parent->Id != etrow) return false;
        ReadCell(tag);
        return true;
    case etrow:
        return tag.Parent && tag.Parent->Id == etsheetData;
    case etcol:
        if (!tag.Parent || tag.Parent->Id != etcols) return false;
        ReadCols(tag);
        return true;
    case etmergeCell:
        if (!tag.Parent || tag.Parent->Id != etmergeCells) return false;
        {
            int c1, r1, c2, r2;
            tag.ReqArea(earef, c1, r1, c2, r2);
            current->MergedCells().AddAsRead(c1, r1, c2, r2);
        }
        return true;
    default:
        break;
    }
    if (!TopLevel(tag)) return false;
    switch (id) {
    case etsheetData:
    case etcols:
    case etmergeCells:
    case etdimension:
        sd.SavedTags.AddMarker(id);
        return true;
    default:
        if (In(SheetKeptIds, id)) {
            KeepTag(sd.SavedTags, tag, id);
            return true;
        }
        if (id == etUnknown && LocalPart(tag.Name) == "AlternateContent") ++sd.AlternateContents;
        return true;
    }
}

} // namespace xls

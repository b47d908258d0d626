#include "SrcXLS/formats/XLSXWriter.h"

#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formats/XLSXExternalLinks.h"
#include "SrcXLS/formats/XLSXKeptSheetNames.h"
#include "SrcXLS/formats/XLSXSheetRanges.h"
#include "SrcXLS/formats/XLSXSheetSettings.h"
#include "SrcXLS/formats/XLSXSheetWriter.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/formulas/LaterFunctions.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/CellFormatsEx12.h"
#include "SrcXLS/model/SST.h"
#include "SrcXLS/model/Sheet.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <tuple>

namespace xls {

namespace {

constexpr std::string_view MainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view RelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view PackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view Header = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

constexpr std::string_view CtMain =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
constexpr std::string_view CtMacroMain = "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
constexpr std::string_view CtWorksheet =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr std::string_view CtStyles =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
constexpr std::string_view CtStrings =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
constexpr std::string_view CtTheme = "application/vnd.openxmlformats-officedocument.theme+xml";
constexpr std::string_view CtCore = "application/vnd.openxmlformats-package.core-properties+xml";
constexpr std::string_view CtApp = "application/vnd.openxmlformats-officedocument.extended-properties+xml";
constexpr std::string_view CtRels = "application/vnd.openxmlformats-package.relationships+xml";

// Content types of the extensions a kept part may have when the kept
// content types do not name it.
std::string_view TypeOfExtension(std::string_view ext) {
    static const std::map<std::string_view, std::string_view> known = {
        {"rels", CtRels},
        {"xml", "application/xml"},
        {"bin", "application/vnd.openxmlformats-officedocument.spreadsheetml.printerSettings"},
        {"vml", "application/vnd.openxmlformats-officedocument.vmlDrawing"},
        {"png", "image/png"},
        {"jpeg", "image/jpeg"},
        {"jpg", "image/jpeg"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"emf", "image/x-emf"},
        {"wmf", "image/x-wmf"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    };
    auto it = known.find(ext);
    return it == known.end() ? std::string_view("application/octet-stream") : it->second;
}

std::string Extension(std::string_view part) {
    size_t slash = part.rfind('/'), dot = part.rfind('.');
    if (dot == part.npos || (slash != part.npos && dot < slash)) return {};
    return AsciiLower(part.substr(dot + 1));
}

// The Defaults and Overrides of a kept [Content_Types].xml.
struct TContentTypes {
    std::map<std::string, std::string> Defaults;  // by lower-case extension
    std::map<std::string, std::string> Overrides; // by lower-case part name without "/"
};

class TContentTypesReader : public TXLSExcelXmlReader {
public:
    TContentTypes Types;

protected:
    bool OnTag(int id, TExXMLTag& tag) override {
        if (id == etDefault)
            Types.Defaults[AsciiLower(tag.GetTextUtf8(eaExtension))] = tag.GetTextUtf8(eaContentType);
        else if (id == etOverride) {
            std::string part = tag.GetTextUtf8(eaPartName);
            if (!part.empty() && part.front() == '/') part.erase(0, 1);
            Types.Overrides[AsciiLower(part)] = tag.GetTextUtf8(eaContentType);
        }
        return id == etDefault || id == etOverride;
    }
};

// The relationships of a kept relationships part.
class TRelationsReader : public TXLSExcelXmlReader {
public:
    std::vector<TXMLRelation> Relations;

protected:
    bool OnTag(int id, TExXMLTag& tag) override {
        if (id != etRelationship) return true;
        TXMLRelation& r = Relations.emplace_back();
        r.Id = tag.GetTextUtf8(eaId);
        TXMLRelations::SetType(r, XMLDecodeTextUtf8(tag.GetText(eaType)));
        r.Target = tag.GetTextUtf8(eaTarget);
        std::string_view mode = tag.GetText(eaTargetMode);
        r.TargetMode = mode == "External" ? 2 : mode == "Internal" ? 1 : 0;
        return true;
    }
};

// The part a relationships part belongs to ("xl/drawings/drawing1.xml" of
// "xl/drawings/_rels/drawing1.xml.rels").
std::string SourceOfRelationships(std::string_view rels) {
    const size_t slash = rels.rfind("_rels/");
    if (slash == rels.npos || rels.size() < slash + 6 + 5) return {};
    std::string name(rels.substr(slash + 6));
    name.resize(name.size() - 5);
    return std::string(rels.substr(0, slash)) + name;
}

// A kept relationships part without its relationships to dropped parts
// (their Ids go to gone); empty when it has none (or cannot be read, and is
// copied as it is).
std::string KeptRelationsWithout(TXLSZipArchive& kept, int index, const std::set<std::string>& dropped,
                                 std::set<std::string>& gone) {
    const std::string name = kept.EntryName(index), source = SourceOfRelationships(name);
    TRelationsReader reader;
    try {
        reader.ReadPart(kept.ExtractIndex(index), name);
    } catch (const XLSError&) {
        return {};
    }
    TXMLRelations list;
    list.SetUnchecked();
    for (const TXMLRelation& r : reader.Relations) {
        if (r.TargetMode != 2 && dropped.count(AsciiLower(ResolvePartName(source, r.Target))))
            gone.insert(r.Id);
        else
            list.Add(r.Id) = r;
    }
    return gone.empty() ? std::string() : TXLS2007Writer::RelationshipsPart(list);
}

// The whole tree of a kept part.
class TTreeReader : public TXLSExcelXmlReader {
protected:
    bool OnTag(int, TExXMLTag&) override { return false; }
};

bool NamesAny(const TExXMLTag& tag, const std::set<std::string>& ids) {
    for (const TExXMLTag::TValue& v : tag.Values)
        if (v.Name.find(':') != v.Name.npos && ids.count(std::string(v.Raw))) return true;
    for (const TExXMLTag* c : tag.Children)
        if (NamesAny(*c, ids)) return true;
    return false;
}

// A kept part without the elements of its root (a drawing's anchors) that
// name relationships that are gone; empty when it cannot be read.
std::string KeptPartWithout(TXLSZipArchive& kept, int index, const std::set<std::string>& gone, int& left) {
    const std::string text = kept.ExtractIndex(index);
    TTreeReader reader;
    try {
        reader.ReadPart(text, kept.EntryName(index));
    } catch (const XLSError&) {
        return {};
    }
    if (reader.Root().Children.empty()) return {};
    const TExXMLTag& top = *reader.Root().Children.front();
    std::string out(Header);
    out += '<';
    out += top.Name;
    for (const TExXMLTag::TValue& v : top.Values) {
        out += ' ';
        out += v.Name;
        out += "=\"";
        out += v.Raw;
        out += '"';
    }
    out += '>';
    out += top.Text;
    for (const TExXMLTag* c : top.Children)
        if (NamesAny(*c, gone))
            ++left;
        else
            c->AppendText(out);
    out += "</";
    out += top.Name;
    out += '>';
    return out;
}

void AppendAttr(std::string& out, std::string_view name, std::string_view utf8) {
    out += ' ';
    out += name;
    out += "=\"";
    XMLAppendEscaped(out, utf8);
    out += '"';
}

// A text of the model, through the package's escape.
void AppendAttr(std::string& out, std::string_view name, std::u16string_view text) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendPackageText(out, text);
    out += '"';
}

void AppendAttr(std::string& out, std::string_view name, int64_t value) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendXMLInt(out, value);
    out += '"';
}

bool IsDefaultPaletteColor(int index) {
    return index < 0 || index >= PaletteSize ||
           LibState().Palette[size_t(index)] == DefaultPalette()[size_t(index)];
}

// A palette colour of a BIFF format: by index while the palette is the
// default one, else by its value.
TExtColor PaletteColor(int index) {
    TExtColor c;
    if (IsDefaultPaletteColor(index)) {
        c.Kind = eckIndexed;
        c.Index = uint8_t(std::clamp(index, 0, 255));
    } else {
        uint32_t bgr = LibState().Palette[size_t(index)];
        c.Kind = eckRGB;
        c.Value = ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
    }
    return c;
}

TExtColor NoColor() {
    TExtColor c;
    c.Kind = eckNotSet;
    return c;
}

// The order of the elements of workbook.xml and of a worksheet part.
constexpr int WorkbookOrder[] = {etfileVersion,    etfileSharing,
                                 etworkbookPr,     etworkbookProtection,
                                 etbookViews,      etsheets,
                                 etfunctionGroups, etexternalReferences,
                                 etdefinedNames,   etcalcPr,
                                 etoleSize,        etcustomWorkbookViews,
                                 etpivotCaches,    etsmartTagPr,
                                 etsmartTagTypes,  etwebPublishing,
                                 etfileRecoveryPr, etwebPublishObjects,
                                 etextLst};
constexpr int WorksheetOrder[] = {etsheetPr,
                                  etdimension,
                                  etsheetViews,
                                  etsheetFormatPr,
                                  etcols,
                                  etsheetData,
                                  etsheetCalcPr,
                                  etsheetProtection,
                                  etprotectedRanges,
                                  etscenarios,
                                  etautoFilter,
                                  etsortState,
                                  etdataConsolidate,
                                  etcustomSheetViews,
                                  etmergeCells,
                                  etphoneticPr,
                                  etconditionalFormatting,
                                  etdataValidations,
                                  ethyperlinks,
                                  etprintOptions,
                                  etpageMargins,
                                  etpageSetup,
                                  etheaderFooter,
                                  etrowBreaks,
                                  etcolBreaks,
                                  etcustomProperties,
                                  etcellWatches,
                                  etignoredErrors,
                                  etsmartTags,
                                  etdrawing,
                                  etlegacyDrawing,
                                  etlegacyDrawingHF,
                                  etpicture,
                                  etoleObjects,
                                  etcontrols,
                                  etwebPublishItems,
                                  ettableParts,
                                  etextLst};

} // namespace

// ---------------------------------------------------------------------------
// Styles

// Fills and borders that BIFF formats get: one per distinct look.
struct TXLS2007Writer::TStyleMap {
    std::map<std::tuple<int, int, int>, int> Fills; // pattern, fore, back -> generated position
    std::vector<std::tuple<int, int, int>> FillOrder;
    std::map<std::vector<int>, int> Borders;
    std::vector<std::vector<int>> BorderOrder;
};

int TXLS2007Writer::StyleIndex(int poolIndex) const {
    if (poolIndex < firstWritten) return 0;
    const size_t at = size_t(poolIndex - firstWritten);
    return at < cellXfIds.size() ? cellXfIds[at] : poolIndex - firstWritten;
}

namespace {
bool IsEx12(const TCellFormat& f) {
    return dynamic_cast<const TCellFormatEx12*>(&f) != nullptr;
}

std::vector<int> BorderKey(const TCellFormat& f) {
    return {f.GetBorderLeftStyle(),   f.GetBorderLeftColor(),   f.GetBorderRightStyle(),
            f.GetBorderRightColor(),  f.GetBorderTopStyle(),    f.GetBorderTopColor(),
            f.GetBorderBottomStyle(), f.GetBorderBottomColor(), f.GetBorderDiagStyle(),
            f.GetBorderDiagColor(),   f.GetBorderDiagLines()};
}

bool HasBorderLines(const std::vector<int>& k) {
    return k[0] || k[2] || k[4] || k[6] || (k[8] && k[10]);
}

void WritePatternFill(TXLSExcelXmlWriter& w, int pattern, const TExtColor& fg, const TExtColor& bg) {
    std::string& out = w.Buffer();
    out += "<fill><patternFill patternType=\"";
    out += FillPatternNames()[size_t(std::clamp(pattern, 0, 18))];
    out += '"';
    if (fg.Kind == eckNotSet && bg.Kind == eckNotSet) {
        out += "/></fill>";
        return;
    }
    out += '>';
    w.WriteColor("fg", fg);
    w.WriteColor("bg", bg);
    out += "</patternFill></fill>";
}

void WriteBorderSide(TXLSExcelXmlWriter& w, std::string_view name, int style, const TExtColor& color) {
    std::string& out = w.Buffer();
    out += '<';
    out += name;
    if (style <= 0 || style > 13) {
        out += "/>";
        return;
    }
    out += " style=\"";
    out += BorderStyleNames()[size_t(style)];
    out += "\">";
    w.WriteColor("", color);
    out += "</";
    out += name;
    out += '>';
}
} // namespace

bool TXLS2007Writer::FontGap() const {
    // A binary workbook's pool has no font 4 either.
    return (book.Book->FontGap || converted) && book.Fonts->Count() > 4;
}

int TXLS2007Writer::FontId(int poolIndex) const {
    return FontGap() && poolIndex > 4 ? poolIndex - 1 : poolIndex;
}

void TXLS2007Writer::PrepareStyles() {
    TCellFormats& pool = *book.Formats;
    firstWritten = converted ? DefaultCellFormat : 21;
    pool.ResetEx12Lists();
    fillIds.assign(size_t(pool.Count()), 0);
    borderIds.assign(size_t(pool.Count()), 0);
    cellXfIds.clear();
}

void TXLS2007Writer::WriteXf(TXLSExcelXmlWriter& w, const TCellFormat& f, bool cellVariant) {
    std::string& out = w.Buffer();
    const auto* ex = dynamic_cast<const TCellFormatEx12*>(&f);
    const int fillId = f.PoolIndex >= 0 && size_t(f.PoolIndex) < fillIds.size() && cellVariant
                           ? fillIds[size_t(f.PoolIndex)]
                           : 0;
    const int borderId = f.PoolIndex >= 0 && size_t(f.PoolIndex) < borderIds.size() && cellVariant
                             ? borderIds[size_t(f.PoolIndex)]
                             : 0;
    out += "<xf";
    AppendAttr(out, "numFmtId", f.GetNumberFormatIndex());
    AppendAttr(out, "fontId", FontId(ex && ex->GetFont() ? ex->GetFont()->PoolIndex : f.GetFontIndex()));
    AppendAttr(out, "fillId", ex ? (ex->Fill() ? ex->Fill()->Index + requiredFills : 0) : fillId);
    AppendAttr(out, "borderId", ex ? (ex->Border() ? ex->Border()->Index + requiredBorders : 0) : borderId);
    if (cellVariant && (!ex || ex->StyleXfId >= 0)) AppendAttr(out, "xfId", ex ? ex->StyleXfId : 0);

    // Alignment and protection as the body holds them.
    // The rotation as the byte holds it: 91-180 turn down, 255 stacks.
    const int h = f.GetHorizAlignment(), v = f.GetVertAlignment(),
              rot = f.GetRotation() < 0 ? 90 - f.GetRotation() : f.GetRotation();
    const int wrap = f.GetWrapShrink(), indent = ex ? ex->Indent : f.GetIndent();
    const bool alignment = ex ? ex->HasAlignment : (h != 0 || v != 2 || rot != 0 || wrap != 0 || indent != 0);
    const int protection = f.GetProtection();
    const bool protect = ex ? ex->HasProtection : protection != 1;
    uint8_t apply;
    if (ex) {
        apply = ex->ApplyMask;
        if (ex->QuotePrefix) out += " quotePrefix=\"1\"";
        if (ex->PivotButton) out += " pivotButton=\"1\"";
    } else {
        apply = uint8_t((f.GetNumberFormatIndex() > 0 ? abNumberFormat : 0) |
                        (f.GetFontIndex() > 0 ? abFont : 0) | (fillId > 0 ? abFill : 0) |
                        (borderId > 0 ? abBorder : 0) | (alignment ? abAlignment : 0) |
                        (protect ? abProtection : 0));
    }
    static constexpr std::string_view applies[] = {"applyNumberFormat", "applyFont",      "applyFill",
                                                   "applyBorder",       "applyAlignment", "applyProtection"};
    for (int i = 0; i < 6; ++i)
        if (apply & (1 << i)) AppendAttr(out, applies[i], 1);
    if (!alignment && !protect) {
        out += "/>";
        return;
    }
    out += '>';
    if (alignment) {
        out += "<alignment";
        if (h != 0) AppendAttr(out, "horizontal", HorizAlignmentNames()[size_t(h & 7)]);
        if (v != 2 && v <= 4) AppendAttr(out, "vertical", VertAlignmentNames()[size_t(v)]);
        if (rot != 0) AppendAttr(out, "textRotation", rot);
        if (wrap & 1) out += " wrapText=\"1\"";
        if (indent != 0) AppendAttr(out, "indent", indent);
        if (ex && ex->RelativeIndent != 0) AppendAttr(out, "relativeIndent", ex->RelativeIndent);
        if (ex && ex->JustifyLastLine) out += " justifyLastLine=\"1\"";
        if (wrap & 2) out += " shrinkToFit=\"1\"";
        out += "/>";
    }
    if (protect) {
        out += "<protection";
        if (!(protection & 1)) out += " locked=\"0\"";
        if (protection & 2) out += " hidden=\"1\"";
        out += "/>";
    }
    out += "</xf>";
}

// Number formats beyond the built-in ids of the package format.
void TXLS2007Writer::WriteNumFmts(std::string& out) {
    std::string numFmts;
    int numFmtCount = 0;
    TNumberFormats& formats = book.Formats->NumberFormats();
    for (int i = 0; i < formats.Count(); ++i) {
        TNumberFormat* nf = formats.GetItem(i);
        if (nf->IsUnused() || nf->Text().empty() || TNumberFormats::IsBuiltInXLSXId(nf->Index)) continue;
        numFmts += "<numFmt";
        AppendAttr(numFmts, "numFmtId", nf->Index);
        AppendAttr(numFmts, "formatCode", std::u16string_view(nf->Text()));
        numFmts += "/>";
        ++numFmtCount;
    }
    if (numFmtCount > 0) {
        out += "<numFmts count=\"";
        AppendXMLInt(out, numFmtCount);
        out += "\">" + numFmts + "</numFmts>";
    }
}

void TXLS2007Writer::WriteFonts(TXLSExcelXmlWriter& w) {
    TXFonts& fonts = *book.Fonts;
    std::string& out = w.Buffer();
    const bool gap = FontGap();
    out += "<fonts count=\"";
    AppendXMLInt(out, std::max(fonts.Count() - (gap ? 1 : 0), 1));
    out += "\">";
    if (fonts.Count() == 0)
        out += "<font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/><family val=\"2\"/>"
               "<scheme val=\"minor\"/></font>";
    for (int i = 0; i < fonts.Count(); ++i)
        if (!gap || i != 4) w.WriteFont(*fonts.GetItem(i), false);
    out += "</fonts>";
}

// The fills and borders of the BIFF formats: one per distinct look, after
// the package's own lists; each format's ids are noted.
void TXLS2007Writer::MapBiffFillsAndBorders(TStyleMap& map) {
    TCellFormats& pool = *book.Formats;
    TFills& fillList = pool.Fills();
    TBorders& borderList = pool.Borders();
    requiredFills = converted && !fillList.StartsWithDefaults() ? 2 : 0;
    requiredBorders = converted && !borderList.StartsWithDefaults() ? 1 : 0;
    for (int i = firstWritten; i < pool.Count(); ++i) {
        const TCellFormat& f = *pool[i];
        if (IsEx12(f)) continue;
        if (f.GetFillPattern() != 0) {
            auto key = std::make_tuple(f.GetFillPattern(), f.GetFillForeColor(), f.GetFillBackColor());
            auto [it, added] = map.Fills.emplace(key, int(map.FillOrder.size()));
            if (added) map.FillOrder.push_back(key);
            fillIds[size_t(i)] = requiredFills + fillList.Count() + it->second;
        }
        std::vector<int> key = BorderKey(f);
        if (HasBorderLines(key)) {
            auto [it, added] = map.Borders.emplace(key, int(map.BorderOrder.size()));
            if (added) map.BorderOrder.push_back(key);
            borderIds[size_t(i)] = requiredBorders + borderList.Count() + it->second;
        }
    }
}

// Fills: the two every package starts with, the 2007 list, then one per
// distinct look of the BIFF formats.
void TXLS2007Writer::WriteFills(TXLSExcelXmlWriter& w, const TStyleMap& map) {
    TFills& fillList = book.Formats->Fills();
    std::string& out = w.Buffer();
    out += "<fills count=\"";
    AppendXMLInt(out, requiredFills + fillList.Count() + int(map.FillOrder.size()));
    out += "\">";
    if (requiredFills)
        out += "<fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
               "patternType=\"gray125\"/></fill>";
    for (int i = 0; i < fillList.Count(); ++i) {
        const TFill& fill = *fillList.GetItem(i);
        if (!fill.IsGradient()) {
            WritePatternFill(w, fill.PatternType, fill.FgColor, fill.BgColor);
            continue;
        }
        const TGradientFill& g = *fill.Gradient;
        out += "<fill><gradientFill";
        if (g.Path)
            out += " type=\"path\"";
        else if (g.Degree != 0) {
            out += " degree=\"";
            AppendXMLNumber(out, g.Degree);
            out += '"';
        }
        static constexpr std::string_view edges[] = {"left", "right", "top", "bottom"};
        for (int e = 0; e < 4; ++e)
            if (g.IsEdgeSet(e) && g.Edge(e) != 0) {
                out += ' ';
                out += edges[e];
                out += "=\"";
                AppendXMLNumber(out, g.Edge(e));
                out += '"';
            }
        out += '>';
        for (const TGradientStop& s : g.Stops) {
            out += "<stop position=\"";
            AppendXMLNumber(out, s.Position);
            out += "\">";
            w.WriteColor("", s.Color);
            out += "</stop>";
        }
        out += "</gradientFill></fill>";
    }
    for (auto [pattern, fore, back] : map.FillOrder)
        WritePatternFill(w, pattern, PaletteColor(fore), back >= 64 ? NoColor() : PaletteColor(back));
    out += "</fills>";
}

void TXLS2007Writer::WriteBorders(TXLSExcelXmlWriter& w, const TStyleMap& map) {
    TBorders& borderList = book.Formats->Borders();
    std::string& out = w.Buffer();
    out += "<borders count=\"";
    AppendXMLInt(out, requiredBorders + borderList.Count() + int(map.BorderOrder.size()));
    out += "\">";
    if (requiredBorders) out += "<border><left/><right/><top/><bottom/><diagonal/></border>";
    static constexpr std::string_view sides[] = {"left",     "top",      "right",     "bottom",
                                                 "diagonal", "vertical", "horizontal"};
    static constexpr int sideOrder[] = {TBorder::bsLeft,      TBorder::bsRight,    TBorder::bsTop,
                                        TBorder::bsBottom,    TBorder::bsDiagonal, TBorder::bsVertical,
                                        TBorder::bsHorizontal};
    for (int i = 0; i < borderList.Count(); ++i) {
        const TBorder& b = *borderList.GetItem(i);
        out += "<border";
        if (b.Flags & TBorder::bfDiagonalUp) out += " diagonalUp=\"1\"";
        if (b.Flags & TBorder::bfDiagonalDown) out += " diagonalDown=\"1\"";
        if (b.Flags & TBorder::bfOutline) out += " outline=\"1\"";
        out += '>';
        for (int s : sideOrder) {
            const TBorderLine& line = b.Sides[size_t(s)];
            if (s >= TBorder::bsVertical && !line.Present) continue;
            WriteBorderSide(w, sides[s], line.Style, line.Color);
        }
        out += "</border>";
    }
    for (const std::vector<int>& k : map.BorderOrder) {
        const int lines = k[10];
        out += "<border";
        if (k[8] && (lines & 2)) out += " diagonalUp=\"1\"";
        if (k[8] && (lines & 1)) out += " diagonalDown=\"1\"";
        out += '>';
        WriteBorderSide(w, "left", k[0], PaletteColor(k[1]));
        WriteBorderSide(w, "right", k[2], PaletteColor(k[3]));
        WriteBorderSide(w, "top", k[4], PaletteColor(k[5]));
        WriteBorderSide(w, "bottom", k[6], PaletteColor(k[7]));
        WriteBorderSide(w, "diagonal", lines ? k[8] : 0, PaletteColor(k[9]));
        out += "</border>";
    }
    out += "</borders>";
}

void TXLS2007Writer::WriteCellStyleXfs(TXLSExcelXmlWriter& w) {
    TCellFormats& styles = *book.StyleFormats;
    if (styles.Count() == 0 && !converted) return;
    std::string& out = w.Buffer();
    out += "<cellStyleXfs count=\"";
    AppendXMLInt(out, std::max(styles.Count(), 1));
    out += "\">";
    if (styles.Count() == 0) out += "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>";
    for (int i = 0; i < styles.Count(); ++i) WriteXf(w, *styles[i], false);
    out += "</cellStyleXfs>";
}

namespace {
constexpr std::string_view DefaultXf =
    "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>";
} // namespace

void TXLS2007Writer::WriteCellXfs(TXLSExcelXmlWriter& w) {
    TCellFormats& pool = *book.Formats;
    std::string& out = w.Buffer();
    // Of a binary workbook, its style formats (those past its default cell
    // format among them) are no cell formats, and a format that the package
    // writes as one written already (the default cell format a package
    // brought beside the binary one) is that one: a workbook copied back and
    // forth between the formats keeps its count.
    const size_t head = out.size();
    std::map<std::string, int> written;
    for (int i = firstWritten; i < pool.Count(); ++i) {
        if (!converted) {
            WriteXf(w, *pool[i], true);
            continue;
        }
        const bool style = pool[i]->IsStyle() && !IsEx12(*pool[i]);
        if (style && i > firstWritten) {
            cellXfIds.push_back(0);
            continue;
        }
        // The first is the default cell format, written plain where the
        // binary workbook has a style format in its place.
        const size_t from = out.size();
        if (style)
            out += DefaultXf;
        else
            WriteXf(w, *pool[i], true);
        auto [at, added] = written.emplace(out.substr(from), int(written.size()));
        if (!added) out.resize(from);
        cellXfIds.push_back(at->second);
    }
    const int count = converted ? int(written.size()) : pool.Count() - firstWritten;
    std::string start = "<cellXfs count=\"";
    AppendXMLInt(start, std::max(count, 1));
    start += "\">";
    if (count <= 0) start += DefaultXf;
    out.insert(head, start);
    out += "</cellXfs>";
}

void TXLS2007Writer::WriteCellStyles(std::string& out) {
    const TEx12CellStyles& cellStyles = *book.CellStyles;
    if (cellStyles.Count() == 0 && !converted) return;
    out += "<cellStyles count=\"";
    AppendXMLInt(out, std::max(cellStyles.Count(), 1));
    out += "\">";
    if (cellStyles.Count() == 0) out += "<cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>";
    for (int i = 0; i < cellStyles.Count(); ++i) {
        const TEx12CellStyle& s = cellStyles.GetItem(i);
        out += "<cellStyle";
        if (!s.Name.empty()) AppendAttr(out, "name", std::u16string_view(s.Name));
        AppendAttr(out, "xfId", s.XfId);
        if (s.BuiltinId >= 0) AppendAttr(out, "builtinId", s.BuiltinId);
        if (s.ILevel >= 0) AppendAttr(out, "iLevel", s.ILevel);
        if (s.Hidden) out += " hidden=\"1\"";
        if (s.CustomBuiltin) out += " customBuiltin=\"1\"";
        out += "/>";
    }
    out += "</cellStyles>";
}

std::string TXLS2007Writer::StylesPart() {
    PrepareStyles();
    TXLSExcelXmlWriter& w = writer;
    w.Clear();
    std::string& out = w.Buffer();
    out += Header;
    out += "<styleSheet xmlns=\"";
    out += MainNs;
    out += '"';
    out += book.Book->StyleRootAttributes;
    out += '>';
    WriteNumFmts(out);
    WriteFonts(w);
    TStyleMap map;
    MapBiffFillsAndBorders(map);
    WriteFills(w, map);
    WriteBorders(w, map);
    WriteCellStyleXfs(w);
    WriteCellXfs(w);
    WriteCellStyles(out);
    // The conditional formats the write makes add their formats to the kept ones.
    std::string made;
    if (!madeDxfs.empty()) {
        made = "<dxfs count=\"" + std::to_string(madeDxfs.size()) + "\">";
        for (const std::string& d : madeDxfs) made += d;
        made += "</dxfs>";
    }
    out += MergeListElements(book.Book->StyleFragments[0], made);
    out += book.Book->StyleFragments[1];
    out += book.Book->StyleFragments[2];
    out += "</styleSheet>";
    return std::move(out);
}

// ---------------------------------------------------------------------------
// Shared strings

// The shared strings in the order the cells first use them, then any other,
// each numbered for the cell writer; the part is made while the archive is
// written, a few thousand strings at a time.
class TSharedStringsPart {
public:
    TSharedStringsPart(TSST2& strings, TSheets& sheets) {
        order.reserve(size_t(strings.Count()));
        strings.ForEach([](THashItem* item) {
            static_cast<TSSTEntry*>(item)->SSTIndex = UINT32_MAX;
            return true;
        });
        auto number = [this](TSSTEntry* e) {
            if (e->SSTIndex != UINT32_MAX) return;
            e->SSTIndex = uint32_t(order.size());
            order.push_back(e);
        };
        for (int s = 0; s < sheets.Count(); ++s) {
            TCellValues& cells = sheets.Items(s).Cells();
            cells.BeginIterate();
            while (TCell* cell = cells.NextCell())
                if (cell->CellType() == ctString)
                    if (TSSTEntry* e = static_cast<TStringCell*>(cell)->Entry()) {
                        ++uses;
                        number(e);
                    }
        }
        strings.ForEach([&](THashItem* item) {
            number(static_cast<TSSTEntry*>(item));
            return true;
        });
    }

    bool Next(std::string& out) {
        if (next == 0 && !started) {
            started = true;
            out += Header;
            out += "<sst xmlns=\"";
            out += MainNs;
            out += "\" count=\"";
            AppendXMLInt(out, uses);
            out += "\" uniqueCount=\"";
            AppendXMLInt(out, int64_t(order.size()));
            out += "\">";
        }
        const size_t limit = out.size() + (1 << 16);
        while (next < order.size() && out.size() < limit) AppendEntry(out, *order[next++]);
        if (next < order.size()) return true;
        if (finished) return false;
        finished = true;
        out += "</sst>";
        return true;
    }

private:
    static void AppendText(std::string& out, std::u16string_view text) { AppendTextElement(out, "t", text); }

    void AppendEntry(std::string& out, const TSSTEntry& e) {
        const std::u16string text = e.Text();
        out += "<si>";
        if (e.Runs().empty()) {
            AppendText(out, text);
        } else {
            // The text before the first run is a run without properties.
            std::vector<std::pair<size_t, TXFont*>> runs;
            if (e.Runs().front().Pos > 0) runs.push_back({0, nullptr});
            for (const TSSTRun& r : e.Runs())
                if (r.Pos < text.size()) runs.push_back({r.Pos, r.Font});
            for (size_t i = 0; i < runs.size(); ++i) {
                size_t end = i + 1 < runs.size() ? runs[i + 1].first : text.size();
                if (end <= runs[i].first) continue;
                out += "<r>";
                if (runs[i].second && runs[i].second->PoolIndex > 0) {
                    runWriter.Clear();
                    runWriter.WriteFont(*runs[i].second, true);
                    out += runWriter.Buffer();
                }
                AppendText(out, std::u16string_view(text).substr(runs[i].first, end - runs[i].first));
                out += "</r>";
            }
        }
        out += "</si>";
    }

    std::vector<TSSTEntry*> order;
    size_t next = 0;
    int uses = 0;
    bool started = false, finished = false;
    TXLSExcelXmlWriter runWriter;
};

std::string TXLS2007Writer::SharedStringsPart() {
    TSharedStringsPart part(*book.Strings, *book.Sheets);
    std::string out;
    while (part.Next(out)) {
    }
    return out;
}

// ---------------------------------------------------------------------------
// Workbook

std::string TXLS2007Writer::RewriteIds(const std::string& fragment,
                                       const std::map<std::string, std::string>& ids) const {
    // r:id="old" of a kept element follows its relationship's new Id.
    std::string out;
    size_t from = 0;
    for (size_t at = fragment.find("r:id=\""); at != fragment.npos; at = fragment.find("r:id=\"", from)) {
        size_t start = at + 6, end = fragment.find('"', start);
        if (end == fragment.npos) break;
        out.append(fragment, from, start - from);
        std::string old = fragment.substr(start, end - start);
        auto it = ids.find(old);
        out += it != ids.end() ? it->second : old;
        from = end;
    }
    out.append(fragment, from);
    return out;
}

std::string TXLS2007Writer::WorkbookPart(const TXMLRelationsWorkbook::TRebuilt& ids) {
    TXLSXBookData& data = *book.Book;
    TXLSSavedTags& tags = data.SavedTags;
    if (tags.Count() == 0) {
        tags.AddMarker(etfileVersion,
                       "appName=\"Tabrix\" lastEdited=\"4\" lowestEdited=\"4\" rupBuild=\"4.00.12\"");
        if (book.Globals && book.Globals->GetDateMode())
            tags.Add("<workbookPr date1904=\"1\"/>", etworkbookPr);
        tags.AddMarker(etsheets);
        tags.AddMarker(etexternalReferences);
    }
    // Names go where the schema puts them, also when the package had none.
    if (!tags.HasMarker(etdefinedNames) && HasDefinedNames())
        tags.InsertMarker(etdefinedNames, WorkbookOrder);
    if (!tags.HasMarker(etexternalReferences) && !linkIds.empty())
        tags.InsertMarker(etexternalReferences, WorkbookOrder);
    // The sheets in the package's order: a model sheet by its index, a kept
    // one (a chart sheet) as -1 - its place in the kept list.
    std::vector<int> order;
    {
        size_t kept = 0;
        int model = 0;
        const int total = book.Sheets->Count() + int(data.KeptSheets.size());
        for (int p = 0; p < total; ++p)
            if (kept < data.KeptSheets.size() &&
                (data.KeptSheets[kept].Position <= p || model >= book.Sheets->Count()))
                order.push_back(-1 - int(kept++));
            else
                order.push_back(model++);
    }
    std::string out;
    out += Header;
    out += "<workbook xmlns=\"";
    out += MainNs;
    out += "\" xmlns:r=\"";
    out += RelNs;
    out += '"';
    out += tags.RootAttributes;
    out += '>';
    auto writeCalcPr = [&] {
        out += "<calcPr calcId=\"";
        AppendXMLInt(out, data.CalcId);
        out += '"';
        if (data.FullCalcOnLoad || book.CalculateOnLoad) out += " fullCalcOnLoad=\"1\"";
        out += "/>";
    };
    bool calcDone = false;
    const auto calcRank = std::find(std::begin(WorkbookOrder), std::end(WorkbookOrder), etcalcPr);
    // The elements written from the model go once, however often a damaged
    // file repeated them.
    std::set<int> made;
    for (int i = 0; i < tags.Count(); ++i) {
        const int id = tags.ElementId(i);
        if (!calcDone && std::find(std::begin(WorkbookOrder), calcRank, id) == calcRank) {
            writeCalcPr();
            calcDone = true;
        }
        if ((id == etdefinedNames || id == etexternalReferences || id == etsheets) && !made.insert(id).second)
            continue;
        switch (id) {
        case etdefinedNames:
            WriteDefinedNames(out, order);
            break;
        case etexternalReferences:
            if (data.ExtRelations.Count() > 0 || !linkIds.empty()) {
                out += "<externalReferences>";
                for (int r = 0; r < data.ExtRelations.Count(); ++r) {
                    const TXMLRelation& rel = data.ExtRelations.Item(r);
                    out += "<externalReference r:id=\"";
                    auto it = ids.NewIds.find(rel.Id);
                    out += it != ids.NewIds.end() ? it->second : rel.Id;
                    out += "\"/>";
                }
                for (const std::string& id : linkIds) {
                    out += "<externalReference r:id=\"";
                    out += ids.NewIds.at(id);
                    out += "\"/>";
                }
                out += "</externalReferences>";
            }
            break;
        case etsheets: {
            out += "<sheets>";
            int newSheets = 0;
            for (size_t p = 0; p < order.size(); ++p) {
                out += "<sheet name=\"";
                if (order[p] < 0) {
                    const size_t at = size_t(-order[p] - 1);
                    const TXLSXKeptSheet& k = data.KeptSheets[at];
                    out += at < keptSheetNames.size() && !keptSheetNames[at].empty() ? keptSheetNames[at]
                                                                                     : k.Name;
                    out += "\" sheetId=\"";
                    AppendXMLInt(out, int64_t(p) + 1);
                    out += '"';
                    if (!k.State.empty()) AppendAttr(out, "state", k.State);
                    auto it = ids.NewIds.find(k.RelationId);
                    AppendAttr(out, "r:id", it != ids.NewIds.end() ? it->second : k.RelationId);
                } else {
                    TSheet& sheet = book.Sheets->Items(order[p]);
                    AppendPackageText(out, SheetName(order[p]), TPackageText::Plain);
                    out += "\" sheetId=\"";
                    AppendXMLInt(out, int64_t(p) + 1);
                    out += '"';
                    if (sheet.Hidden == THiddenState::hsHidden) out += " state=\"hidden\"";
                    if (sheet.Hidden == THiddenState::hsVeryHidden) out += " state=\"veryHidden\"";
                    const std::string& keptId = sheet.PackageData().KeptRelationId;
                    if (keptId.empty()) {
                        AppendAttr(out, "r:id", ids.SheetIds[size_t(newSheets++)]);
                    } else {
                        auto it = ids.NewIds.find(keptId);
                        AppendAttr(out, "r:id", it != ids.NewIds.end() ? it->second : keptId);
                    }
                }
                out += "/>";
            }
            out += "</sheets>";
            break;
        }
        default:
            out += RewriteIds(KeptText(tags.Text(i), 0, "Workbook"), ids.NewIds);
        }
    }
    if (!calcDone) writeCalcPr();
    out += "</workbook>";
    return out;
}

namespace {
// The names through which a binary workbook calls later functions are
// not written: package text names the functions themselves.
bool NameWritten(const TInternalName& n) {
    return (n.Loaded || !n.NameBytes().empty()) && !n.IsFunctionCall();
}
} // namespace

bool TXLS2007Writer::HasDefinedNames() const {
    if (!book.Formulas) return false;
    const TInternalNames& names = book.Formulas->Names();
    for (int i = 0; i < names.Count(); ++i)
        if (NameWritten(names.Items(i))) return true;
    return false;
}

// The names in list order: a local name's sheet counts the package's sheets.
void TXLS2007Writer::WriteDefinedNames(std::string& out, const std::vector<int>& order) const {
    if (!HasDefinedNames()) return;
    TFormulaHandler& formulas = *book.Formulas;
    const TInternalNames& names = formulas.Names();
    out += "<definedNames>";
    for (int i = 0; i < names.Count(); ++i) {
        const TInternalName& n = names.Items(i);
        if (!NameWritten(n)) continue;
        out += "<definedName";
        AppendAttr(out, "name", std::u16string_view((n.IsBuiltIn() ? u"_xlnm." : u"") + n.GetName()));
        if (!n.Comment.empty()) AppendAttr(out, "comment", std::u16string_view(n.Comment));
        static constexpr std::string_view texts[] = {"customMenu", "description", "help", "statusBar"};
        for (int t = 0; t < 4; ++t)
            if (!n.Texts[t].empty()) AppendAttr(out, texts[t], std::u16string_view(n.Texts[t]));
        const int sheet = n.SheetNumber - 1;
        if (sheet >= 0) {
            auto at = std::find(order.begin(), order.end(), sheet);
            AppendAttr(out, "localSheetId", at != order.end() ? int64_t(at - order.begin()) : sheet);
        }
        if (n.Options & noHidden) out += " hidden=\"1\"";
        if (n.Options & noFunction) out += " function=\"1\"";
        if (n.Options & noVBAProcedure) out += " vbProcedure=\"1\"";
        if (n.Xlm) out += " xlm=\"1\"";
        if (n.GetFunctionGroup() > 0) AppendAttr(out, "functionGroupId", n.GetFunctionGroup());
        if (!n.ShortcutKey.empty()) AppendAttr(out, "shortcutKey", std::u16string_view(n.ShortcutKey));
        if (n.PublishToServer) out += " publishToServer=\"1\"";
        if (n.WorkbookParameter) out += " workbookParameter=\"1\"";
        std::u16string text = n.FormulaText;
        bool unfollowed = false;
        if (!text.empty())
            text = formulas.WithWrittenSheetNames(Utf8ToWide(WithLaterFunctionPrefixes(WideToUtf8(text))),
                                                  std::max(sheet, 0), 0, 0, false, &unfollowed);
        if (unfollowed && book.Warn)
            book.Warn("Name " + WideToUtf8(n.GetName()) + ": formula " + WideToUtf8(text) +
                      " cannot be read here; it names the renamed sheet by its old name");
        if (text.empty() && n.TokenLength > 0) {
            // Names hold BIFF8 tokens, those of older files too.
            TFormulaDecoding how;
            how.Sheet = sheet;
            how.FileSyntax = true;
            try {
                text = formulas.DecodeFormula(n.Data, n.TokenLength, how);
            } catch (const XLSError&) {
                text = u"#REF!";
            }
        }
        out += '>';
        int replaced = 0;
        AppendPackageText(out, text, TPackageText::Plain, &replaced);
        if (replaced > 0 && book.Warn)
            book.Warn("Name " + WideToUtf8(n.GetName()) + ": " + std::to_string(replaced) +
                      " characters of its formula that a package cannot hold written as U+FFFD");
        out += "</definedName>";
    }
    out += "</definedNames>";
}

std::string TXLS2007Writer::RelationshipsPart(const TXMLRelations& relations) {
    std::string out;
    out += Header;
    out += "<Relationships xmlns=\"";
    out += PackageRelNs;
    out += "\">";
    for (int i = 0; i < relations.Count(); ++i) {
        const TXMLRelation& r = relations.Item(i);
        out += "<Relationship";
        AppendAttr(out, "Id", r.Id);
        AppendAttr(out, "Type", TXMLRelations::FullType(r));
        AppendAttr(out, "Target", r.Target);
        if (r.TargetMode == 1) out += " TargetMode=\"Internal\"";
        if (r.TargetMode == 2) out += " TargetMode=\"External\"";
        out += "/>";
    }
    out += "</Relationships>";
    return out;
}

std::string TXLS2007Writer::CorePropertiesPart(int64_t unixTime) const {
    std::time_t t = std::time_t(unixTime);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string out;
    out += Header;
    out += "<cp:coreProperties "
           "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
           "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">";
    out += "<dc:creator>ZRV-Q710</dc:creator><cp:lastModifiedBy>ZRV-Q710</cp:lastModifiedBy>";
    out += "<dcterms:created xsi:type=\"dcterms:W3CDTF\">";
    out += stamp;
    out += "</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">";
    out += stamp;
    out += "</dcterms:modified></cp:coreProperties>";
    return out;
}

std::string TXLS2007Writer::AppPropertiesPart() const {
    const int count = book.Sheets->Count();
    std::string out;
    out += Header;
    out +=
        "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
        "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
        "<Application>Microsoft Excel</Application><DocSecurity>0</DocSecurity><ScaleCrop>false</ScaleCrop>"
        "<HeadingPairs><vt:vector size=\"2\" baseType=\"variant\"><vt:variant><vt:lpstr>Worksheets</vt:lpstr>"
        "</vt:variant><vt:variant><vt:i4>";
    AppendXMLInt(out, count);
    out += "</vt:i4></vt:variant></vt:vector></HeadingPairs><TitlesOfParts><vt:vector size=\"";
    AppendXMLInt(out, count);
    out += "\" baseType=\"lpstr\">";
    for (int i = 0; i < count; ++i) {
        out += "<vt:lpstr>";
        AppendPackageText(out, SheetName(i), TPackageText::Plain);
        out += "</vt:lpstr>";
    }
    out += "</vt:vector></TitlesOfParts><LinksUpToDate>false</LinksUpToDate><SharedDoc>false</SharedDoc>"
           "<HyperlinksChanged>false</HyperlinksChanged><AppVersion>12.0000</AppVersion></Properties>";
    return out;
}

// ---------------------------------------------------------------------------
// Package

std::vector<TPackageSheetName> PackageSheetNames(const std::vector<std::u16string>& names,
                                                 const std::vector<std::u16string>& others) {
    constexpr size_t MaxName = 31;
    constexpr std::u16string_view forbidden = u"[]:*?/\\";
    std::vector<TPackageSheetName> out(names.size());
    // Names that stay are taken first; the ones made take what is left.
    std::set<std::u16string> taken;
    for (const std::u16string& o : others) taken.insert(UpperCaseWide(o));
    std::vector<size_t> made;
    for (size_t i = 0; i < names.size(); ++i) {
        std::u16string name = names[i];
        std::string reason;
        if (name.find_first_of(forbidden) != name.npos) {
            for (char16_t& c : name)
                if (forbidden.find(c) != forbidden.npos) c = u'_';
            reason = "a package's sheet names cannot hold [ ] : * ? / \\";
        }
        // Nor what XML cannot carry (a name is read as it stands).
        bool uncarried = false;
        for (size_t k = 0; k < name.size(); ++k)
            if (!PackageCarriesAt(name, k)) {
                name[k] = u'_';
                uncarried = true;
            }
        if (uncarried)
            reason += std::string(reason.empty() ? "" : "; ") +
                      "a package's sheet names cannot hold control characters";
        if (name.size() > MaxName) {
            name = CutWhole(name, MaxName);
            reason += std::string(reason.empty() ? "" : "; ") +
                      "a package's sheet names hold at most 31 characters";
        }
        if (name.empty()) {
            name = u"_";
            reason = "a package's sheet names cannot be empty";
        }
        out[i] = {std::move(name), std::move(reason)};
        if (out[i].Reason.empty())
            taken.insert(UpperCaseWide(out[i].Name));
        else
            made.push_back(i);
    }
    for (size_t i : made) {
        std::u16string& name = out[i].Name;
        const std::u16string base = name;
        for (int n = 2; taken.count(UpperCaseWide(name)); ++n) {
            const std::u16string suffix = u"_" + Utf8ToWide(std::to_string(n));
            name = std::u16string(CutWhole(base, MaxName - suffix.size())) + suffix;
        }
        taken.insert(UpperCaseWide(name));
    }
    return out;
}

std::u16string TXLS2007Writer::SheetName(int index) const {
    return size_t(index) < sheetNames.size() ? sheetNames[size_t(index)] : book.Sheets->Items(index).Name();
}

std::string TXLS2007Writer::KeptText(std::string_view text, int sheet, const std::string& where) const {
    if (!book.Formulas) return std::string(text);
    std::vector<std::string> unfollowed;
    std::string out = KeptTextWithWrittenSheetNames(text, *book.Formulas, sheet, unfollowed);
    if (book.Warn)
        for (const std::string& f : unfollowed)
            book.Warn(where + ": formula " + f +
                      " cannot be read here; it names the renamed sheet by its old name");
    return out;
}

// A package being written: the archive, and every part in it (by
// lower-case name) with its name and content type.
struct TXLS2007Writer::TPackageOut {
    // The package read, whose entries the archive copies as it is written.
    TXLSZipArchive Kept;
    TXLSZipArchive Zip;
    std::map<std::string, std::pair<std::string, std::string>> PartTypes;
    // The content types of the package read.
    TContentTypes KeptTypes;
    void Add(const std::string& name, std::string text, std::string_view type) {
        Zip.AddFile(name, std::move(text), PackageDeflateLevel);
        PartTypes[AsciiLower(name)] = {name, std::string(type)};
    }
};

// Sheets whose names a package cannot hold get names it can; formulas and
// names that name them follow while the parts are made. Whether any is
// renamed.
bool TXLS2007Writer::NameSheets() {
    TXLSXBookData& data = *book.Book;
    std::vector<std::u16string> modelNames, keptNames;
    for (int i = 0; i < book.Sheets->Count(); ++i) modelNames.push_back(book.Sheets->Items(i).Name());
    for (const TXLSXKeptSheet& k : data.KeptSheets)
        keptNames.push_back(Utf8ToWide(XMLDecodeTextUtf8(k.Name)));
    // The kept sheets (chart sheets) too: a package they came in may hold
    // what others refuse.
    std::vector<std::u16string> allNames = modelNames;
    allNames.insert(allNames.end(), keptNames.begin(), keptNames.end());
    bool renamed = false;
    sheetNames.clear();
    keptSheetNames.assign(keptNames.size(), {});
    const std::vector<TPackageSheetName> written = PackageSheetNames(allNames);
    for (size_t i = 0; i < written.size(); ++i) {
        const TPackageSheetName& n = written[i];
        if (!n.Reason.empty() && book.Warn)
            book.Warn("Sheet '" + WideToUtf8(allNames[i]) + "': written to the .xlsx file as '" +
                      WideToUtf8(n.Name) + "' (" + n.Reason + ")");
        if (i >= modelNames.size()) {
            if (!n.Reason.empty())
                keptSheetNames[i - modelNames.size()] = PackageText(n.Name, TPackageText::Plain);
            continue;
        }
        renamed = renamed || !n.Reason.empty();
        sheetNames.push_back(n.Name);
    }
    return renamed;
}

// The entries of the package read, but those the write replaces or
// drops: copied as stored, or with the sheets they name renamed.
void TXLS2007Writer::CopyKeptEntries(TPackageOut& out, bool renamed) {
    TXLSXBookData& data = *book.Book;
    TXLSZipArchive& zip = out.Zip;
    auto& partTypes = out.PartTypes;
    TContentTypes& keptTypes = out.KeptTypes;
    TXLSZipArchive& kept = out.Kept;
    if (book.KeptPackage.empty()) return;
    {
        kept.OpenBuffer(book.KeptPackage);
        std::set<std::string> replaced, dropped;
        for (const std::string& p : data.ReplacedParts) replaced.insert(AsciiLower(p));
        for (const std::string& p : data.DroppedParts) dropped.insert(AsciiLower(p));
        const int types = kept.IndexOf("[Content_Types].xml");
        if (types >= 0) {
            TContentTypesReader reader;
            try {
                std::string text = kept.ExtractIndex(types);
                reader.ReadPart(text, "[Content_Types].xml");
                keptTypes = std::move(reader.Types);
            } catch (const XLSError&) {
                // Damaged: the parts take the types of their extensions.
            }
        }
        // Kept parts that name dropped ones lose those relationships, and
        // the elements that use them.
        std::map<std::string, std::string> rewritten;
        if (!dropped.empty())
            for (int i = 0; i < kept.Count(); ++i) {
                const std::string name = kept.EntryName(i);
                if (Extension(name) != "rels" || replaced.count(AsciiLower(name))) continue;
                std::set<std::string> gone;
                std::string rels = KeptRelationsWithout(kept, i, dropped, gone);
                if (gone.empty()) continue;
                rewritten[AsciiLower(name)] = std::move(rels);
                const int source = kept.IndexOf(SourceOfRelationships(name));
                if (source < 0 || replaced.count(AsciiLower(kept.EntryName(source)))) continue;
                int left = 0;
                std::string part = KeptPartWithout(kept, source, gone, left);
                if (part.empty()) continue;
                rewritten[AsciiLower(kept.EntryName(source))] = std::move(part);
                if (left > 0 && book.Warn)
                    book.Warn("Part " + kept.EntryName(source) + ": " + std::to_string(left) +
                              " element(s) left out: they name a damaged part");
            }
        // Parts whose formulas followed sheets renamed or deleted since the read.
        for (const auto& [name, text] : data.FollowedParts) rewritten.emplace(name, text);
        for (int i = 0; i < kept.Count(); ++i) {
            std::string name = kept.EntryName(i);
            if (name.empty() || name.back() == '/') continue;
            std::string lower = AsciiLower(name);
            if (replaced.count(lower) || dropped.count(lower) || lower == "[content_types].xml") continue;
            auto r = rewritten.find(lower);
            const std::string ext = Extension(name);
            if (renamed && (ext == "xml" || ext == "vml")) {
                // Charts, pivot caches, controls and tables name sheets too.
                std::string text;
                if (r != rewritten.end()) {
                    text = std::move(r->second);
                } else {
                    try {
                        text = kept.ExtractIndex(i);
                    } catch (const XLSError&) {
                        // Damaged: copied as it is stored.
                    }
                }
                std::string followed = KeptText(text, 0, "Part " + name);
                if (r != rewritten.end() || followed != text)
                    zip.AddFile(name, std::move(followed), PackageDeflateLevel);
                else
                    zip.CopyEntry(kept, i);
            } else if (r != rewritten.end()) {
                zip.AddFile(name, std::move(r->second), PackageDeflateLevel);
            } else {
                zip.CopyEntry(kept, i);
            }
            auto o = keptTypes.Overrides.find(lower);
            auto d = keptTypes.Defaults.find(Extension(name));
            partTypes[lower] = {name, o != keptTypes.Overrides.end() ? o->second
                                      : d != keptTypes.Defaults.end()
                                          ? d->second
                                          : std::string(TypeOfExtension(Extension(name)))};
        }
    }
}

// The workbook part, its relationships, the link parts of other workbooks
// and the theme; the worksheets the write makes, in sheet order.
std::vector<int> TXLS2007Writer::AddWorkbookParts(TPackageOut& out) {
    TXLSXBookData& data = *book.Book;
    // The relationships of this write, on a copy: the kept list stays as read.
    TXMLRelationsWorkbook rels;
    rels.SetUnchecked();
    for (int i = 0; i < data.Relations.Count(); ++i) {
        const TXMLRelation& r = data.Relations.Item(i);
        TXMLRelation& c = rels.Add(r.Id);
        c = r;
    }
    // The other workbooks of a binary workbook's formulas: a link part each.
    linkIds.clear();
    std::vector<int> linkBooks;
    if (book.Formulas && data.ExtRelations.Count() == 0) {
        const TExternalNames& externals = book.Formulas->Externals();
        for (int b; (b = externals.LinkedBook(int(linkBooks.size()) + 1)) >= 0;) linkBooks.push_back(b);
    }
    for (size_t n = 1; n <= linkBooks.size(); ++n) {
        const TSupBook& linked = book.Formulas->Externals().Book(linkBooks[n - 1]);
        const std::string name = "xl/externalLinks/externalLink" + std::to_string(n) + ".xml";
        out.Add(name, ExternalLinkPart(linked), CtExternalLink);
        out.Add(RelationshipsPartName(name), ExternalLinkRelationships(linked), CtRels);
        linkIds.push_back("rIdLink" + std::to_string(n));
        TXMLRelation& r = rels.Add(linkIds.back());
        TXMLRelationsWorkbook::SetWorkbookType(
            r, "http://schemas.openxmlformats.org/officeDocument/2006/relationships/externalLink");
        r.Target = "externalLinks/externalLink" + std::to_string(n) + ".xml";
    }
    // Worksheets the writer makes, in sheet order, numbered from 1.
    std::vector<int> made;
    for (int i = 0; i < book.Sheets->Count(); ++i)
        if (book.Sheets->Items(i).PackageData().KeptRelationId.empty()) made.push_back(i);
    // Kept targets keep naming their parts from where the workbook part is written.
    RebaseTargets(rels, data.WorkbookPart, "xl/workbook.xml");
    const TXMLRelationsWorkbook::TRebuilt ids = rels.BuildForWrite(int(made.size()));
    out.Add("xl/_rels/workbook.xml.rels", RelationshipsPart(rels), CtRels);
    out.Add("xl/workbook.xml", WorkbookPart(ids), book.MacroEnabled ? CtMacroMain : CtMain);
    for (int i = 0; i < rels.Count(); ++i) {
        const TXMLRelation& r = rels.Item(i);
        if (r.Kind != rkTheme || r.TargetMode == 2) continue;
        std::string part = ResolvePartName("xl/workbook.xml", r.Target);
        if (!out.PartTypes.count(AsciiLower(part))) out.Add(part, std::string(DefaultThemeText()), CtTheme);
    }
    return made;
}

// The model's hyperlinks, conditional formats, validations and autofilters
// of the sheets made here: their formats go to the styles.
std::vector<TXLSXRangeElements> TXLS2007Writer::MadeRangeElements(const std::vector<int>& made) {
    TXLSXBookData& data = *book.Book;
    std::vector<TXLSXRangeElements> ranges(made.size());
    madeDxfs.clear();
    for (size_t k = 0; k < made.size(); ++k) {
        TSheet& sheet = book.Sheets->Items(made[k]);
        TXLSXRangeContext c;
        c.Formulas = book.Formulas;
        c.NameTokens =
            book.OrigVersion >= TExcelVersion::xvExcel50 && book.OrigVersion <= TExcelVersion::xvExcel97
                ? book.OrigVersion
                : TExcelVersion::xvExcel97;
        c.Warn = book.Warn;
        c.Color = PaletteColor;
        c.Dxfs = &madeDxfs;
        c.FirstDxf = ListElementCount(data.StyleFragments[0]);
        c.Relations = &sheet.PackageData().Relations;
        ranges[k] = MakeRangeElements(sheet, c);
        // A package's own autofilter stays; the model's cannot join it.
        const TXLSSavedTags& tags = sheet.PackageData().SavedTags;
        for (int i = 0; i < tags.Count(); ++i)
            if (tags.ElementId(i) == etautoFilter &&
                std::erase_if(ranges[k].Elements, [](const auto& e) { return e.first == etautoFilter; }) >
                    0 &&
                book.Warn)
                book.Warn("Sheet '" + WideToUtf8(sheet.Name()) +
                          "': the autofilter made besides the package's own not written to the .xlsx file");
    }
    return ranges;
}

// The worksheets made here (from the last to the first) with their
// relationships.
void TXLS2007Writer::AddWorksheets(TPackageOut& out, const std::vector<int>& made,
                                   std::vector<TXLSXRangeElements>& ranges, bool renamed) {
    TXLSZipArchive& zip = out.Zip;
    for (int k = int(made.size()) - 1; k >= 0; --k) {
        TSheet& sheet = book.Sheets->Items(made[size_t(k)]);
        TXLSXSheetData& sd = sheet.PackageData();
        TXLSSavedTags& tags = sd.SavedTags;
        if (tags.Count() == 0) {
            tags.AddMarker(etdimension);
            tags.AddMarker(etcols);
            tags.AddMarker(etsheetData);
            tags.AddMarker(etmergeCells);
        }
        for (int marker : {etsheetData, etcols, etmergeCells})
            if (!tags.HasMarker(marker)) tags.InsertMarker(marker, WorksheetOrder);
        // What was set through the model; a binary workbook's settings are
        // named as left behind.
        if (!converted || book.OrigVersion == TExcelVersion::xvNone) PutSheetSettings(sheet, WorksheetOrder);
        const std::string name = "xl/worksheets/sheet" + std::to_string(k + 1) + ".xml";
        auto part = std::make_shared<TXLSXSheetWriter>(
            sheet, sd, [this](int f) { return StyleIndex(f); }, book.FormulaText);
        part->SetMadeElements(std::move(ranges[size_t(k)].Elements), WorksheetOrder);
        if (renamed)
            part->SetKeptText([this, index = made[size_t(k)]](const std::string& text) {
                return KeptText(text, index, "Sheet '" + WideToUtf8(book.Sheets->Items(index).Name()) + "'");
            });
        zip.AddGenerated(
            name, [part](std::string& chunk) { return part->Next(chunk); }, PackageDeflateLevel);
        out.PartTypes[AsciiLower(name)] = {name, std::string(CtWorksheet)};
        const std::vector<TXMLRelation>& links = ranges[size_t(k)].Links;
        if ((sd.SourcePart.empty() || sd.SourcePart == name) && links.empty()) {
            out.Add(RelationshipsPartName(name), RelationshipsPart(sd.Relations), CtRels);
        } else {
            TXMLRelations moved;
            moved.SetUnchecked();
            for (int i = 0; i < sd.Relations.Count(); ++i)
                moved.Add(sd.Relations.Item(i).Id) = sd.Relations.Item(i);
            if (!sd.SourcePart.empty()) RebaseTargets(moved, sd.SourcePart, name);
            // The hyperlinks' targets are outside the package.
            for (const TXMLRelation& r : links) moved.Add(r.Id) = r;
            out.Add(RelationshipsPartName(name), RelationshipsPart(moved), CtRels);
        }
    }
}

// The package's relationships: the three the writer makes, then the
// package's others with Ids after them.
void TXLS2007Writer::AddPackageRelations(TPackageOut& out) {
    TXLSXBookData& data = *book.Book;
    TXMLRelations package;
    package.SetUnchecked();
    auto relate = [&](std::string id, std::string_view type, std::string target) -> TXMLRelation& {
        TXMLRelation& r = package.Add(id);
        TXMLRelations::SetType(r, type);
        r.Target = std::move(target);
        return r;
    };
    relate("rId3", "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties",
           "docProps/app.xml");
    relate("rId2", "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
           "docProps/core.xml");
    relate("rId1", "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument",
           "xl/workbook.xml");
    for (int i = 0; i < data.PackageRelations.Count(); ++i) {
        const TXMLRelation& k = data.PackageRelations.Item(i);
        relate("rId" + std::to_string(i + 4), TXMLRelations::FullType(k), k.Target).TargetMode = k.TargetMode;
    }
    out.Add("_rels/.rels", RelationshipsPart(package), CtRels);
}

// Content types: a Default for the extensions of the parts that have their
// extension's type, an Override for every other part.
void TXLS2007Writer::AddContentTypes(TPackageOut& out) {
    std::map<std::string, std::string> defaults = {{"rels", std::string(CtRels)}, {"xml", "application/xml"}};
    for (const auto& [ext, type] : out.KeptTypes.Defaults)
        if (!defaults.count(ext)) defaults[ext] = type;
    std::string ct;
    ct += Header;
    ct += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">";
    std::string overrides;
    for (const auto& [lower, entry] : out.PartTypes) {
        const auto& [part, type] = entry;
        std::string ext = Extension(part);
        auto d = defaults.find(ext);
        if (d == defaults.end() && ext != "xml" && !ext.empty() && type == TypeOfExtension(ext)) {
            defaults[ext] = type;
            continue;
        }
        if (d != defaults.end() && d->second == type) continue;
        overrides += "<Override";
        AppendAttr(overrides, "PartName", "/" + part);
        AppendAttr(overrides, "ContentType", type);
        overrides += "/>";
    }
    for (const auto& [ext, type] : defaults) {
        ct += "<Default";
        AppendAttr(ct, "Extension", ext);
        AppendAttr(ct, "ContentType", type);
        ct += "/>";
    }
    ct += overrides;
    ct += "</Types>";
    out.Zip.AddFile("[Content_Types].xml", std::move(ct), PackageDeflateLevel);
}

std::vector<uint8_t> TXLS2007Writer::WritePackage(int fd) {
    converted = book.OrigVersion != TExcelVersion::xvExcel2007;
    if (book.Sheets->Count() == 0) throw XLSError("The workbook has no sheet");
    const bool renamed = NameSheets();
    struct TWrittenNames {
        TFormulaHandler* formulas;
        std::vector<std::u16string>& names;
        std::vector<std::string>& kept;
        ~TWrittenNames() {
            if (formulas) formulas->SetWrittenSheetNames({});
            names.clear();
            kept.clear();
        }
    } writtenNames{renamed ? book.Formulas : nullptr, sheetNames, keptSheetNames};
    if (renamed && book.Formulas) book.Formulas->SetWrittenSheetNames(sheetNames);

    TPackageOut out;
    if (fd >= 0)
        out.Zip.CreateInFile(fd);
    else
        out.Zip.Create();
    CopyKeptEntries(out, renamed);
    const std::vector<int> made = AddWorkbookParts(out);
    std::vector<TXLSXRangeElements> ranges = MadeRangeElements(made);
    out.Add("xl/styles.xml", StylesPart(), CtStyles);
    madeDxfs.clear();
    {
        auto strings = std::make_shared<TSharedStringsPart>(*book.Strings, *book.Sheets);
        out.Zip.AddGenerated(
            "xl/sharedStrings.xml", [strings](std::string& chunk) { return strings->Next(chunk); },
            PackageDeflateLevel);
        out.PartTypes["xl/sharedstrings.xml"] = {"xl/sharedStrings.xml", std::string(CtStrings)};
    }
    AddWorksheets(out, made, ranges, renamed);
    out.Add("docProps/core.xml", CorePropertiesPart(std::time(nullptr)), CtCore);
    out.Add("docProps/app.xml", AppPropertiesPart(), CtApp);
    AddPackageRelations(out);
    AddContentTypes(out);
    // The parts are made as the archive is written: refused before that, a
    // package the reader would refuse costs nothing.
    if (const int n = out.Zip.Count(); n > TZipLimits{}.MaxEntries) {
        out.Zip.Discard();
        throw XLSError("A package holds at most " + std::to_string(TZipLimits{}.MaxEntries) +
                       " parts; this workbook needs " + std::to_string(n));
    }
    return out.Zip.Close();
}

} // namespace xls

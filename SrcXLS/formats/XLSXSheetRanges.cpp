#include "SrcXLS/formats/XLSXSheetRanges.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formats/XLSXSheetWriter.h"
#include "SrcXLS/formats/XLSXml.h"
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/formulas/DefinedNames.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/model/AutoFilters.h"
#include "SrcXLS/model/ConditionalFormats.h"
#include "SrcXLS/model/DataValidations.h"
#include "SrcXLS/model/Hyperlinks.h"
#include "SrcXLS/model/Sheet.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>
#include <set>

namespace xls {

namespace {

constexpr int MaxCol = 16383, MaxRow = 1048575;
constexpr std::string_view HyperlinkType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";

// name="value" with the value escaped; texts of the model as the package
// writes cell texts.
struct TAttributes {
    std::string& Out;
    TAttributes& Add(std::string_view name, std::string_view utf8) {
        Out += ' ';
        Out += name;
        Out += "=\"";
        XMLAppendEscaped(Out, utf8);
        Out += '"';
        return *this;
    }
    TAttributes& Text(std::string_view name, std::u16string_view text) {
        return text.empty() ? *this : Add(name, EncodeXString(text));
    }
    TAttributes& Number(std::string_view name, int64_t value) { return Add(name, std::to_string(value)); }
    TAttributes& Flag(std::string_view name, bool on) { return on ? Add(name, "1") : *this; }
};

// Whether an area starts within the sheet, and its first cell.
bool AreaStart(const TCellArea& a, int& col, int& row) {
    col = std::min(a.Col1i(), a.Col2i());
    row = std::min(a.Row1i(), a.Row2i());
    return col >= 0 && row >= 0 && col <= MaxCol && row <= MaxRow;
}

// The areas of an item as "A1:B2 C3", within the sheet, the area at first
// (when given) ahead of the others; empty for none.
std::string AreasText(const TBaseCellAreas& areas, int first = -1) {
    std::string out;
    for (int k = first < 0 ? 0 : -1; k < areas.Count(); ++k) {
        if (k == first) continue;
        const TCellArea& a = areas.GetItem(k < 0 ? first : k);
        int col1 = 0, row1 = 0;
        if (!AreaStart(a, col1, row1)) continue;
        const int col2 = std::max(a.Col1i(), a.Col2i()), row2 = std::max(a.Row1i(), a.Row2i());
        if (!out.empty()) out += ' ';
        AppendArea(out, col1, row1, std::min(col2, MaxCol), std::min(row2, MaxRow));
    }
    return out;
}

// The area of a conditional format or validation whose first cell
// LibreOffice takes as the formulas' cell (the smallest column, then row) and
// gnumeric too when it comes first; -1 for none.
int FormulaArea(const TBaseCellAreas& areas, int& col, int& row) {
    int found = -1;
    for (int i = 0; i < areas.Count(); ++i) {
        int c = 0, r = 0;
        if (!AreaStart(areas.GetItem(i), c, r)) continue;
        if (found < 0 || c < col || (c == col && r < row)) {
            found = i;
            col = c;
            row = r;
        }
    }
    return found;
}

void SheetWarning(const TXLSXRangeContext& c, const TSheet& sheet, const std::string& what) {
    if (c.Warn)
        c.Warn("Sheet '" + WideToUtf8(sheet.Name()) + "': " + what + " not written to the .xlsx file");
}

// Characters of formulas that a package cannot hold, written as U+FFFD.
void UncarriedWarning(const TXLSXRangeContext& c, const TSheet& sheet, int replaced, std::string_view what) {
    if (replaced > 0 && c.Warn)
        c.Warn("Sheet '" + WideToUtf8(sheet.Name()) + "': " + std::to_string(replaced) +
               " characters of the " + std::string(what) +
               "' formulas that a package cannot hold written as U+FFFD");
}

// ---------------------------------------------------------------------------
// Hyperlinks

// The target of a link outside the workbook: web and mail addresses as they
// are, network paths and files as file URLs ("\\server\share\a.xls":
// "file://server/share/a.xls"; "..\a.xls": "../a.xls").
std::string LinkTarget(const THyperlink& link) {
    std::u16string address = link.GetAddress();
    if (link.HyperlinkType() == THyperlinkType::hltURL) return EncodeXString(address);
    std::replace(address.begin(), address.end(), u'\\', u'/');
    if (link.HyperlinkType() == THyperlinkType::hltUNC) return "file:" + EncodeXString(address);
    const bool drive = address.size() > 2 && address[1] == u':';
    return (drive ? "file:///" : "") + EncodeXString(address);
}

std::string Hyperlinks(TSheet& sheet, const TXLSXRangeContext& c, TXLSXRangeElements& made) {
    THyperlinks& links = sheet.Hyperlinks();
    std::string out;
    int unknown = 0, targetless = 0, frames = 0, number = 0;
    for (int i = 0; i < links.Count(); ++i) {
        const THyperlink& link = links.Items(i);
        if (!link.HasTarget()) {
            ++targetless;
            continue;
        }
        if (link.HyperlinkType() == THyperlinkType::hltUnknown) {
            ++unknown;
            continue;
        }
        frames += !link.TargetFrame().empty();
        std::string ref;
        TCellAreas area;
        area.AddArea(link.Col1, link.Row1, link.Col2, link.Row2);
        ref = AreasText(area);
        if (ref.empty()) continue;
        out += "<hyperlink";
        TAttributes a{out};
        a.Add("ref", ref);
        std::u16string location = link.TextMark();
        if (!location.empty() && location.front() == u'#') location.erase(0, 1);
        if (link.HyperlinkType() == THyperlinkType::hltWorkbook) {
            if (location.empty()) location = link.GetAddress();
            // A place in the workbook names its sheet as the package does.
            bool unfollowed = false;
            if (c.Formulas)
                location =
                    c.Formulas->WithWrittenSheetNames(location, sheet.Index(), 0, 0, true, &unfollowed);
            if (unfollowed && c.Warn)
                c.Warn("Sheet '" + WideToUtf8(sheet.Name()) + "': hyperlink location " +
                       WideToUtf8(location) +
                       " cannot be read here; it names the renamed sheet by its old name");
        } else {
            std::string id;
            do id = "rIdLink" + std::to_string(++number);
            while (c.Relations && c.Relations->Find(id));
            TXMLRelation& r = made.Links.emplace_back();
            r.Id = id;
            TXMLRelations::SetType(r, HyperlinkType);
            r.Target = LinkTarget(link);
            r.TargetMode = 2;
            a.Add("r:id", id);
        }
        a.Text("location", location)
            .Text("display", link.GetDescription())
            .Text("tooltip", link.GetToolTip());
        out += "/>";
    }
    if (unknown > 0)
        SheetWarning(c, sheet, std::to_string(unknown) + " hyperlink(s) of a kind not known here");
    if (frames > 0)
        SheetWarning(c, sheet,
                     "the target frame of " + std::to_string(frames) +
                         (frames == 1 ? " hyperlink" : " hyperlinks"));
    if (targetless > 0 && c.Warn)
        c.Warn("Sheet '" + WideToUtf8(sheet.Name()) +
               "': " + THyperlinks::TargetlessWarning(targetless, "the .xlsx file"));
    return out.empty() ? out : "<hyperlinks>" + out + "</hyperlinks>";
}

// ---------------------------------------------------------------------------
// Conditional formats

constexpr std::string_view CompareNames[] = {"",
                                             "between",
                                             "notBetween",
                                             "equal",
                                             "notEqual",
                                             "greaterThan",
                                             "lessThan",
                                             "greaterThanOrEqual",
                                             "lessThanOrEqual"};

// The font, fill and border changes of a condition as a differential format.
std::string DifferentialFormat(const TCondFmtData& d, const TXLSXRangeContext& c) {
    TXLSExcelXmlWriter w;
    std::string& out = w.Buffer();
    out += "<dxf>";
    if (d.FmtFont.Used) {
        const TCondFmtFont& f = d.FmtFont;
        const uint8_t* block = f.Block.data();
        const uint32_t modified =
            uint32_t(block[88] | block[89] << 8 | block[90] << 16 | uint32_t(block[91]) << 24);
        const uint8_t style = f.GetFontStyle();
        out += "<font>";
        // A cleared bit: the style (bold, italic) or the strike-out is set.
        if (!(modified & 0x02)) {
            out += style & xfsBold ? "<b/>" : "<b val=\"0\"/>";
            out += style & xfsItalic ? "<i/>" : "<i val=\"0\"/>";
        }
        if (!(modified & 0x80)) out += style & xfsStrikeOut ? "<strike/>" : "<strike val=\"0\"/>";
        if (block[96] == 0 && block[97] == 0 && block[98] == 0 && block[99] == 0) {
            static constexpr std::string_view underlines[] = {"none", "single", "double", "singleAccounting",
                                                              "doubleAccounting"};
            out += "<u val=\"";
            out += underlines[size_t(f.GetUnderline())];
            out += "\"/>";
        }
        if (block[92] == 0 && block[93] == 0 && block[94] == 0 && block[95] == 0) {
            const uint16_t e = f.GetEscapment();
            out += e == 1   ? "<vertAlign val=\"superscript\"/>"
                   : e == 2 ? "<vertAlign val=\"subscript\"/>"
                            : "<vertAlign val=\"baseline\"/>";
        }
        if (f.GetHeight20() > 0) {
            out += "<sz val=\"";
            AppendXMLNumber(out, f.GetHeight20() / 20.0);
            out += "\"/>";
        }
        if (f.GetColor() != 64 && c.Color) w.WriteColor("", c.Color(f.GetColor()));
        out += "</font>";
    }
    const TCondFmtPattern& p = d.FmtPattern;
    if (p.Used()) {
        out += "<fill><patternFill";
        if (p.UsedPattern) {
            out += " patternType=\"";
            out += FillPatternNames()[std::min<size_t>(p.GetFillPattern(), 18)];
            out += '"';
        }
        out += '>';
        // The block's colour in bits 7-13 fills the cell: the package's
        // background colour of a differential format, as LibreOffice reads it.
        if (p.UsedBack && c.Color) w.WriteColor("fg", c.Color(p.GetBackColor()));
        if (p.UsedFore && c.Color) w.WriteColor("bg", c.Color(p.GetForeColor()));
        out += "</patternFill></fill>";
    }
    const TCondFmtBorder& b = d.FmtBorder;
    if (b.Used()) {
        static constexpr std::string_view sides[] = {"left", "right", "top", "bottom"};
        out += "<border>";
        for (int s = 0; s < 4; ++s) {
            out += '<';
            out += sides[s];
            if (!b.UsedSides[size_t(s)] || b.GetStyle(s) == 0 || b.GetStyle(s) > 13) {
                out += "/>";
                continue;
            }
            out += " style=\"";
            out += BorderStyleNames()[b.GetStyle(s)];
            out += "\">";
            if (c.Color) w.WriteColor("", c.Color(b.GetColor(s)));
            out += "</";
            out += sides[s];
            out += '>';
        }
        out += "</border>";
    }
    out += "</dxf>";
    return std::move(out);
}

std::string ConditionalFormats(TSheet& sheet, const TXLSXRangeContext& c) {
    TConditionalFormats& formats = sheet.ConditionalFormats();
    std::string out;
    int priority = 0, kept = 0, unwritten = 0, replaced = 0;
    for (int i = 0; i < formats.Count(); ++i) {
        const TConditionalFormat& f = formats.Items(i);
        // The formulas are written for the first cell of the area written first.
        int formulaCol = 0, formulaRow = 0;
        const std::string sqref = AreasText(f.Areas, FormulaArea(f.Areas, formulaCol, formulaRow));
        std::string rules;
        for (int k = 0; k < 3; ++k) {
            const TCondFmtData& d = f.Condition(k);
            if (!d.Written() || sqref.empty()) continue;
            const bool compare = d.GetCompareCell();
            const auto op = size_t(d.GetCompOperator());
            if ((compare && op == 0) || d.Formula1Tokens.empty() || !c.Formulas) {
                ++unwritten;
                continue;
            }
            int row = 0, col = 0;
            d.BaseCell(row, col);
            std::u16string formulas[2];
            try {
                formulas[0] = c.Formulas->RangeFormulaTextAt(sheet.Index(), d.Formula1Tokens, row, col,
                                                             formulaRow, formulaCol);
                if (compare && (op == 1 || op == 2))
                    formulas[1] = c.Formulas->RangeFormulaTextAt(sheet.Index(), d.Formula2Tokens, row, col,
                                                                 formulaRow, formulaCol);
            } catch (const XLSError&) {
                ++unwritten;
                continue;
            }
            // Number formats, alignment and protection the model keeps as read only.
            if (!d.NumberFormat.empty() || !d.Alignment.empty() || !d.Protection.empty()) ++kept;
            rules += "<cfRule";
            TAttributes a{rules};
            a.Add("type", compare ? "cellIs" : "expression");
            if (d.FmtFont.Used || d.FmtPattern.Used() || d.FmtBorder.Used()) {
                a.Number("dxfId", c.FirstDxf + int64_t(c.Dxfs->size()));
                c.Dxfs->push_back(DifferentialFormat(d, c));
            }
            a.Number("priority", ++priority);
            if (compare) a.Add("operator", CompareNames[op]);
            rules += '>';
            for (const std::u16string& text : formulas) {
                if (text.empty()) continue;
                rules += "<formula>";
                AppendPackageText(rules, text, TPackageText::Plain, &replaced);
                rules += "</formula>";
            }
            rules += "</cfRule>";
        }
        if (rules.empty()) continue;
        out += "<conditionalFormatting";
        TAttributes{out}.Add("sqref", sqref);
        out += '>' + rules + "</conditionalFormatting>";
    }
    if (unwritten > 0)
        SheetWarning(c, sheet, std::to_string(unwritten) + " condition(s) of conditional formats");
    UncarriedWarning(c, sheet, replaced, "conditional formats");
    if (kept > 0)
        SheetWarning(c, sheet,
                     "the number formats, alignment or protection of " + std::to_string(kept) +
                         " condition(s) of conditional formats");
    return out;
}

// ---------------------------------------------------------------------------
// Data validations

constexpr std::string_view ValidationTypes[] = {"none", "whole", "decimal",    "list",
                                                "date", "time",  "textLength", "custom"};
constexpr std::string_view ValidationOperators[] = {
    "between",  "notBetween",         "equal",          "notEqual", "greaterThan",
    "lessThan", "greaterThanOrEqual", "lessThanOrEqual"};
constexpr std::string_view ErrorStyles[] = {"stop", "warning", "information"};

std::string DataValidations(TSheet& sheet, const TXLSXRangeContext& c) {
    TDataValidations& validations = sheet.Validations();
    std::string out;
    int count = 0, unwritten = 0, replaced = 0;
    for (int i = 0; i < validations.Count(); ++i) {
        const TDataValidation& v = validations.Items(i);
        // The formulas are written for the first cell of the area written first.
        int formulaCol = 0, formulaRow = 0;
        const std::string sqref = AreasText(v.Areas, FormulaArea(v.Areas, formulaCol, formulaRow));
        if (sqref.empty()) continue;
        int row = 0, col = 0;
        v.BaseCell(row, col);
        const TValidationType type = v.GetValidationType();
        const TValidationOperator op = v.GetValidationOperator();
        // As many formulas as the type and operator take: a reader drops a
        // validation with one more (a stored second formula of a custom rule).
        const int taken =
            type == TValidationType::vtAny ? 0
            : type == TValidationType::vtList || type == TValidationType::vtCustom ||
                    (op != TValidationOperator::vopBetween && op != TValidationOperator::vopNotBetween)
                ? 1
                : 2;
        std::u16string formulas[2];
        try {
            // An explicit list holds its items apart with NUL; text with ",".
            const auto text = [&](const std::vector<uint8_t>& tokens) {
                return tokens.empty() || !c.Formulas
                           ? std::u16string()
                           : c.Formulas->RangeFormulaTextAt(sheet.Index(),
                                                            SwapListSeparator(tokens, u'\0', u','), row, col,
                                                            formulaRow, formulaCol);
            };
            if (taken > 0) formulas[0] = text(v.Expression1Tokens);
            if (taken > 1) formulas[1] = text(v.Expression2Tokens);
        } catch (const XLSError&) {
            ++unwritten;
            continue;
        }
        out += "<dataValidation";
        TAttributes a{out};
        if (type != TValidationType::vtAny) a.Add("type", ValidationTypes[size_t(type)]);
        if (v.GetValidationStyle() != TValidationStyle::vsStop)
            a.Add("errorStyle", ErrorStyles[std::min<size_t>(size_t(v.GetValidationStyle()), 2)]);
        if (type != TValidationType::vtAny)
            a.Add("operator", ValidationOperators[std::min<size_t>(size_t(op), 7)]);
        const uint8_t options = v.GetOptions();
        // The package's showDropDown hides the list's drop-down, as the flag of the file does.
        a.Flag("allowBlank", options & voAllowEmptyCells)
            .Flag("showDropDown", options & voSupressDropDown)
            .Flag("showInputMessage", options & voShowPromptBox)
            .Flag("showErrorMessage", options & voShowErrorBox)
            .Text("errorTitle", v.GetErrorTitle())
            .Text("error", v.GetErrorMsg())
            .Text("promptTitle", v.GetInputTitle())
            .Text("prompt", v.GetInputMsg())
            .Add("sqref", sqref);
        out += '>';
        for (int k = 0; k < 2; ++k) {
            if (formulas[k].empty()) continue;
            out += k == 0 ? "<formula1>" : "<formula2>";
            AppendPackageText(out, formulas[k], TPackageText::Plain, &replaced);
            out += k == 0 ? "</formula1>" : "</formula2>";
        }
        out += "</dataValidation>";
        ++count;
    }
    if (unwritten > 0) SheetWarning(c, sheet, std::to_string(unwritten) + " data validation(s)");
    UncarriedWarning(c, sheet, replaced, "data validations");
    if (count == 0) return {};
    std::string element = "<dataValidations count=\"" + std::to_string(count) + "\">";
    return element + out + "</dataValidations>";
}

// ---------------------------------------------------------------------------
// Autofilter

// The comparison codes of a filter condition as the package names them.
constexpr std::string_view FilterOperators[] = {
    "", "lessThan", "equal", "lessThanOrEqual", "greaterThan", "notEqual", "greaterThanOrEqual"};

bool FilterRange(TSheet& sheet, const TXLSXRangeContext& c, int& col1, int& row1, int& col2, int& row2) {
    TInternalName* name =
        c.Formulas ? c.Formulas->Names().FindBuiltInName(FilterDatabaseCode, sheet.Index()) : nullptr;
    if (!name) {
        MadeFilterRange(sheet, MaxCol, MaxRow, col1, row1, col2, row2);
        return true;
    }
    std::u16string text = name->FormulaText;
    if (text.empty() && name->TokenLength > 0) {
        TFormulaDecoding how;
        how.Sheet = sheet.Index();
        how.FileSyntax = true;
        how.TokenVersion = c.NameTokens;
        try {
            text = c.Formulas->DecodeFormula(name->Data, name->TokenLength, how);
        } catch (const XLSError&) {
            return false;
        }
    }
    const size_t bang = text.rfind(u'!');
    if (bang != text.npos) text.erase(0, bang + 1);
    std::erase(text, u'$');
    if (!AreaStrToColRowPlain(text, col1, row1, col2, row2)) {
        if (!RefStrToColRowPlain(text, col1, row1)) return false;
        col2 = col1;
        row2 = row1;
    }
    OrderArea(col1, row1, col2, row2);
    return true;
}

// One condition as a custom filter; false for one a package cannot hold.
bool CustomFilter(std::string& out, const TAutoFilterCondition& k) {
    std::string value;
    std::string_view op = k.Operator < std::size(FilterOperators) ? FilterOperators[k.Operator] : "";
    switch (k.Kind) {
    case 1:
        AppendXMLNumber(value, k.Number);
        break;
    case 2:
        value = EncodeXString(k.Text);
        break;
    case 3:
        value = k.BoolOrError ? "TRUE" : "FALSE";
        break;
    case 4:
        value = WideToUtf8(ErrorFileText(ErrorCodeToIndex(k.BoolOrError)));
        break;
    case 6: // every cell that is not blank
        op = "notEqual";
        value = " ";
        break;
    default:
        return false;
    }
    if (op.empty()) return false;
    out += "<customFilter";
    TAttributes a{out};
    if (op != "equal") a.Add("operator", op);
    a.Add("val", value);
    out += "/>";
    return true;
}

std::string AutoFilter(TSheet& sheet, const TXLSXRangeContext& c) {
    const TAutoFilters& filters = sheet.AutoFilters();
    if (!filters.Present()) return {};
    int col1, row1, col2, row2;
    if (!FilterRange(sheet, c, col1, row1, col2, row2)) {
        SheetWarning(c, sheet, "the autofilter (its range cannot be read)");
        return {};
    }
    std::string out = "<autoFilter";
    std::string ref;
    AppendArea(ref, col1, row1, col2, row2);
    TAttributes{out}.Add("ref", ref);
    std::string columns;
    int unwritten = 0;
    for (int i = 0; i < filters.Count(); ++i) {
        const TAutoFilter* f = filters.Items(i);
        if (!f) continue;
        std::string column;
        const bool top10 = f->Flags & 0x10;
        if (top10) {
            column += "<top10";
            TAttributes{column}
                .Flag("top", f->Flags & 0x20)
                .Flag("percent", f->Flags & 0x40)
                .Number("val", f->Flags >> 7);
            column += "/>";
        } else if (f->Conditions[0].Kind == 5) {
            column += "<filters blank=\"1\"/>";
        } else {
            std::string custom, values;
            int written = 0, equal = 0;
            for (const TAutoFilterCondition& k : f->Conditions) {
                if (k.Kind == 0) continue;
                if (!CustomFilter(custom, k)) {
                    ++unwritten;
                    continue;
                }
                ++written;
                // Values equal to: a list of values, as spreadsheet programs write it.
                const size_t at = custom.rfind(" val=\"");
                if (k.Operator == 2 && k.Kind >= 1 && k.Kind <= 4) {
                    ++equal;
                    values += "<filter" + custom.substr(at, custom.size() - at - 2) + "/>";
                }
            }
            if (written == 0) continue;
            // Two conditions are joined by AND when the join bits are 0.
            const bool both = written == 2 && (f->Flags & 3) == 0;
            if (equal == written && !both) {
                column += "<filters>" + values + "</filters>";
            } else {
                column += "<customFilters";
                TAttributes{column}.Flag("and", both);
                column += '>' + custom + "</customFilters>";
            }
        }
        columns += "<filterColumn";
        TAttributes{columns}.Number("colId", f->Entry);
        columns += '>' + column + "</filterColumn>";
    }
    if (unwritten > 0) SheetWarning(c, sheet, std::to_string(unwritten) + " autofilter condition(s)");
    return columns.empty() ? out + "/>" : out + '>' + columns + "</autoFilter>";
}

} // namespace

void MadeFilterRange(TSheet& sheet, int maxCol, int maxRow, int& col1, int& row1, int& col2, int& row2) {
    const TAutoFilters& filters = sheet.AutoFilters();
    col1 = std::min(sheet.FirstCol(), maxCol);
    col2 = std::clamp(std::max(sheet.LastCol(), col1 + filters.Count() - 1), col1, maxCol);
    row1 = std::min(sheet.FirstRow(), maxRow);
    row2 = std::clamp(sheet.LastRow(), row1, maxRow);
}

TXLSXRangeElements MakeRangeElements(TSheet& sheet, const TXLSXRangeContext& context) {
    TXLSXRangeElements made;
    // In the order of the worksheet schema.
    std::string text = AutoFilter(sheet, context);
    if (!text.empty()) made.Elements.emplace_back(etautoFilter, std::move(text));
    text = ConditionalFormats(sheet, context);
    if (!text.empty()) made.Elements.emplace_back(etconditionalFormatting, std::move(text));
    text = DataValidations(sheet, context);
    if (!text.empty()) made.Elements.emplace_back(etdataValidations, std::move(text));
    text = Hyperlinks(sheet, context, made);
    if (!text.empty()) made.Elements.emplace_back(ethyperlinks, std::move(text));
    return made;
}

namespace {
// The children of an element: between the end of its start tag and its end tag.
std::string_view Inner(std::string_view element) {
    const size_t start = element.find('>'), end = element.rfind("</");
    if (start == element.npos || start == 0 || end == element.npos || end < start ||
        element[start - 1] == '/')
        return {};
    return element.substr(start + 1, end - start - 1);
}

// Elements at the first level of a run of elements, by their start tags.
int CountChildren(std::string_view children) {
    int n = 0, depth = 0;
    for (size_t i = 0; i + 1 < children.size(); ++i) {
        if (children[i] != '<') continue;
        const size_t close = children.find('>', i);
        if (close == children.npos) break;
        const bool end = children[i + 1] == '/', empty = children[close - 1] == '/';
        if (!end && children[i + 1] != '?' && children[i + 1] != '!' && depth++ == 0) ++n;
        if (end || empty) --depth;
        i = close;
    }
    return n;
}
} // namespace

int ListElementCount(std::string_view element) {
    return CountChildren(Inner(element));
}

std::string MergeListElements(std::string_view kept, std::string_view made) {
    auto inner = [](std::string_view element) { return Inner(element); };
    const std::string_view keptChildren = inner(kept), madeChildren = inner(made);
    if (kept.empty() || madeChildren.empty()) return std::string(kept.empty() ? made : kept);
    auto count = [&](std::string_view children) { return CountChildren(children); };
    std::string startTag(kept.substr(0, kept.find('>') + 1));
    if (startTag.back() == '>' && startTag[startTag.size() - 2] == '/') {
        startTag.erase(startTag.size() - 2, 1); // an empty kept element gets an end tag
    }
    const size_t at = startTag.find(" count=\"");
    if (at != startTag.npos) {
        const size_t end = startTag.find('"', at + 8);
        startTag.replace(at + 8, end - at - 8, std::to_string(count(keptChildren) + count(madeChildren)));
    }
    std::string name = startTag.substr(1, startTag.find_first_of(" />") - 1);
    return startTag + std::string(keptChildren) + std::string(madeChildren) + "</" + name + ">";
}

} // namespace xls

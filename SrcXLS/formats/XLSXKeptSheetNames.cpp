#include "SrcXLS/formats/XLSXKeptSheetNames.h"

#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXml.h"
#include "SrcXLS/formulas/FormulaHandler.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace xls {

namespace {

// Elements whose text is a formula, by local name.
constexpr std::string_view FormulaElements[] = {"calculatedColumnFormula",
                                                "f",
                                                "FmlaGroup",
                                                "FmlaLink",
                                                "FmlaPict",
                                                "FmlaRange",
                                                "FmlaTxbx",
                                                "formula",
                                                "formula1",
                                                "formula2",
                                                "totalsRowFormula"};
// Attributes whose value is a formula, of any element.
constexpr std::string_view FormulaAttributes[] = {"fmlaGroup",  "fmlaLink",      "fmlaRange", "fmlaTxbx",
                                                  "linkedCell", "listFillRange", "textlink"};
enum class TValue { Other, Formula, SheetName };
// Attributes of one element: a hyperlink's place, the sheet of a source.
struct TElementAttribute {
    std::string_view Element, Attribute;
    TValue Kind;
};
constexpr TElementAttribute ElementAttributes[] = {{"dataRef", "sheet", TValue::SheetName},
                                                   {"hyperlink", "location", TValue::Formula},
                                                   {"worksheetSource", "sheet", TValue::SheetName}};

template <size_t N> bool Among(const std::string_view (&names)[N], std::string_view name) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

std::string_view LocalName(std::string_view name) {
    const size_t colon = name.rfind(':');
    return colon == name.npos ? name : name.substr(colon + 1);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

TValue AttributeKind(std::string_view element, std::string_view attribute) {
    for (const TElementAttribute& a : ElementAttributes)
        if (a.Element == element && a.Attribute == attribute) return a.Kind;
    return Among(FormulaAttributes, attribute) ? TValue::Formula : TValue::Other;
}

class TKeptNames {
public:
    TKeptNames(std::string_view xml, const TKeptTextFollow& follow, std::vector<std::string>& unfollowed)
        : xml(xml), follow(follow), unfollowed(unfollowed) {}

    std::string Run() {
        size_t at = 0;
        while ((at = xml.find('<', at)) != xml.npos) {
            const std::string_view rest = xml.substr(at);
            if (rest.starts_with("<!--") || rest.starts_with("<![CDATA[")) {
                const size_t end = xml.find(rest[2] == '-' ? "-->" : "]]>", at);
                if (end == xml.npos) break;
                at = end + 3;
            } else if (rest.starts_with("<?") || rest.starts_with("<!") || rest.starts_with("</")) {
                ++at;
            } else {
                at = StartTag(at);
            }
        }
        if (!changed) return std::string(xml);
        out.append(xml, from);
        return std::move(out);
    }

private:
    // The tag at "<"; where scanning goes on.
    size_t StartTag(size_t at) {
        size_t p = at + 1;
        while (p < xml.size() && !IsSpace(xml[p]) && xml[p] != '/' && xml[p] != '>') ++p;
        const std::string_view element = LocalName(xml.substr(at + 1, p - at - 1));
        for (;;) {
            while (p < xml.size() && IsSpace(xml[p])) ++p;
            if (p >= xml.size() || xml[p] == '/' || xml[p] == '>') break;
            const size_t nameAt = p;
            while (p < xml.size() && !IsSpace(xml[p]) && xml[p] != '=' && xml[p] != '>') ++p;
            const std::string_view attribute = LocalName(xml.substr(nameAt, p - nameAt));
            while (p < xml.size() && IsSpace(xml[p])) ++p;
            if (p >= xml.size() || xml[p] != '=') return p;
            ++p;
            while (p < xml.size() && IsSpace(xml[p])) ++p;
            if (p >= xml.size() || (xml[p] != '"' && xml[p] != '\'')) return p;
            const char quote = xml[p];
            const size_t end = xml.find(quote, p + 1);
            if (end == xml.npos) return xml.size();
            const TValue kind = AttributeKind(element, attribute);
            if (kind != TValue::Other) Follow(p + 1, end, kind, quote);
            p = end + 1;
        }
        const size_t close = xml.find('>', p);
        if (close == xml.npos) return xml.size();
        if (xml[p] != '/' && Among(FormulaElements, element)) {
            // Text alone up to the element's end.
            const size_t next = xml.find('<', close + 1);
            if (next != xml.npos && xml.substr(next).starts_with("</") && next > close + 1)
                Follow(close + 1, next, TValue::Formula, 0);
        }
        return close + 1;
    }

    // The raw text between from and to with the sheets it names followed.
    void Follow(size_t begin, size_t end, TValue kind, char quote) {
        const std::u16string text = XMLDecodeText(xml.substr(begin, end - begin));
        bool failed = false;
        const std::u16string written = follow(text, kind == TValue::SheetName, failed);
        if (failed) unfollowed.push_back(WideToUtf8(text));
        if (written == text) return;
        out.append(xml, from, begin - from);
        for (char c : PackageText(written, TPackageText::Plain)) {
            if (c == '\'' && quote == '\'')
                out += "&apos;";
            else
                out += c;
        }
        from = end;
        changed = true;
    }

    std::string_view xml;
    const TKeptTextFollow& follow;
    std::vector<std::string>& unfollowed;
    std::string out;
    size_t from = 0;
    bool changed = false;
};

} // namespace

std::string KeptTextWithWrittenSheetNames(std::string_view xml, TFormulaHandler& formulas, int sheet,
                                          std::vector<std::string>& unfollowed) {
    if (!formulas.RenamesSheets()) return std::string(xml);
    const TKeptTextFollow follow = [&](std::u16string_view text, bool sheetName, bool& failed) {
        return sheetName ? formulas.WrittenSheetName(text)
                         : formulas.WithWrittenSheetNames(text, sheet, 0, 0, false, &failed);
    };
    return KeptTextFollowing(xml, follow, unfollowed);
}

std::string KeptTextFollowing(std::string_view xml, const TKeptTextFollow& follow,
                              std::vector<std::string>& unfollowed) {
    return TKeptNames(xml, follow, unfollowed).Run();
}

} // namespace xls

#include "SrcXLS/formulas/TableReferences.h"

#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaText.h"

#include <algorithm>

namespace xls {

namespace {

enum TPart : unsigned { tpAll = 1, tpData = 2, tpHeaders = 4, tpTotals = 8, tpThisRow = 16 };

struct TSelection {
    unsigned Parts = 0;
    std::vector<std::u16string> Columns; // one, or the two ends of a range
};

class TSelectorParser {
public:
    explicit TSelectorParser(std::u16string_view text) : text(text) {}

    bool Parse(TSelection& selector) {
        Blanks();
        if (at == text.size()) return true;
        if (text[at] == u'@') {
            ++at;
            selector.Parts |= tpThisRow;
            Blanks();
            if (at == text.size()) return true;
            if (text[at] != u'[') return Column(selector, Plain()) && End();
            return Columns(selector) && End();
        }
        if (text[at] == u'#') return Special(selector, Plain()) && End();
        if (text[at] != u'[') return Column(selector, Plain()) && End();
        for (;;) {
            if (at >= text.size() || text[at] != u'[') return false;
            std::u16string item;
            if (!Bracketed(item)) return false;
            if (!item.empty() && item[0] == u'#') {
                if (!Special(selector, item)) return false;
            } else {
                if (!selector.Columns.empty() || !Column(selector, item)) return false;
                Blanks();
                if (at < text.size() && text[at] == u':') {
                    ++at;
                    Blanks();
                    std::u16string last;
                    if (at >= text.size() || text[at] != u'[' || !Bracketed(last) || !Column(selector, last))
                        return false;
                }
            }
            Blanks();
            if (at == text.size()) return true;
            if (text[at] != u',') return false;
            ++at;
            Blanks();
        }
    }

private:
    void Blanks() {
        while (at < text.size() && text[at] == u' ') ++at;
    }
    bool End() {
        Blanks();
        return at == text.size();
    }
    // "[Price]" or "[Price]:[Qty]".
    bool Columns(TSelection& selector) {
        std::u16string first;
        if (!Bracketed(first) || !Column(selector, first)) return false;
        Blanks();
        if (at < text.size() && text[at] == u':') {
            ++at;
            Blanks();
            std::u16string last;
            if (!Bracketed(last) || !Column(selector, last)) return false;
        }
        return true;
    }
    // The text up to the end or an item's end, "'" escaping the next character.
    std::u16string Plain() {
        std::u16string out;
        while (at < text.size() && text[at] != u',' && text[at] != u':' && text[at] != u']') {
            if (text[at] == u'\'' && at + 1 < text.size()) ++at;
            out.push_back(text[at++]);
        }
        while (!out.empty() && out.back() == u' ') out.pop_back();
        return out;
    }
    // "[...]" at at: its text unescaped.
    bool Bracketed(std::u16string& out) {
        if (at >= text.size() || text[at] != u'[') return false;
        ++at;
        while (at < text.size() && text[at] != u']') {
            if (text[at] == u'\'' && at + 1 < text.size()) ++at;
            out.push_back(text[at++]);
        }
        if (at >= text.size()) return false;
        ++at;
        return true;
    }
    static bool Special(TSelection& selector, std::u16string_view item) {
        struct TName {
            std::u16string_view Text;
            TPart Part;
        };
        static constexpr TName names[] = {{u"#ALL", tpAll},
                                          {u"#DATA", tpData},
                                          {u"#HEADERS", tpHeaders},
                                          {u"#TOTALS", tpTotals},
                                          {u"#THIS ROW", tpThisRow}};
        for (const TName& n : names)
            if (TNoCaseEqual()(item, n.Text)) {
                selector.Parts |= n.Part;
                return true;
            }
        return false;
    }
    static bool Column(TSelection& selector, std::u16string item) {
        if (item.empty() || selector.Columns.size() >= 2) return false;
        selector.Columns.push_back(std::move(item));
        return true;
    }

    std::u16string_view text;
    size_t at = 0;
};

} // namespace

bool ResolveTableReference(const TTableDef& table, std::u16string_view selector, int baseRow,
                           TTableArea& area, std::string& why) {
    TSelection s;
    if (!TSelectorParser(selector).Parse(s)) {
        why = "a table reference that cannot be read";
        return false;
    }
    const int headers = std::max(0, table.HeaderRows), totals = std::max(0, table.TotalsRows);
    const int dataFirst = table.Row1 + headers, dataLast = table.Row2 - totals;
    area.Col1 = table.Col1;
    area.Col2 = table.Col2;
    if (!s.Columns.empty()) {
        int cols[2] = {-1, -1};
        for (size_t k = 0; k < s.Columns.size(); ++k) {
            for (size_t c = 0; c < table.Columns.size() && cols[k] < 0; ++c)
                if (TNoCaseEqual()(table.Columns[c], s.Columns[k])) cols[k] = table.Col1 + int(c);
            if (cols[k] < 0) {
                why = "no column " + WideToUtf8(s.Columns[k]) + " in table " + WideToUtf8(table.Name);
                return false;
            }
        }
        area.Col1 = cols[0];
        area.Col2 = s.Columns.size() == 2 ? cols[1] : cols[0];
        if (area.Col1 > area.Col2) std::swap(area.Col1, area.Col2);
    }
    unsigned parts = s.Parts ? s.Parts : unsigned(tpData);
    if (parts & tpThisRow) {
        if (parts != tpThisRow) {
            why = "a table reference that cannot be read";
            return false;
        }
        if (baseRow < dataFirst || baseRow > dataLast) {
            why = "a row of table " + WideToUtf8(table.Name) + " outside its data";
            return false;
        }
        area.Row1 = area.Row2 = baseRow;
        area.ThisRow = true;
        return true;
    }
    if (parts & tpAll) parts = tpHeaders | tpData | tpTotals;
    // The rows of each part asked for, which must follow one another.
    int first = -1, last = -1;
    auto take = [&](unsigned part, int from, int to, const char* name) {
        if (!(parts & part)) return true;
        if (from > to) {
            // #All takes the parts there are.
            if (s.Parts & tpAll) return true;
            why = std::string("table ") + WideToUtf8(table.Name) + " has no " + name;
            return false;
        }
        if (last >= 0 && from != last + 1) {
            why = "parts of table " + WideToUtf8(table.Name) + " that do not meet";
            return false;
        }
        if (first < 0) first = from;
        last = to;
        return true;
    };
    if (!take(tpHeaders, table.Row1, dataFirst - 1, "header row") ||
        !take(tpData, dataFirst, dataLast, "data rows") ||
        !take(tpTotals, dataLast + 1, table.Row2, "totals row"))
        return false;
    if (first < 0) {
        why = "table " + WideToUtf8(table.Name) + " has no rows";
        return false;
    }
    area.Row1 = first;
    area.Row2 = last;
    return true;
}

} // namespace xls

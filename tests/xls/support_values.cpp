#include "support_values.h"

#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace testvalues {

std::string Text(const xls::TFormulaValue& v) {
    char buf[64];
    switch (v.ValType) {
    case xls::fvFloat:
        std::snprintf(buf, sizeof buf, "%.15g", v.Float);
        return buf;
    case xls::fvBoolean:
        return v.Boolean ? "TRUE" : "FALSE";
    case xls::fvError:
        return xls::WideToUtf8(xls::ErrorFileText(v.Error));
    case xls::fvString:
        return xls::WideToUtf8(v.Text);
    default:
        return "";
    }
}

bool Same(const std::string& ours, const std::string& theirs, double tolerance) {
    if (ours == theirs) return true;
    if ((ours == "TRUE" && theirs == "1") || (ours == "FALSE" && theirs == "0")) return true;
    if (ours == "#NUM!" && theirs == "Err:502") return true;
    char* end1;
    char* end2;
    const double a = std::strtod(ours.c_str(), &end1), b = std::strtod(theirs.c_str(), &end2);
    if (ours.empty() || theirs.empty() || *end1 || *end2) return false;
    return std::fabs(a - b) <= tolerance * std::max(1.0, std::fabs(b));
}

bool SameValue(const TCellValue& a, const TCellValue& b) {
    if (a.Kind != b.Kind) return false;
    if (a.Kind != 'n') return a.Text == b.Text;
    return a.Number == b.Number ||
           std::fabs(a.Number - b.Number) <= 1e-12 * std::max(std::fabs(a.Number), std::fabs(b.Number));
}

std::string Shown(const TCellValue* v) {
    if (!v) return "(no cell)";
    if (v->Kind != 'n') return std::string(1, v->Kind) + " " + v->Text.substr(0, 60);
    char buf[40];
    std::snprintf(buf, sizeof buf, "n %.17g", v->Number);
    return buf;
}

bool Volatile(const std::string& formula) {
    static const char* names[] = {"NOW(",  "TODAY(", "RAND(",   "RANDBETWEEN(",
                                  "INFO(", "CELL(",  "OFFSET(", "INDIRECT("};
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* n) { return formula.find(n) != std::string::npos; });
}

} // namespace testvalues

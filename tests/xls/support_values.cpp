#include "support_values.h"

#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

} // namespace testvalues

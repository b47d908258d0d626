#include "SrcXLS/formulas/LaterFunctions.h"

#include "SrcXLS/formulas/FormulaText.h"

#include <algorithm>
#include <array>

namespace xls {

namespace {

// Both lists in ascending order of their upper-case texts. The functions
// of Excel 2007, and three of Excel 2010 that packages also name without
// the prefix (the format's own function list took them in).
constexpr std::array<std::u16string_view, 15> Excel2007 = {
    u"AVERAGEIF",        u"AVERAGEIFS", u"COUNTIFS",
    u"CUBEKPIMEMBER",    u"CUBEMEMBER", u"CUBEMEMBERPROPERTY",
    u"CUBERANKEDMEMBER", u"CUBESET",    u"CUBESETCOUNT",
    u"CUBEVALUE",        u"IFERROR",    u"ISO.CEILING",
    u"NETWORKDAYS.INTL", u"SUMIFS",     u"WORKDAY.INTL",
};

constexpr std::array<std::u16string_view, 93> AddIn = {
    u"ACCRINT",    u"ACCRINTM",    u"AMORDEGRC",   u"AMORLINC",  u"BESSELI", u"BESSELJ",   u"BESSELK",
    u"BESSELY",    u"BIN2DEC",     u"BIN2HEX",     u"BIN2OCT",   u"COMPLEX", u"CONVERT",   u"COUPDAYBS",
    u"COUPDAYS",   u"COUPDAYSNC",  u"COUPNCD",     u"COUPNUM",   u"COUPPCD", u"CUMIPMT",   u"CUMPRINC",
    u"DEC2BIN",    u"DEC2HEX",     u"DEC2OCT",     u"DELTA",     u"DISC",    u"DOLLARDE",  u"DOLLARFR",
    u"DURATION",   u"EDATE",       u"EFFECT",      u"EOMONTH",   u"ERF",     u"ERFC",      u"FACTDOUBLE",
    u"FVSCHEDULE", u"GCD",         u"GESTEP",      u"HEX2BIN",   u"HEX2DEC", u"HEX2OCT",   u"IMABS",
    u"IMAGINARY",  u"IMARGUMENT",  u"IMCONJUGATE", u"IMCOS",     u"IMDIV",   u"IMEXP",     u"IMLN",
    u"IMLOG10",    u"IMLOG2",      u"IMPOWER",     u"IMPRODUCT", u"IMREAL",  u"IMSIN",     u"IMSQRT",
    u"IMSUB",      u"IMSUM",       u"INTRATE",     u"ISEVEN",    u"ISODD",   u"LCM",       u"MDURATION",
    u"MROUND",     u"MULTINOMIAL", u"NETWORKDAYS", u"NOMINAL",   u"OCT2BIN", u"OCT2DEC",   u"OCT2HEX",
    u"ODDFPRICE",  u"ODDFYIELD",   u"ODDLPRICE",   u"ODDLYIELD", u"PRICE",   u"PRICEDISC", u"PRICEMAT",
    u"QUOTIENT",   u"RANDBETWEEN", u"RECEIVED",    u"SERIESSUM", u"SQRTPI",  u"TBILLEQ",   u"TBILLPRICE",
    u"TBILLYIELD", u"WEEKNUM",     u"WORKDAY",     u"XIRR",      u"XNPV",    u"YEARFRAC",  u"YIELD",
    u"YIELDDISC",  u"YIELDMAT",
};

// Functions of Excel 2010 and later: the name and the text packages give it.
struct TFuture {
    std::u16string_view Name, Text;
};
constexpr std::array<TFuture, 131> Future = {{
    {u"ACOT", u"_xlfn.ACOT"},
    {u"ACOTH", u"_xlfn.ACOTH"},
    {u"AGGREGATE", u"_xlfn.AGGREGATE"},
    {u"ANCHORARRAY", u"_xlfn.ANCHORARRAY"},
    {u"ARABIC", u"_xlfn.ARABIC"},
    {u"BASE", u"_xlfn.BASE"},
    {u"BETA.DIST", u"_xlfn.BETA.DIST"},
    {u"BETA.INV", u"_xlfn.BETA.INV"},
    {u"BINOM.DIST", u"_xlfn.BINOM.DIST"},
    {u"BINOM.DIST.RANGE", u"_xlfn.BINOM.DIST.RANGE"},
    {u"BINOM.INV", u"_xlfn.BINOM.INV"},
    {u"BITAND", u"_xlfn.BITAND"},
    {u"BITLSHIFT", u"_xlfn.BITLSHIFT"},
    {u"BITOR", u"_xlfn.BITOR"},
    {u"BITRSHIFT", u"_xlfn.BITRSHIFT"},
    {u"BITXOR", u"_xlfn.BITXOR"},
    {u"CEILING.MATH", u"_xlfn.CEILING.MATH"},
    {u"CEILING.PRECISE", u"_xlfn.CEILING.PRECISE"},
    {u"CHISQ.DIST", u"_xlfn.CHISQ.DIST"},
    {u"CHISQ.DIST.RT", u"_xlfn.CHISQ.DIST.RT"},
    {u"CHISQ.INV", u"_xlfn.CHISQ.INV"},
    {u"CHISQ.INV.RT", u"_xlfn.CHISQ.INV.RT"},
    {u"CHISQ.TEST", u"_xlfn.CHISQ.TEST"},
    {u"COMBINA", u"_xlfn.COMBINA"},
    {u"CONCAT", u"_xlfn.CONCAT"},
    {u"CONFIDENCE.NORM", u"_xlfn.CONFIDENCE.NORM"},
    {u"CONFIDENCE.T", u"_xlfn.CONFIDENCE.T"},
    {u"COT", u"_xlfn.COT"},
    {u"COTH", u"_xlfn.COTH"},
    {u"COVARIANCE.P", u"_xlfn.COVARIANCE.P"},
    {u"COVARIANCE.S", u"_xlfn.COVARIANCE.S"},
    {u"CSC", u"_xlfn.CSC"},
    {u"CSCH", u"_xlfn.CSCH"},
    {u"DAYS", u"_xlfn.DAYS"},
    {u"DECIMAL", u"_xlfn.DECIMAL"},
    {u"ERF.PRECISE", u"_xlfn.ERF.PRECISE"},
    {u"ERFC.PRECISE", u"_xlfn.ERFC.PRECISE"},
    {u"EXPON.DIST", u"_xlfn.EXPON.DIST"},
    {u"F.DIST", u"_xlfn.F.DIST"},
    {u"F.DIST.RT", u"_xlfn.F.DIST.RT"},
    {u"F.INV", u"_xlfn.F.INV"},
    {u"F.INV.RT", u"_xlfn.F.INV.RT"},
    {u"F.TEST", u"_xlfn.F.TEST"},
    {u"FILTER", u"_xlfn._xlws.FILTER"},
    {u"FILTERXML", u"_xlfn.FILTERXML"},
    {u"FLOOR.MATH", u"_xlfn.FLOOR.MATH"},
    {u"FLOOR.PRECISE", u"_xlfn.FLOOR.PRECISE"},
    {u"FORECAST.ETS", u"_xlfn.FORECAST.ETS"},
    {u"FORECAST.ETS.CONFINT", u"_xlfn.FORECAST.ETS.CONFINT"},
    {u"FORECAST.ETS.SEASONALITY", u"_xlfn.FORECAST.ETS.SEASONALITY"},
    {u"FORECAST.ETS.STAT", u"_xlfn.FORECAST.ETS.STAT"},
    {u"FORECAST.LINEAR", u"_xlfn.FORECAST.LINEAR"},
    {u"FORMULATEXT", u"_xlfn.FORMULATEXT"},
    {u"GAMMA", u"_xlfn.GAMMA"},
    {u"GAMMA.DIST", u"_xlfn.GAMMA.DIST"},
    {u"GAMMA.INV", u"_xlfn.GAMMA.INV"},
    {u"GAMMALN.PRECISE", u"_xlfn.GAMMALN.PRECISE"},
    {u"GAUSS", u"_xlfn.GAUSS"},
    {u"HYPGEOM.DIST", u"_xlfn.HYPGEOM.DIST"},
    {u"IFNA", u"_xlfn.IFNA"},
    {u"IFS", u"_xlfn.IFS"},
    {u"IMCOSH", u"_xlfn.IMCOSH"},
    {u"IMCOT", u"_xlfn.IMCOT"},
    {u"IMCSC", u"_xlfn.IMCSC"},
    {u"IMCSCH", u"_xlfn.IMCSCH"},
    {u"IMSEC", u"_xlfn.IMSEC"},
    {u"IMSECH", u"_xlfn.IMSECH"},
    {u"IMSINH", u"_xlfn.IMSINH"},
    {u"IMTAN", u"_xlfn.IMTAN"},
    {u"ISFORMULA", u"_xlfn.ISFORMULA"},
    {u"ISOWEEKNUM", u"_xlfn.ISOWEEKNUM"},
    {u"LAMBDA", u"_xlfn.LAMBDA"},
    {u"LET", u"_xlfn.LET"},
    {u"LOGNORM.DIST", u"_xlfn.LOGNORM.DIST"},
    {u"LOGNORM.INV", u"_xlfn.LOGNORM.INV"},
    {u"MAXIFS", u"_xlfn.MAXIFS"},
    {u"MINIFS", u"_xlfn.MINIFS"},
    {u"MODE.MULT", u"_xlfn.MODE.MULT"},
    {u"MODE.SNGL", u"_xlfn.MODE.SNGL"},
    {u"MUNIT", u"_xlfn.MUNIT"},
    {u"NEGBINOM.DIST", u"_xlfn.NEGBINOM.DIST"},
    {u"NORM.DIST", u"_xlfn.NORM.DIST"},
    {u"NORM.INV", u"_xlfn.NORM.INV"},
    {u"NORM.S.DIST", u"_xlfn.NORM.S.DIST"},
    {u"NORM.S.INV", u"_xlfn.NORM.S.INV"},
    {u"NUMBERVALUE", u"_xlfn.NUMBERVALUE"},
    {u"PDURATION", u"_xlfn.PDURATION"},
    {u"PERCENTILE.EXC", u"_xlfn.PERCENTILE.EXC"},
    {u"PERCENTILE.INC", u"_xlfn.PERCENTILE.INC"},
    {u"PERCENTRANK.EXC", u"_xlfn.PERCENTRANK.EXC"},
    {u"PERCENTRANK.INC", u"_xlfn.PERCENTRANK.INC"},
    {u"PERMUTATIONA", u"_xlfn.PERMUTATIONA"},
    {u"PHI", u"_xlfn.PHI"},
    {u"POISSON.DIST", u"_xlfn.POISSON.DIST"},
    {u"QUARTILE.EXC", u"_xlfn.QUARTILE.EXC"},
    {u"QUARTILE.INC", u"_xlfn.QUARTILE.INC"},
    {u"QUERYSTRING", u"_xlfn.QUERYSTRING"},
    {u"RANDARRAY", u"_xlfn.RANDARRAY"},
    {u"RANK.AVG", u"_xlfn.RANK.AVG"},
    {u"RANK.EQ", u"_xlfn.RANK.EQ"},
    {u"RRI", u"_xlfn.RRI"},
    {u"SEC", u"_xlfn.SEC"},
    {u"SECH", u"_xlfn.SECH"},
    {u"SEQUENCE", u"_xlfn.SEQUENCE"},
    {u"SHEET", u"_xlfn.SHEET"},
    {u"SHEETS", u"_xlfn.SHEETS"},
    {u"SINGLE", u"_xlfn.SINGLE"},
    {u"SKEW.P", u"_xlfn.SKEW.P"},
    {u"SORT", u"_xlfn._xlws.SORT"},
    {u"SORTBY", u"_xlfn.SORTBY"},
    {u"STDEV.P", u"_xlfn.STDEV.P"},
    {u"STDEV.S", u"_xlfn.STDEV.S"},
    {u"SWITCH", u"_xlfn.SWITCH"},
    {u"T.DIST", u"_xlfn.T.DIST"},
    {u"T.DIST.2T", u"_xlfn.T.DIST.2T"},
    {u"T.DIST.RT", u"_xlfn.T.DIST.RT"},
    {u"T.INV", u"_xlfn.T.INV"},
    {u"T.INV.2T", u"_xlfn.T.INV.2T"},
    {u"T.TEST", u"_xlfn.T.TEST"},
    {u"TEXTJOIN", u"_xlfn.TEXTJOIN"},
    {u"UNICHAR", u"_xlfn.UNICHAR"},
    {u"UNICODE", u"_xlfn.UNICODE"},
    {u"UNIQUE", u"_xlfn.UNIQUE"},
    {u"VAR.P", u"_xlfn.VAR.P"},
    {u"VAR.S", u"_xlfn.VAR.S"},
    {u"WEBSERVICE", u"_xlfn.WEBSERVICE"},
    {u"WEIBULL.DIST", u"_xlfn.WEIBULL.DIST"},
    {u"XLOOKUP", u"_xlfn.XLOOKUP"},
    {u"XMATCH", u"_xlfn.XMATCH"},
    {u"XOR", u"_xlfn.XOR"},
    {u"Z.TEST", u"_xlfn.Z.TEST"},
}};

// The lookups below search these lists by halves.
static_assert(std::is_sorted(Excel2007.begin(), Excel2007.end()) &&
              std::is_sorted(AddIn.begin(), AddIn.end()));
static_assert(std::is_sorted(Future.begin(), Future.end(),
                             [](const TFuture& a, const TFuture& b) { return a.Name < b.Name; }));

template <size_t N> bool Holds(const std::array<std::u16string_view, N>& list, std::u16string_view name) {
    if (name.size() > 24) return false;
    const std::u16string upper = UpperCaseWide(name);
    return std::binary_search(list.begin(), list.end(), std::u16string_view(upper));
}

bool HasFuturePrefix(std::u16string_view text) {
    return text.size() > FuturePrefix.size() &&
           TNoCaseEqual()(text.substr(0, FuturePrefix.size()), FuturePrefix);
}

} // namespace

bool IsExcel2007Function(std::u16string_view name) {
    return Holds(Excel2007, name);
}

bool IsAddInFunction(std::u16string_view name) {
    return Holds(AddIn, name);
}

namespace {
std::u16string_view FutureTextOfUpper(std::u16string_view upper) {
    auto at = std::lower_bound(Future.begin(), Future.end(), upper,
                               [](const TFuture& f, std::u16string_view key) { return f.Name < key; });
    return at != Future.end() && at->Name == upper ? at->Text : std::u16string_view();
}
} // namespace

std::u16string_view FutureFunctionText(std::u16string_view name) {
    if (name.size() > 32) return {};
    return FutureTextOfUpper(UpperCaseWide(name));
}

std::u16string_view WithoutFuturePrefix(std::u16string_view text) {
    return HasFuturePrefix(text) ? text.substr(FuturePrefix.size()) : text;
}

std::u16string_view PackageFunctionName(std::u16string_view text) {
    const std::u16string_view base = WithoutFuturePrefix(text);
    return base.size() < text.size() && IsExcel2007Function(base) ? base : text;
}

std::u16string HiddenFunctionName(std::u16string_view name) {
    if (WithoutFuturePrefix(name).size() < name.size()) return {};
    if (IsExcel2007Function(name)) return std::u16string(FuturePrefix) + UpperCaseWide(name);
    return std::u16string(FutureFunctionText(name));
}

namespace {
bool NameByte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '\\' || uint8_t(c) >= 0x80;
}

// The text a package gives the later function named by text (any letter
// case); empty for any other name. Every later function's name is ASCII.
std::u16string_view FutureTextOf(std::string_view text) {
    if (text.size() < 3 || text.size() > 32) return {};
    char16_t name[32];
    for (size_t k = 0; k < text.size(); ++k) {
        const char b = text[k];
        if (uint8_t(b) >= 0x80) return {};
        name[k] = char16_t(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
    }
    return FutureTextOfUpper(std::u16string_view(name, text.size()));
}

// Whether a name before any "(" may be a later function: most formulas
// call none, and this look is cheaper than reading them through.
bool MayCallLaterFunction(std::string_view text) {
    for (size_t p = text.find('('); p != text.npos; p = text.find('(', p + 1)) {
        size_t i = p;
        while (i > 0 && NameByte(text[i - 1])) --i;
        if (!FutureTextOf(text.substr(i, p - i)).empty()) return true;
    }
    return false;
}
} // namespace

std::string WithLaterFunctionPrefixes(std::string_view text) {
    if (!MayCallLaterFunction(text)) return std::string(text);
    std::string out;
    size_t copied = 0;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            // A text or a quoted sheet name, its quote doubled inside.
            size_t j = i + 1;
            while (j < text.size() && (text[j] != c || (j + 1 < text.size() && text[j + 1] == c)))
                j += text[j] == c ? 2 : 1;
            i = j + 1;
        } else if (c == '[') {
            // A book number or a table reference: nested brackets, "'" escapes.
            int depth = 0;
            size_t j = i;
            for (; j < text.size(); ++j) {
                if (text[j] == '\'') {
                    ++j;
                } else if (text[j] == '[') {
                    ++depth;
                } else if (text[j] == ']' && --depth == 0) {
                    break;
                }
            }
            i = j + 1;
        } else if (NameByte(c)) {
            size_t j = i;
            while (j < text.size() && NameByte(text[j])) ++j;
            // A function of the workbook's own or another book's is named
            // after "!"; a later function stands alone before its "(".
            const bool call = j < text.size() && text[j] == '(' && (i == 0 || text[i - 1] != '!');
            const std::u16string_view future =
                call && !(c >= '0' && c <= '9') ? FutureTextOf(text.substr(i, j - i)) : std::u16string_view();
            if (!future.empty()) {
                out.append(text.substr(copied, i - copied));
                for (char16_t f : future) out.push_back(char(f));
                copied = j;
            }
            i = j;
        } else {
            ++i;
        }
    }
    if (copied == 0) return std::string(text);
    out.append(text.substr(copied));
    return out;
}

} // namespace xls

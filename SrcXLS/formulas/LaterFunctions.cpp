#include "SrcXLS/formulas/LaterFunctions.h"

#include "SrcXLS/formulas/FormulaText.h"

#include <algorithm>
#include <array>

namespace xls {

namespace {

// Both lists in ascending order of their upper-case texts.
constexpr std::array<std::u16string_view, 12> Excel2007 = {
    u"AVERAGEIF",    u"AVERAGEIFS",         u"COUNTIFS",         u"CUBEKPIMEMBER",
    u"CUBEMEMBER",   u"CUBEMEMBERPROPERTY", u"CUBERANKEDMEMBER", u"CUBESET",
    u"CUBESETCOUNT", u"CUBEVALUE",          u"IFERROR",          u"SUMIFS",
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

std::u16string_view WithoutFuturePrefix(std::u16string_view text) {
    return HasFuturePrefix(text) ? text.substr(FuturePrefix.size()) : text;
}

std::u16string_view PackageFunctionName(std::u16string_view text) {
    const std::u16string_view base = WithoutFuturePrefix(text);
    return base.size() < text.size() && IsExcel2007Function(base) ? base : text;
}

} // namespace xls

// Functions that BIFF8's function table lacks, and how a binary workbook
// calls them: through a name, the name's text first as an argument and
// then function 255. Functions of Excel 2007 and later stand under a
// hidden function name "_xlfn.<NAME>" (in .xlsx text only the later ones
// carry that prefix), the Analysis ToolPak's under an external name of the
// add-in book, and user-defined functions under their own name.
#pragma once

#include <string>
#include <string_view>

namespace xls {

// The prefix of the functions later than a file format.
inline constexpr std::u16string_view FuturePrefix = u"_xlfn.";

// Whether a function (any letter case, no prefix) came with Excel 2007
// (IFERROR, SUMIFS...) or is one of the later ones packages name without
// the prefix (NETWORKDAYS.INTL): written "_xlfn.IFERROR" in a binary
// workbook and "IFERROR" in a package.
bool IsExcel2007Function(std::u16string_view name);
// Whether a function (any letter case) is one of the Analysis ToolPak's
// (EDATE, NETWORKDAYS...), which a binary workbook calls through the
// add-in book.
bool IsAddInFunction(std::u16string_view name);
// The text a package gives a function of Excel 2010 and later named without
// its prefix ("CONCAT": "_xlfn.CONCAT", "SORT": "_xlfn._xlws.SORT"); empty
// for any other name.
std::u16string_view FutureFunctionText(std::u16string_view name);
// The text of a name that stands for a function without its "_xlfn."
// prefix (any letter case); other texts as they are.
std::u16string_view WithoutFuturePrefix(std::u16string_view text);
// The function name as formula text of a package writes it: the 2007
// functions without their prefix.
std::u16string_view PackageFunctionName(std::u16string_view text);
// The name of the hidden name through which a binary workbook calls a later
// function named without its prefix ("IFS": "_xlfn.IFS"); empty for any
// other text.
std::u16string HiddenFunctionName(std::u16string_view name);
// Formula text of a package (UTF-8) with every later function that is
// called without its prefix given it, as other programs read it:
// "IFS(A1,1)" becomes "_xlfn.IFS(A1,1)".
std::string WithLaterFunctionPrefixes(std::string_view text);

} // namespace xls

// Text kept from a package (a kept part, a kept element of a worksheet)
// with the sheets it names under the names the package writes them under,
// when some sheet's name is one a package cannot hold: the formulas of
// chart series, conditional formats, validations, controls and table
// columns, hyperlink locations and the sheet of a pivot cache's or a
// consolidation's source.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TFormulaHandler;

// The text with those names followed; the same bytes where it names no
// renamed sheet. Formulas that name one and cannot be read here stay as
// they are and are added to unfollowed. Formulas without a sheet are the
// sheet's (its index).
std::string KeptTextWithWrittenSheetNames(std::string_view xml, TFormulaHandler& formulas, int sheet,
                                          std::vector<std::string>& unfollowed);

// The same with every formula and sheet name of the text handed to follow
// (the text, whether it is a sheet's name rather than a formula), which
// gives what the text becomes and sets failed for a formula it cannot
// follow (added to unfollowed).
using TKeptTextFollow = std::function<std::u16string(std::u16string_view text, bool sheetName, bool& failed)>;
std::string KeptTextFollowing(std::string_view xml, const TKeptTextFollow& follow,
                              std::vector<std::string>& unfollowed);

} // namespace xls

// A sheet's hyperlinks, conditional formats, data validations and
// autofilter as the model holds them (read from a binary file or made
// through the component), made into the elements of its worksheet part, the
// differential formats of the styles part and the relationships of the
// hyperlinks. What a package cannot carry is named in a warning.
#pragma once

#include "SrcXLS/XLSColors.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/XLSXRelations.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xls {

class TSheet;
class TFormulaHandler;

struct TXLSXRangeContext {
    TFormulaHandler* Formulas = nullptr;
    // The layout of the tokens of the names read (the filter range).
    TExcelVersion NameTokens = TExcelVersion::xvExcel97;
    std::function<void(std::string)> Warn;
    // A palette colour as the package writes it.
    std::function<TExtColor(int index)> Color;
    // The differential formats made so far; a conditional format's is added
    // and numbered from FirstDxf on.
    std::vector<std::string>* Dxfs = nullptr;
    int FirstDxf = 0;
    // The sheet's relationships: the hyperlinks' Ids differ from theirs.
    const TXMLRelations* Relations = nullptr;
};

struct TXLSXRangeElements {
    // Element id and text, in the order of the worksheet schema.
    std::vector<std::pair<int, std::string>> Elements;
    // The relationships the hyperlinks name.
    std::vector<TXMLRelation> Links;
    bool Empty() const { return Elements.empty(); }
};

TXLSXRangeElements MakeRangeElements(TSheet& sheet, const TXLSXRangeContext& context);

// The filter range of a sheet whose filters were made through the component
// (no range name): its used area widened to the filters' columns, within
// the limits given.
void MadeFilterRange(TSheet& sheet, int maxCol, int maxRow, int& col1, int& row1, int& col2, int& row2);

// A kept element that holds a list (dataValidations, hyperlinks, dxfs) with
// the children of a made one of the same kind after its own; its "count"
// follows.
std::string MergeListElements(std::string_view kept, std::string_view made);
// The children of such an element.
int ListElementCount(std::string_view element);

} // namespace xls

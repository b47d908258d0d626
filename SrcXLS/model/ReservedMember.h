// A member of a sheet or workbook whose content the model does not hold yet
// (names, drawings, charts, conditional formats, validations, hyperlinks,
// autofilters, macros, package parts). It takes its place in the owner's
// creation and clear order, so the order stays fixed when it fills in.
#pragma once

namespace xls {

template <class Tag> class TReservedMember {
public:
    void Clear() { ++clears; }
    int ClearCount() const { return clears; }

private:
    int clears = 0;
};

} // namespace xls

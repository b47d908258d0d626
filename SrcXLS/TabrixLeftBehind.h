// What a write in the other format leaves behind, named as warnings of the
// write: one line for each kind of item and sheet.
#pragma once

namespace xls {

class TTabrix4;

// A workbook read from a binary file, written as a package.
void WarnBinaryLeftBehind(TTabrix4& book);
// A workbook read from a package, written as a binary file (toBinary) or
// as a package again.
void WarnPackageLeftBehind(TTabrix4& book, bool toBinary);

} // namespace xls

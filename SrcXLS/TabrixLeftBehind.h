// What a write in the other format leaves behind, named as warnings of the
// write: one line for each kind of item and sheet.
#pragma once

#include "SrcXLS/XLSDefs.h"

namespace xls {

class TTabrix4;

// A workbook read from a binary file, written as a package.
void WarnBinaryLeftBehind(TTabrix4& book);
// A workbook read from a package, written as a binary file (toBinary) or
// as a package again.
void WarnPackageLeftBehind(TTabrix4& book, bool toBinary);
// A workbook made here or read from a package, written as a package: what
// was made through the model that the package writer does not write
// (drawing objects, chart sheets, sheet protection).
void WarnMadeLeftBehind(TTabrix4& book);
// Merged areas, conditional formats and hyperlinks that a binary file of
// the version has no place for (beyond column IV or its last row): left
// out, or cut at the limit.
void WarnBeyondBinaryLimits(TTabrix4& book, TExcelVersion version);
// Merged areas a package has no place for (read from a binary file, whose
// columns reach 65535): left out, or cut at column XFD.
void WarnBeyondPackageLimits(TTabrix4& book);
// A workbook read from a binary file written in another binary version:
// the drawing objects of an older file, and the records kept as read whose
// layout the version written does not share.
void WarnOlderRecordsLeftBehind(TTabrix4& book, TExcelVersion version);
// Any workbook written as an Excel 5 or Excel 4 file.
void WarnOlderBinaryLeftBehind(TTabrix4& book, TExcelVersion version);

} // namespace xls

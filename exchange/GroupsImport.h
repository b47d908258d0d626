// Goods-group imports: numbers and names read from an XML report document,
// the first sheet of a workbook, CSV lines or a dBase III table into
// GoodsGroupTable, which the main window then writes to the register when
// Done is 1. Every import takes at most 100 groups.
#pragma once

#include "exchange/JobSide.h"

namespace exchange {

// {XMLREP1} items: any failure leaves Done at 0.
void ImportGroupsXml(JobContext& job);
// Rows with a number in column 0 from the first such row on: a refused
// number keeps the groups before it and sets Done.
void ImportGroupsXls(JobContext& job);
// "number;name" lines by the CSV options: a refused line keeps the groups
// before it and sets Done.
void ImportGroupsCsv(JobContext& job);
// Records of fields ID N and NAME C in either order: only the end of the
// records (or the 100th) sets Done.
void ImportGroupsDbf(JobContext& job);

} // namespace exchange

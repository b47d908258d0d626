// The register's goods-group names as an XML report document ({XMLREP1}):
// one Item per used entry with the attributes Id and Name.
#pragma once

#include "exchange/JobSide.h"

namespace exchange {

// The captions of FIELDS_NAME.
inline constexpr const char* GroupNumberCaption = "НОМЕР ГРУПИ";
inline constexpr const char* GroupNameCaption = "НАЗВА ТОВАРНОЇ ГРУПИ";

// Builds the document from GoodsGroupTable, empties the table, then the save
// step; a confirmed save tells the main window's memo.
void ExportGroupsXml(JobContext& job);

} // namespace exchange

// The link records an Excel 5 file keeps for a write in its own version
// follow the sheets and names deleted or renamed in the model: its NAME
// records (the file's formulas count names by their place in that list,
// and the names name sheets by their number, as the model's do) and its
// EXTERNSHEET records, which name the workbook's sheets by their names.
#pragma once

#include "SrcXLS/formats/RecordStorage.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace xls {

// The tokens of a kept name (tokenLength bytes, then what follows them in
// the record) as an edit changes them; whether it changed them.
using TKeptNameFollow = std::function<bool(std::vector<uint8_t>& data, size_t& tokenLength)>;

// The name at position (0-based) was deleted: its record is written no
// more, and follow renumbers the others' references to names.
void KeptOldNameDeleted(TBaseRecordStorage& globals, int position, const TKeptNameFollow& follow);

// The sheet at index was deleted (its names first): the names of later
// sheets count one sheet less and follow moves their references to sheets.
void KeptOldSheetDeleted(TBaseRecordStorage& globals, int index, const TKeptNameFollow& follow);

// The EXTERNSHEET records of a list (the globals' or a sheet's) that name
// the workbook's sheet name (8-bit text in codePage, any letter case) name
// newName instead when it is given and the code page has its characters (a
// sheet renamed; for one deleted the next sheet, with which the ranges of
// sheets that began with it begin now), else the workbook itself, which
// names no sheet a reader would make up.
void KeptOldSheetNamed(TBaseRecordStorage& list, std::u16string_view name, const std::u16string* newName,
                       int codePage);

} // namespace xls

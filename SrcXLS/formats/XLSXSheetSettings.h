// The sheet settings a package holds as elements of a worksheet part and the
// model holds too: frozen or split panes and the zoom (sheetViews), the
// margins (pageMargins), the header and footer (headerFooter) and fitting
// to pages (sheetPr, pageSetup). What was set through the model since the
// part was read (on a sheet made here: since it was made) goes into the
// part: into the element kept from the package, whose other content stays,
// or as a new element where the package had none.
#pragma once

#include "SrcXLS/formats/XLSXPackage.h"

#include <span>
#include <string>
#include <string_view>

namespace xls {

class TSheet;

// The position of the element's start tag ("<name" then a blank, '/' or
// '>') in kept text from `from`; npos when there is none.
size_t FindElement(const std::string& text, std::string_view name, size_t from = 0);

// The settings as the model holds them now.
TXLSXSheetSettings ModelSheetSettings(TSheet& sheet);

// Puts the settings changed since the sheet's last read or write into its
// kept elements (new ones where schemaOrder puts them), and takes the
// model's as the ones written.
void PutSheetSettings(TSheet& sheet, std::span<const int> schemaOrder);

} // namespace xls

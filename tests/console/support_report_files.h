// What each goods report file must hold for a list of register records,
// built from the records' fields alone, in the shapes the independent
// readers of support_readers.h give back. Number texts follow the
// regional settings of a Ukrainian system (decimal comma, "1 234,50 грн.").
#pragma once

#include <string>
#include <vector>

#include "support_readers.h"
#include "support_register.h"

namespace testing_console {

using testfiles::Rows;

// The identity an XML report document carries.
struct XmlIdentity {
    const char* development;
    const char* id;
    const char* name;
};

// Records are periodic when they carry four counters: 16 values, else 20.

// Python's csv rows of the default CSV options (";" and no quotes), UTF-8.
Rows ExpectedCsvRows(const std::vector<RegisterRecord>& records);
// dbfread's header and field rows, up to and including "--".
Rows ExpectedDbfHeader(bool periodic);
// dbfread's records, numbers printed with their field's decimals.
Rows ExpectedDbfRecords(const std::vector<RegisterRecord>& records);
// xlrd's rows of the first sheet, with the sheet count and BIFF version first.
Rows ExpectedXlsRows(const std::vector<RegisterRecord>& records, bool periodic);
// Python's outline of the XML document.
std::vector<std::string> ExpectedXmlOutline(const std::vector<RegisterRecord>& records, bool periodic,
                                            const XmlIdentity& identity);

} // namespace testing_console

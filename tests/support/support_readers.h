// Independent readers of written files: Python's csv and XML modules, dbfread,
// xlrd and xmllint, all through /usr/bin/python3 (Debian's modules), each run
// bounded by RunProgram (support_process.h).
#pragma once

#include <string>
#include <vector>

namespace testfiles {

using Rows = std::vector<std::vector<std::string>>;

// Standard output of /usr/bin/python3 running `script` with the arguments;
// status 0 expected (the test fails otherwise, and when Python did not run).
std::string RunPython(const std::string& script, const std::vector<std::string>& args);

// Lines of a reader's output, each split at the unit separator (0x1F).
Rows SplitRows(const std::string& out);

// The rows of a CSV file as Python's csv module reads them (UTF-8 values):
// the delimiter given, quoting on or off, the file decoded from `encoding`.
Rows PythonCsvRows(const std::string& path, char delimiter, bool quoting, const std::string& encoding);

// A table as dbfread reads it: first row the header and record lengths,
// then one row per field ("NAME", "T", "length", "decimals"), then a row
// "--", then one row per record with Python's text of each value.
// Encoding "oem-or-ansi": cp866 when the code-page byte marks OEM text (0x26), else cp1251.
Rows DbfreadRows(const std::string& path, const std::string& encoding = "cp1251");
// Only the records, numbers printed with their field's decimals.
Rows DbfreadRecords(const std::string& path, const std::string& encoding = "cp1251");

// One line per row of the first sheet as xlrd reads it, each cell
// "kind:value" with kind s (text), n (number, shortest text), b (Boolean
// 1/0), _ (blank) or e (none), then "/rgb" of its font colour ("auto" for the
// window text colour) and "/B" when bold. A first line gives the sheet count
// and the BIFF version.
Rows XlrdRows(const std::string& path);

// Whether xmllint finds the document well-formed (a test where xmllint did
// not run has failed already).
bool XmllintAccepts(const std::string& path);
// The document as Python's XML parser reads it, one line per element in
// document order: "path" for an element with text "path=text", then one
// line "path@name=value" per attribute in document order.
std::vector<std::string> PythonXmlOutline(const std::string& path);

// Leaves a copy of a written file in the folder named by Q710_TEST_OUT, if any.
void KeepTestOutput(const std::string& path, const std::string& name);

} // namespace testfiles

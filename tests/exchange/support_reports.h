// Shared helpers of the report export tests: records with known values, a
// job run through the dispatcher, and independent readers of the written
// CSV and DBF files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/GoodsRecords.h"
#include "exchange/Dispatcher.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"

namespace exchange_test {

using Rows = std::vector<std::vector<std::string>>;

// Ordinary values in every column; the name holds Ukrainian letters.
GoodsStruct Bread();
// Every value at the widest that still fits the table fields.
GoodsStruct Widest();
// Ordinary values with negative counters.
PeriodicGoodsStruct PeriodicBread();
// Top-bit patterns and the register's 48-bit counter range.
PeriodicGoodsStruct PeriodicLarge();

// The values of those records as every text format writes them, in column
// order, with `sep` as decimal separator and "1"/"0" for the flags; names in
// UTF-8.
std::vector<std::string> BreadTexts(char sep);
std::vector<std::string> WidestTexts(char sep);
std::vector<std::string> PeriodicBreadTexts(char sep);
std::vector<std::string> PeriodicLargeTexts(char sep);

// Runs the pair's procedure on the job, answering the save dialog with
// `path` (nullopt: cancelled).
exchange::DispatchResult RunExport(Job& job, int format, int kind, std::optional<std::string> path,
                                   platform::ScriptedUi& ui);

// Output of /usr/bin/python3 running `script` with the arguments; status 0 expected.
std::string RunPython(const std::string& script, const std::vector<std::string>& args);

// Lines of a reader's output, each split at the unit separator (0x1F).
Rows SplitRows(const std::string& out);

// The rows of a CSV file as Python's csv module reads them (UTF-8 values):
// the delimiter given, quoting on or off, the file decoded from `encoding`.
Rows PythonCsvRows(const std::string& path, char delimiter, bool quoting, const std::string& encoding);

// A table as dbfread reads it: first row the header and record lengths,
// then one row per field ("NAME", "T", "length", "decimals"), then a row
// "--", then one row per record with Python's text of each value.
Rows DbfreadRows(const std::string& path, const std::string& encoding = "cp1251");

// The fields of the goods report's tables as DbfreadRows lists them.
Rows GoodsTableFields();

// Leaves a copy of a written file in the folder named by Q710_TEST_OUT, if any.
void KeepTestOutput(const std::string& path, const std::string& name);

} // namespace exchange_test

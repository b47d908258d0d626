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
#include "support_readers.h"

namespace exchange_test {

using testfiles::DbfreadRecords;
using testfiles::DbfreadRows;
using testfiles::KeepTestOutput;
using testfiles::PythonCsvRows;
using testfiles::Rows;
using testfiles::RunPython;
using testfiles::SplitRows;
using testfiles::XlrdRows;

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

// The texts of `joined`, split at '|', with '~' standing for the decimal separator.
std::vector<std::string> Texts(char sep, std::string joined);

// Runs the pair's procedure on the job, answering the save dialog with
// `path` (nullopt: cancelled).
exchange::DispatchResult RunExport(Job& job, int format, int kind, std::optional<std::string> path,
                                   platform::ScriptedUi& ui);

// The fields of the goods report's tables as DbfreadRows lists them.
Rows GoodsTableFields();

} // namespace exchange_test

// The reading commands of xlsbench; each returns the exit code.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <optional>
#include <string>

// password: empty when none was given.
int RunRead(const char* file, const std::u16string& password);
// shown: values as the cells show them (en-US) instead of as GetAsString gives them.
int RunDump(const char* file, const std::u16string& password, bool shown = false);
int RunFormulas(const char* file, const std::u16string& password);
// Defined in xlsbench_copy.cpp; version: the version written, none for the one
// OUT's extension and the version read choose.
int RunCopy(const char* in, const char* out, const std::u16string& password,
            std::optional<xls::TExcelVersion> version);
// Defined in xlsbench_recalc.cpp: the formulas workload and one pass over
// every formula cell.
namespace xls {
class TTabrix4;
}
void BuildFormulas(xls::TTabrix4& book);
// Prints the warnings of the book's last read or write on stderr, one line each.
void PrintWarnings(const xls::TTabrix4& book);
int RunRecalc(const char* file, const std::u16string& password);
// Defined in xlsbench_model.cpp: records, limit and replace (argv[0] is the command).
int RunModel(int argc, char** argv);

// Independent readers of written workbooks: xlrd (through the system
// Python, which has Debian's modules) and gnumeric's ssconvert.
#pragma once

#include <string>

namespace oracle {

// Output and exit status of a shell command, stderr included.
struct TRun {
    int Status = -1;
    std::string Output;
};
TRun Run(const std::string& command);

// xlrd's view of a workbook, one fact per line:
//   sheet <index> <name> <rows> <cols>
//   cell <sheet> <row> <col> <type> <value>      (numbers in repr form)
//   font <sheet> <row> <col> <name> bold=<0|1> italic=<0|1> colour=<index> height=<twips>
//   merged <sheet> <row1> <row2+1> <col1> <col2+1>
//   width <sheet> <col> <width>
// formatting: open with formatting_info (fonts, merged cells, widths).
TRun XlrdDump(const std::string& file, bool formatting = true);

// The first sheet as CSV through ssconvert.
TRun GnumericCsv(const std::string& file, const std::string& csvFile);

} // namespace oracle

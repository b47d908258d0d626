// Independent readers of written and read workbooks, run through the
// system's python3, and the real-world test files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace oracle {

// The folder of real-world test files; empty when it is not there.
std::filesystem::path RealWorldDir();
// Every .xls file under it (any letter case), sorted.
std::vector<std::filesystem::path> RealWorldXls();

struct XlrdCell {
    int Sheet = 0;
    int Row = 0;
    int Col = 0;
    char Kind = 'n'; // n number, t text, b boolean, e error code
    std::string Value;
};

struct XlrdBook {
    bool Ok = false;
    std::string Error;
    std::vector<std::u16string> Sheets;
    std::vector<XlrdCell> Cells;
};

// What python3-xlrd reads from a file (blank cells left out).
XlrdBook ReadWithXlrd(const std::filesystem::path& file);

} // namespace oracle

// Independent readers of written and read workbooks: xlrd (through the
// system Python, which has Debian's modules) and gnumeric's ssconvert; and
// the real-world test files. Every program runs through testfiles::RunProgram
// (support_process.h): within a memory cap and a time limit, the test failed
// when it did not run, marked skipped when a bound stopped it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace oracle {

// Output and exit status of a shell command, stderr included; Status -1 when
// it did not run or a bound stopped it.
struct TRun {
    int Status = -1;
    std::string Output;
};
// An oracle or converter, within the oracles' bounds (`seconds` its time limit).
TRun Run(const std::string& command, unsigned seconds = 120);
// A status to fill is RunForOutput's (tests/platform/support_oracle.h), not a time limit.
TRun Run(const std::string& command, int& status) = delete;
// Our own program (xlsbench): a time limit only; a crash or a hang fails the test.
TRun RunOurs(const std::string& command);

// xlrd's view of a workbook with its formatting, one fact per line (the
// lines are listed in xlrd_cells.py).
TRun XlrdDump(const std::string& file);

// An encrypted workbook decrypted by msoffcrypto-tool into outFile.
TRun Decrypt(const std::string& file, const std::string& password, const std::string& outFile);

// A shell word in single quotes.
std::string Quote(const std::string& s);
// A script beside these tests (tests/xls/name).
std::string ScriptPath(const std::string& name);
// Tab-separated fields of a line, \, tab, CR and LF unescaped in each.
std::vector<std::string> Fields(const std::string& line);

// What a per-file oracle script (python3 or node) wrote for one file: its
// lines split into fields (Ok), or the oracle's own message refusing the file
// (Error), or why there is no verdict on the file at all (NoVerdict: the
// oracle did not run, a bound stopped it, it ran out of memory on this file;
// the test has failed or been marked skipped with the reason already). Only a
// file with an Error and no NoVerdict counts as refused by the oracle.
struct TOracleFile {
    bool Ok = false;
    std::string Error;
    std::string NoVerdict;
    std::vector<std::vector<std::string>> Lines;
    std::vector<std::string> Raw; // the same lines as written
};
// Runs command OUTDIR FILE... once for all files; the scripts write
// OUTDIR/<i>.txt for file i, first "OK", "FAIL<TAB>message" (refused) or
// "LIMIT<TAB>message" (the oracle ran out of its memory on it).
std::vector<TOracleFile> RunPerFile(const std::string& command, const std::vector<std::string>& files,
                                    unsigned seconds = 120);
// The folder SheetJS is installed in (npm `xlsx`, an optional oracle: the
// tests that need it skip when it is not there).
std::string SheetJSDir();
// ranges_oracle.py: "xlrd" (hyperlinks of .xls) or "openpyxl" (hyperlinks,
// conditional formats, validations, autofilters of .xlsx); one list of
// lines per file, in the order given.
std::vector<std::vector<std::string>> SheetRanges(const std::string& reader,
                                                  const std::vector<std::string>& files);

// The rows of a CSV text, each split into its fields (quotes taken off).
std::vector<std::vector<std::string>> CsvRows(const std::string& csv);

// The first sheet as CSV through ssconvert.
TRun GnumericCsv(const std::string& file, const std::string& csvFile);
// Whether the text holds the line (a dump line or part of one).
inline bool Has(const std::string& text, const std::string& line) {
    return text.find(line) != std::string::npos;
}

// The folder of real-world test files; empty when it is not there.
std::filesystem::path RealWorldDir();
// Every .xls file under it (any letter case), sorted.
std::vector<std::filesystem::path> RealWorldXls();
// A test name for a real-world file: its path below the folder, letters and digits only.
std::string CaseName(const std::filesystem::path& file);

struct XlrdCell {
    int Sheet = 0;
    int Row = 0;
    int Col = 0;
    char Kind = 'n'; // n number, t text, b boolean, e error code
    std::string Value;
};

// Ok, Error and NoVerdict as in TOracleFile.
struct XlrdBook {
    bool Ok = false;
    std::string Error;
    std::string NoVerdict;
    std::vector<std::u16string> Sheets;
    std::vector<XlrdCell> Cells;
};

// What python3-xlrd reads from a file (blank cells left out).
XlrdBook ReadWithXlrd(const std::filesystem::path& file);

// Every .xlsx and .xlsm file of the real-world folder, sorted.
std::vector<std::filesystem::path> RealWorldXlsx();
// What python3-openpyxl reads from a package, in the same form (kind 'f':
// a formula without a cached value).
XlrdBook ReadWithOpenpyxl(const std::filesystem::path& file);
// openpyxl's view of the formatting of a package's first sheet, one fact
// per line (listed in openpyxl_cells.py).
TRun OpenpyxlStyles(const std::string& file);

} // namespace oracle

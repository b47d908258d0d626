#include "tests/xls/support_oracle.h"

#include "support_files.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace oracle {

namespace {

const char* XlrdScript = R"PY(
import sys, xlrd
path, formatting = sys.argv[1], sys.argv[2] == "1"
book = xlrd.open_workbook(path, formatting_info=formatting)
for si in range(book.nsheets):
    sh = book.sheet_by_index(si)
    print("sheet", si, sh.name, sh.nrows, sh.ncols)
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            v = repr(cell.value) if cell.ctype == xlrd.XL_CELL_NUMBER else cell.value
            print("cell", si, r, c, cell.ctype, v)
            if formatting:
                f = book.font_list[book.xf_list[cell.xf_index].font_index]
                print("font", si, r, c, f.name, "bold=%d" % f.bold, "italic=%d" % f.italic,
                      "colour=%d" % f.colour_index, "height=%d" % f.height)
    if formatting:
        for m in sh.merged_cells:
            print("merged", si, *m)
        for c in sorted(sh.colinfo_map):
            print("width", si, c, sh.colinfo_map[c].width)
)PY";

} // namespace

TRun Run(const std::string& command) {
    TRun result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.Output.append(chunk.data(), n);
    int status = pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TRun XlrdDump(const std::string& file, bool formatting) {
    testfiles::ScratchDir dir;
    const std::string script = dir.File("dump.py");
    testfiles::Spit(script, XlrdScript);
    return Run("/usr/bin/python3 '" + script + "' '" + file + "' " + (formatting ? "1" : "0"));
}

TRun GnumericCsv(const std::string& file, const std::string& csvFile) {
    TRun r = Run("ssconvert --export-type=Gnumeric_stf:stf_csv '" + file + "' '" + csvFile + "'");
    if (r.Status == 0) r.Output = testfiles::Slurp(csvFile);
    return r;
}

} // namespace oracle

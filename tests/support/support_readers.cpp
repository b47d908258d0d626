#include "support_readers.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

#include "support_files.h"
#include "support_process.h"

namespace testfiles {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string current;
    std::istringstream in(text);
    while (std::getline(in, current, separator)) parts.push_back(current);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// Opens the table with the encoding asked for, or by its code-page byte.
const char* const kOpenDbf = R"PY(
import sys, dbfread
def open_table(path, enc):
    if enc == "oem-or-ansi":
        with open(path, "rb") as f:
            enc = "cp866" if f.read(30)[29] == 0x26 else "cp1251"
    return dbfread.DBF(path, encoding=enc, char_decode_errors="strict")
)PY";

} // namespace

std::string RunPython(const std::string& script, const std::vector<std::string>& args) {
    ScratchDir dir;
    std::string file = dir.File("oracle.py");
    Spit(file, script);
    std::string command = "/usr/bin/python3 " + ShellQuote(file);
    for (const std::string& a : args) command += " " + ShellQuote(a);
    const TProgramRun run = RunProgram(command);
    if (run.Ran()) {
        EXPECT_EQ(run.Status, 0) << run.Errors;
    }
    return run.Output;
}

Rows SplitRows(const std::string& out) {
    Rows rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) rows.push_back(Split(line, '\x1f'));
    return rows;
}

Rows PythonCsvRows(const std::string& path, char delimiter, bool quoting, const std::string& encoding) {
    static const char* script = R"PY(
import sys, csv
path, delim, quoting, enc = sys.argv[1:5]
delim = {"TAB": "\t"}.get(delim, delim)
opts = {"quoting": csv.QUOTE_MINIMAL} if quoting == "1" else {"quoting": csv.QUOTE_NONE}
with open(path, newline="", encoding=enc) as f:
    for row in csv.reader(f, delimiter=delim, strict=True, **opts):
        sys.stdout.buffer.write(("\x1f".join(row) + "\n").encode("utf-8"))
)PY";
    std::string delim = delimiter == '\t' ? "TAB" : std::string(1, delimiter);
    return SplitRows(RunPython(script, {path, delim, quoting ? "1" : "0", encoding}));
}

Rows DbfreadRows(const std::string& path, const std::string& encoding) {
    static const std::string script = std::string(kOpenDbf) + R"PY(
t = open_table(sys.argv[1], sys.argv[2])
out = [[str(t.header.headerlen), str(t.header.recordlen)]]
out += [[f.name, f.type, str(f.length), str(f.decimal_count)] for f in t.fields]
out.append(["--"])
out += [[str(v) for v in r.values()] for r in t]
for row in out:
    sys.stdout.buffer.write(("\x1f".join(row) + "\n").encode("utf-8"))
)PY";
    return SplitRows(RunPython(script, {path, encoding}));
}

Rows DbfreadRecords(const std::string& path, const std::string& encoding) {
    static const std::string script = std::string(kOpenDbf) + R"PY(
t = open_table(sys.argv[1], sys.argv[2])
dec = {f.name: f.decimal_count for f in t.fields}
for r in t:
    vals = [format(v, ".%df" % dec[k]) if isinstance(v, float) else str(v) for k, v in r.items()]
    sys.stdout.buffer.write(("\x1f".join(vals) + "\n").encode("utf-8"))
)PY";
    return SplitRows(RunPython(script, {path, encoding}));
}

Rows XlrdRows(const std::string& path) {
    static const char* script = R"PY(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_index(0)
print("\x1f".join([str(book.nsheets), str(book.biff_version)]))
kinds = {xlrd.XL_CELL_TEXT: "s", xlrd.XL_CELL_NUMBER: "n", xlrd.XL_CELL_BOOLEAN: "b",
         xlrd.XL_CELL_BLANK: "_", xlrd.XL_CELL_EMPTY: "e"}
for r in range(sheet.nrows):
    cells = []
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        kind = kinds[cell.ctype]
        if kind == "e":
            cells.append("e")
            continue
        value = cell.value
        if kind == "n":
            value = format(value, ".15g")
        elif kind == "b":
            value = str(int(value))
        font = book.font_list[book.xf_list[sheet.cell_xf_index(r, c)].font_index]
        rgb = book.colour_map.get(font.colour_index)
        look = "auto" if rgb is None else "%02x%02x%02x" % rgb
        cells.append("%s:%s/%s%s" % (kind, value, look, "/B" if font.bold else ""))
    sys.stdout.buffer.write(("\x1f".join(cells) + "\n").encode("utf-8"))
)PY";
    return SplitRows(RunPython(script, {path}));
}

bool XmllintAccepts(const std::string& path) {
    const TProgramRun run = RunProgram("xmllint --noout " + ShellQuote(path));
    return run.Ran() && run.Status == 0;
}

std::vector<std::string> PythonXmlOutline(const std::string& path) {
    static const char* script = R"PY(
import sys, xml.etree.ElementTree as ET
def walk(e, prefix):
    p = prefix + "/" + e.tag if prefix else e.tag
    t = (e.text or "")
    print(p + ("=" + t if t else ""))
    for k, v in e.attrib.items():
        print(p + "@" + k + "=" + v)
    for c in e:
        walk(c, p)
sys.stdout.reconfigure(encoding="utf-8")
walk(ET.parse(sys.argv[1]).getroot(), "")
)PY";
    std::string out = RunPython(script, {path});
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void KeepTestOutput(const std::string& path, const std::string& name) {
    const char* out = std::getenv("Q710_TEST_OUT");
    if (out == nullptr || *out == '\0') return;
    std::filesystem::create_directories(out);
    std::filesystem::copy_file(path, std::filesystem::path(out) / name,
                               std::filesystem::copy_options::overwrite_existing);
}

} // namespace testfiles

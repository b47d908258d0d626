#include "tests/xls/support_oracle.h"

#include "SrcXLS/XLSText.h"
#include "support_files.h"
#include "support_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace fs = std::filesystem;

namespace oracle {

namespace {

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::vector<std::string> RawFields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, '\t')) out.push_back(f);
    if (!line.empty() && line.back() == '\t') out.emplace_back();
    return out;
}

// The xlrd dumper beside these tests.
std::string Script() {
    return ScriptPath("xlrd_cells.py");
}

} // namespace

std::string ScriptPath(const std::string& name) {
    const char* src = std::getenv("Q710_SOURCE_DIR");
    return std::string(src ? src : ".") + "/tests/xls/" + name;
}

std::string SheetJSDir() {
    const char* bin = std::getenv("Q710_BIN_DIR");
    return std::string(bin ? bin : ".") + "/../oracle";
}

std::string Quote(const std::string& s) {
    return testfiles::ShellQuote(s);
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out = RawFields(line);
    for (std::string& f : out) f = Unescape(f);
    return out;
}

std::vector<TOracleFile> RunPerFile(const std::string& command, const std::vector<std::string>& files,
                                    unsigned seconds) {
    std::vector<TOracleFile> out(files.size());
    if (files.empty()) return out;
    testfiles::ScratchDir dir;
    std::string line = command + " " + Quote(dir.Path());
    for (const std::string& f : files) line += " " + Quote(f);
    const testfiles::TProgramRun run = testfiles::RunProgram(line, {2048, seconds, true});
    // The oracle by its script's name, for the messages.
    const std::string oracle =
        fs::path(command.substr(0, command.find(' ', command.find(' ') + 1))).filename();
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = dir.File(std::to_string(i) + ".txt");
        if (!testfiles::Exists(name)) {
            out[i].NoVerdict = "no verdict on " + files[i] + ": " + oracle + " " + run.Why();
            // A run that did not start or was stopped is reported already.
            if (run.Ran()) ADD_FAILURE() << out[i].NoVerdict;
            continue;
        }
        std::stringstream lines(testfiles::Slurp(name));
        std::string l;
        std::getline(lines, l);
        out[i].Ok = l == "OK";
        if (l.rfind("LIMIT", 0) == 0) {
            out[i].NoVerdict = "unjudged: " + oracle + " ran out of its memory cap on " + files[i];
            testfiles::MarkUnjudged(out[i].NoVerdict);
        } else if (!out[i].Ok) {
            out[i].Error = l;
        }
        while (std::getline(lines, l)) {
            if (l.empty()) continue;
            out[i].Lines.push_back(Fields(l));
            out[i].Raw.push_back(l);
        }
    }
    return out;
}

TRun Run(const std::string& command, unsigned seconds) {
    const testfiles::TProgramRun run = testfiles::RunProgram(command + " 2>&1", {2048, seconds, true});
    return {run.Ran() ? run.Status : -1, run.Output};
}

TRun RunOurs(const std::string& command) {
    const testfiles::TProgramRun run = testfiles::RunProgram(command + " 2>&1", testfiles::OwnProgram());
    return {run.Ran() ? run.Status : -1, run.Output};
}

TRun XlrdDump(const std::string& file) {
    return Run("/usr/bin/python3 " + Quote(Script()) + " --formatting " + Quote(file));
}

TRun Decrypt(const std::string& file, const std::string& password, const std::string& outFile) {
    return Run("/usr/bin/msoffcrypto-tool -p " + Quote(password) + " " + Quote(file) + " " + Quote(outFile));
}

std::vector<std::vector<std::string>> SheetRanges(const std::string& reader,
                                                  const std::vector<std::string>& files) {
    const char* src = std::getenv("Q710_SOURCE_DIR");
    std::string command = "/usr/bin/python3 " +
                          Quote(std::string(src ? src : ".") + "/tests/xls/ranges_oracle.py") + " " + reader;
    for (const auto& f : files) command += " " + Quote(f);
    std::stringstream out(Run(command).Output);
    std::vector<std::vector<std::string>> result;
    std::string line;
    while (std::getline(out, line)) {
        if (line.rfind("FILE ", 0) == 0)
            result.emplace_back();
        else if (!result.empty())
            result.back().push_back(line);
    }
    return result;
}

std::vector<std::vector<std::string>> CsvRows(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::stringstream lines(csv);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string>& out = rows.emplace_back(1);
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    out.back() += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
            } else if (c == ',' && !quoted) {
                out.emplace_back();
            } else if (c != '\r') {
                out.back() += c;
            }
        }
    }
    return rows;
}

TRun GnumericCsv(const std::string& file, const std::string& csvFile) {
    TRun r = Run("ssconvert --export-type=Gnumeric_stf:stf_csv " + Quote(file) + " " + Quote(csvFile));
    if (r.Status == 0) r.Output = testfiles::Slurp(csvFile);
    return r;
}

fs::path RealWorldDir() {
#ifdef Q710_SHARED_DIR
    fs::path dir = fs::path(Q710_SHARED_DIR) / "testdata" / "realworld";
    if (fs::is_directory(dir)) return dir;
#endif
    if (const char* src = std::getenv("Q710_SOURCE_DIR")) {
        fs::path dir = fs::path(src) / ".." / "shared" / "testdata" / "realworld";
        if (fs::is_directory(dir)) return fs::canonical(dir);
    }
    return {};
}

std::string CaseName(const fs::path& file) {
    std::string s = fs::relative(file, RealWorldDir()).string();
    for (char& c : s)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return s;
}

namespace {
std::vector<fs::path> RealWorldFiles(std::initializer_list<std::string> extensions) {
    std::vector<fs::path> files;
    fs::path dir = RealWorldDir();
    if (dir.empty()) return files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (e.is_regular_file() && std::find(extensions.begin(), extensions.end(), ext) != extensions.end())
            files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A book from an oracle's "S" (sheet) and "C" (cell) lines.
XlrdBook ToBook(TOracleFile file) {
    XlrdBook book;
    book.Ok = file.Ok;
    book.NoVerdict = std::move(file.NoVerdict);
    if (!book.Ok && book.NoVerdict.empty()) {
        // The oracle's own message, after "FAIL<TAB>".
        const auto head = RawFields(file.Error);
        book.Error = head.size() > 1 ? Unescape(head[1]) : file.Error;
    }
    for (const auto& f : file.Lines) {
        if (f[0] == "S" && f.size() >= 3) book.Sheets.push_back(xls::Utf8ToWide(f[2]));
        if (f[0] == "C" && f.size() >= 6)
            book.Cells.push_back({std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3]), f[4][0], f[5]});
    }
    return book;
}
} // namespace

std::vector<fs::path> RealWorldXls() {
    return RealWorldFiles({".xls"});
}

std::vector<fs::path> RealWorldXlsx() {
    return RealWorldFiles({".xlsx", ".xlsm"});
}

XlrdBook ReadWithOpenpyxl(const fs::path& file) {
    return ToBook(
        RunPerFile("/usr/bin/python3 " + Quote(ScriptPath("openpyxl_cells.py")), {file.string()})[0]);
}

TRun OpenpyxlStyles(const std::string& file) {
    return Run("/usr/bin/python3 " + Quote(ScriptPath("openpyxl_cells.py")) + " --styles " + Quote(file));
}

XlrdBook ReadWithXlrd(const fs::path& file) {
    return ToBook(RunPerFile("/usr/bin/python3 " + Quote(Script()), {file.string()})[0]);
}

} // namespace oracle

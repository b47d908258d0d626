// Running the independent compound-file reader (python3-olefile) from tests.
// Header only, so the workbook tests can use it too.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support_files.h"
#include "support_process.h"

#include <gtest/gtest.h>

namespace oracle {

// A scratch folder, removed at the end, with its path as a filesystem path.
struct TempFolder {
    testfiles::ScratchDir dir;
    const std::filesystem::path path{dir.Path()};
};

// Runs a shell command within the oracles' bounds; returns its standard
// output, and its exit status in status (-1 when it did not run or was stopped:
// the test has failed or been marked skipped then).
inline std::string RunForOutput(const std::string& command, int& status) {
    testfiles::TProgramRun run = testfiles::RunProgram(command);
    status = run.Ran() ? run.Status : -1;
    return run.Output;
}

// Lists every storage and stream of the compound files named on the command
// line, as "path|type|size|clsid|statebits|crc32" lines sorted per file; each
// file starts with a line "FILE <name>". olefile's refusal of a file (it
// raises OSError for every defect it finds) gives "ERROR <text>", running out
// of the memory cap "LIMIT <text>"; any other exception ends the script.
inline const char* OleListScript() {
    return R"PY(
import sys, zlib, uuid, olefile
# olefile logs the header's fields before it checks them: a huge mini sector
# size must not stop Python's int to text conversion before olefile's check.
if hasattr(sys, "set_int_max_str_digits"):
    sys.set_int_max_str_digits(0)
for name in sys.argv[1:]:
    print("FILE " + name)
    try:
        o = olefile.OleFileIO(name)
        lines = []
        for e in o.listdir(streams=True, storages=True):
            sid = o._find(e)
            d = o.direntries[sid]
            clsid = uuid.UUID(d.clsid).bytes_le.hex() if d.clsid else "0" * 32
            if d.entry_type == olefile.STGTY_STREAM:
                data = o.openstream(e).read()
                lines.append("%s|stream|%d|%s|%08x|%08x" % ("/".join(e), len(data), clsid, d.dwUserFlags,
                                                           zlib.crc32(data) & 0xffffffff))
            else:
                lines.append("%s|storage|0|%s|%08x|00000000" % ("/".join(e), clsid, d.dwUserFlags))
        root = o.root.clsid
        lines.append("ROOT|" + (uuid.UUID(root).bytes_le.hex() if root else "0" * 32))
        for l in sorted(lines):
            print(l)
        o.close()
    except OSError as ex:
        print("ERROR " + str(ex).replace("\n", " "))
    except MemoryError as ex:
        print("LIMIT MemoryError " + str(ex).replace("\n", " "))
    sys.stdout.flush()
)PY";
}

// The olefile listing of each file, keyed by file name. A file olefile ran
// out of memory on marks the test skipped, naming it; olefile failing
// otherwise (an exception that is no verdict on the file) fails the test.
inline std::vector<std::pair<std::string, std::vector<std::string>>>
OleList(const std::filesystem::path& folder, const std::vector<std::string>& files) {
    std::filesystem::path script = folder / "olelist.py";
    std::ofstream(script) << OleListScript();
    std::string cmd = "/usr/bin/python3 " + testfiles::ShellQuote(script.string());
    for (auto& f : files) cmd += " " + testfiles::ShellQuote(f);
    const testfiles::TProgramRun run = testfiles::RunProgram(cmd);
    if (run.Ran() && run.Status != 0) ADD_FAILURE() << "olefile " << run.Why();
    std::istringstream out(run.Output);
    std::vector<std::pair<std::string, std::vector<std::string>>> result;
    std::string line;
    while (std::getline(out, line)) {
        if (line.rfind("FILE ", 0) == 0) {
            result.push_back({line.substr(5), {}});
        } else if (!result.empty()) {
            if (line.rfind("LIMIT", 0) == 0)
                testfiles::MarkUnjudged("unjudged: olefile ran out of its memory cap on " +
                                        result.back().first);
            result.back().second.push_back(line);
        }
    }
    return result;
}

} // namespace oracle

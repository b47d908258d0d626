// Another reader's verdict on the copies the round-trip targets write. With
// Q710_FUZZ_ORACLE set, one Python process stays beside the target for the
// whole run and reads each copy it is handed: xlrd a binary workbook,
// openpyxl a package. A copy it refuses is a finding only where it reads the
// file the copy was made from too: a damage kept as read may reach the copy,
// and that is the input's fault, not the writer's.
#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class TOracleJudge {
public:
    // The judge of this run, or nullptr where the knob is not set.
    static TOracleJudge* Get() {
        static std::optional<TOracleJudge> judge;
        static const bool asked = std::getenv("Q710_FUZZ_ORACLE") && (judge.emplace(), true);
        return asked ? &*judge : nullptr;
    }

    TOracleJudge() {
        folder = std::filesystem::temp_directory_path() / ("fuzz_oracle_" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        Start();
    }
    TOracleJudge(const TOracleJudge&) = delete;
    TOracleJudge& operator=(const TOracleJudge&) = delete;
    ~TOracleJudge() {
        Stop();
        std::error_code e;
        std::filesystem::remove_all(folder, e);
    }

    // Aborts where the oracle refuses the copy but reads its source.
    void Judge(const std::vector<uint8_t>& source, bool sourcePackage, const std::vector<uint8_t>& copy,
               bool copyPackage, const char* what) {
        const std::string copyVerdict = Read(copy, copyPackage, "copy");
        if (copyVerdict == "ok" || copyVerdict.empty()) return;
        const std::string sourceVerdict = Read(source, sourcePackage, "source");
        if (sourceVerdict != "ok") return;
        std::fprintf(stderr, "%s: %s refuses the copy it reads the source of: %s\n", what,
                     copyPackage ? "openpyxl" : "xlrd", copyVerdict.c_str());
        std::abort();
    }

private:
    static constexpr const char* kScript = R"(
import os, sys, warnings
warnings.simplefilter('ignore')
import xlrd, openpyxl
# Only the verdicts reach the target: what the readers print goes nowhere.
answer, sys.stdout = sys.stdout, open(os.devnull, 'w')
for line in sys.stdin:
    kind, path = line.rstrip('\n').split(' ', 1)
    try:
        if kind == 'x':
            book = openpyxl.load_workbook(path)
            for sheet in book.worksheets:
                for row in sheet.iter_rows(values_only=True):
                    pass
        else:
            book = xlrd.open_workbook(path, logfile=sys.stdout)
            for sheet in book.sheets():
                for r in range(sheet.nrows):
                    sheet.row_values(r)
        print('ok', file=answer, flush=True)
    except Exception as e:
        text = ('refused: %s: %s' % (type(e).__name__, e)).replace('\n', ' ')[:300]
        print(text, file=answer, flush=True)
)";

    void Start() {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) Fail("no pipe");
        child = fork();
        if (child < 0) Fail("no process");
        if (child == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            // The oracle's bounds: 2 GiB of address space.
            const rlimit memory{2048ul << 20, 2048ul << 20};
            setrlimit(RLIMIT_AS, &memory);
            execl("/usr/bin/python3", "python3", "-c", kScript, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toOracle = in[1];
        fromOracle = out[0];
        std::signal(SIGPIPE, SIG_IGN);
    }

    void Stop() {
        close(toOracle);
        close(fromOracle);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }

    [[noreturn]] static void Fail(const char* why) {
        std::fprintf(stderr, "the oracle (python3 with xlrd and openpyxl) did not run: %s\n", why);
        std::abort();
    }

    // "ok", the oracle's refusal, or "" where it gave no answer within its
    // time (no verdict: the process is started again).
    std::string Read(const std::vector<uint8_t>& bytes, bool package, const char* name) {
        const std::filesystem::path file = folder / (std::string(name) + (package ? ".xlsx" : ".xls"));
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const std::string request = std::string(package ? "x " : "b ") + file.string() + "\n";
        if (write(toOracle, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            Fail("it does not take requests (xlrd or openpyxl missing?)");
        std::string answer;
        pollfd p{fromOracle, POLLIN, 0};
        while (answer.empty() || answer.back() != '\n') {
            if (poll(&p, 1, 4000) <= 0) {
                Stop();
                Start();
                return "";
            }
            char buffer[512];
            const ssize_t n = read(fromOracle, buffer, sizeof buffer);
            if (n <= 0) Fail("it ended (xlrd or openpyxl missing?)");
            answer.append(buffer, static_cast<size_t>(n));
        }
        answer.pop_back();
        return answer;
    }

    std::filesystem::path folder;
    pid_t child = -1;
    int toOracle = -1, fromOracle = -1;
};

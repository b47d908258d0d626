#include "support_process.h"

#include "support_files.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testfiles {

namespace {

// More output than any oracle of these tests writes: a runaway one is stopped
// before it fills the test's memory.
constexpr size_t kOutputCap = size_t(256) << 20;

bool HasAny(const std::string& text, std::initializer_list<const char*> needles) {
    for (const char* n : needles)
        if (text.find(n) != std::string::npos) return true;
    return false;
}

std::string LastLines(const std::string& text, size_t bytes = 600) {
    std::string tail = text.size() > bytes ? "..." + text.substr(text.size() - bytes) : text;
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
    return tail;
}

// What the finished run says about itself: it did not start, a bound or a
// signal ended it, or it ran (whatever its exit status).
void Judge(TProgramRun& run, int waitStatus, bool timedOut, bool tooMuchOutput, const TBounds& bounds) {
    const std::string said = run.Errors + run.Output;
    if (timedOut) {
        run.Stopped = "stopped at its time limit of " + std::to_string(bounds.Seconds) + " s";
        return;
    }
    if (tooMuchOutput) {
        run.Stopped = "stopped after writing more than " + std::to_string(kOutputCap >> 20) + " MiB";
        return;
    }
    if (WIFSIGNALED(waitStatus)) {
        const int sig = WTERMSIG(waitStatus);
        run.Stopped = std::string("ended by signal ") + std::to_string(sig) + " (" + strsignal(sig) + ")";
        if (bounds.MemoryMiB != 0)
            run.Stopped += " under its memory cap of " + std::to_string(bounds.MemoryMiB) + " MiB";
        return;
    }
    run.Status = WEXITSTATUS(waitStatus);
    if (run.Status == 0) return;
    if (run.Status == 126 || run.Status == 127) {
        run.NotRun =
            "did not start (exit status " + std::to_string(run.Status) + "): " + LastLines(run.Errors);
    } else if (HasAny(said, {"ModuleNotFoundError", "ImportError", "Cannot find module"})) {
        run.NotRun = "did not start, a module is missing: " + LastLines(run.Errors);
    } else if (bounds.MemoryMiB != 0 && HasAny(said, {"MemoryError", "std::bad_alloc", "out of memory",
                                                      "Cannot allocate memory", "allocation failed"})) {
        run.Stopped = "ran out of its memory cap of " + std::to_string(bounds.MemoryMiB) + " MiB";
    }
}

} // namespace

std::string TProgramRun::Why() const {
    if (!NotRun.empty()) return NotRun;
    if (!Stopped.empty()) return Stopped;
    return "ended with exit status " + std::to_string(Status) + ": " +
           LastLines(Errors.empty() ? Output : Errors);
}

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void MarkUnjudged(const std::string& why) {
    GTEST_SKIP() << why;
}

TProgramRun RunProgram(const std::string& command, const TBounds& bounds) {
    TProgramRun run;
    // The test holds the only writing end of `guard`: when the test process
    // ends, however it ends, the watchdog reads end of file and kills the
    // program's group (a killed test has no RunProgram left to do it).
    int out[2] = {-1, -1}, err[2] = {-1, -1}, guard[2] = {-1, -1};
    for (int* p : {out, err, guard}) {
        if (pipe2(p, O_CLOEXEC) == 0) continue;
        run.NotRun = std::string("no pipe: ") + std::strerror(errno);
        for (int fd : {out[0], out[1], err[0], err[1], guard[0], guard[1]})
            if (fd >= 0) close(fd);
        ADD_FAILURE() << command.substr(0, 300) << ": " << run.NotRun;
        return run;
    }
    // Everything the child needs is made before fork: between fork and exec
    // only async-signal-safe calls (the test process may have threads).
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    const rlim_t cap = rlim_t(bounds.MemoryMiB) << 20;
    const pid_t self = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        // The shell goes with the thread that started it, even should the
        // test end before the watchdog runs.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != self) _exit(127);
        if (cap != 0) {
            const rlimit data{cap, cap};
            setrlimit(RLIMIT_DATA, &data);
        }
        const rlimit core{0, 0};
        setrlimit(RLIMIT_CORE, &core);
        const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (in >= 0) dup2(in, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execve("/bin/sh", const_cast<char* const*>(argv), environ);
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        close(guard[0]);
        close(guard[1]);
        run.NotRun = std::string("fork failed: ") + std::strerror(errno);
        ADD_FAILURE() << command.substr(0, 300) << ": " << run.NotRun;
        return run;
    }
    setpgid(pid, pid);
    const pid_t watchdog = fork();
    if (watchdog == 0) {
        // A group of its own, out of reach of the terminal's signals to the
        // test; only the reading end kept, so no other pipe of the test
        // stays open through it.
        setpgid(0, 0);
        dup2(guard[0], 0);
        close_range(1, ~0U, 0);
        char byte;
        while (read(0, &byte, 1) < 0 && errno == EINTR) {
        }
        kill(-pid, SIGKILL);
        _exit(0);
    }
    close(guard[0]);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(bounds.Seconds);
    bool timedOut = false, tooMuch = false;
    // A program that left a child of its own holding the pipes open has
    // ended all the same: a moment to drain them, then on.
    std::optional<Clock::time_point> exited;
    std::array<pollfd, 2> fds{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
    std::string* sinks[2] = {&run.Output, &run.Errors};
    std::array<char, 65536> chunk;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        const int ready = poll(fds.data(), fds.size(), int(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) break;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = read(fds[i].fd, chunk.data(), chunk.size());
            if (n > 0) {
                sinks[i]->append(chunk.data(), size_t(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
        if (run.Output.size() + run.Errors.size() > kOutputCap) {
            tooMuch = true;
            break;
        }
        siginfo_t info{};
        if (!exited && waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            exited = Clock::now();
        if (exited && Clock::now() - *exited > std::chrono::seconds(2)) break;
    }
    for (pollfd& f : fds)
        if (f.fd >= 0) close(f.fd);
    // The leader is not reaped yet, so the group id still names only this
    // run's processes: whatever of it is left goes.
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (watchdog > 0) {
        kill(watchdog, SIGKILL);
        while (waitpid(watchdog, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(guard[1]);
    Judge(run, status, timedOut, tooMuch, bounds);

    const std::string shown = command.size() > 300 ? command.substr(0, 300) + "..." : command;
    if (!run.NotRun.empty()) {
        ADD_FAILURE() << shown << "\n" << run.NotRun;
    } else if (!run.Stopped.empty()) {
        // Our own program stopped is a fault of ours; an oracle stopped leaves
        // its file unjudged.
        if (!bounds.Oracle)
            ADD_FAILURE() << shown << "\n" << run.Stopped << "\n" << LastLines(run.Errors);
        else
            MarkUnjudged(shown + "\nunjudged: the oracle " + run.Stopped);
    }
    return run;
}

TProgramRun LibreOfficeConvert(const std::vector<std::string>& files, const std::string& outDir,
                               const std::string& filter, const std::string& inFilter) {
    std::error_code ignored;
    std::filesystem::create_directories(outDir, ignored);
    std::string command =
        "soffice " + ShellQuote("-env:UserInstallation=file://" + outDir + "/profile") + " --headless";
    if (!inFilter.empty()) command += " --infilter=" + ShellQuote(inFilter);
    command += " --convert-to " + ShellQuote(filter) + " --outdir " + ShellQuote(outDir);
    for (const std::string& f : files) command += " " + ShellQuote(f);
    return RunProgram(command + " 2>&1", Office());
}

TProgramRun LibreOfficeRecalculate(const std::vector<std::string>& files, const std::string& outDir,
                                   const std::string& filter) {
    // The profile's settings: recalculate on load, always.
    const std::string user = outDir + "/profile/user";
    std::error_code ignored;
    std::filesystem::create_directories(user, ignored);
    std::string items;
    for (const char* mode : {"OOXMLRecalcMode", "ODFRecalcMode"})
        items +=
            std::string("<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"") +
            mode + "\" oor:op=\"fuse\"><value>0</value></prop></item>\n";
    Spit(user + "/registrymodifications.xcu", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                              "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
                                              "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                                              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n" +
                                                  items + "</oor:items>\n");
    return LibreOfficeConvert(files, outDir, filter);
}

} // namespace testfiles

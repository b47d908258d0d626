// Outside programs started by a test go with it: a test killed while its
// program runs (a crash, a time-out of the test runner) leaves nothing of
// the program behind, the program's own children included.
#include "support_files.h"
#include "support_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Whether the process still runs (a zombie waiting to be reaped does not).
bool Runs(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] != 'Z';
}

} // namespace

TEST(OutsidePrograms, EndWithTheTestThatStartedThem) {
    testfiles::ScratchDir dir;
    const std::string pidFile = dir.File("pid");
    // The test process stand-in: it starts a shell whose child would sleep
    // on for a minute, and is killed while the shell waits for it.
    const pid_t test = fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        testfiles::RunProgram("sleep 60 & echo $! > " + testfiles::ShellQuote(pidFile) + ".new && mv " +
                              testfiles::ShellQuote(pidFile) + ".new " + testfiles::ShellQuote(pidFile) +
                              " && wait");
        _exit(0);
    }
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (!testfiles::Exists(pidFile) && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(test, SIGKILL);
    waitpid(test, nullptr, 0);
    ASSERT_TRUE(testfiles::Exists(pidFile)) << "the program did not start";
    const pid_t child = pid_t(std::stol(testfiles::Slurp(pidFile)));
    bool runs = Runs(child);
    for (int i = 0; i < 250 && runs; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        runs = Runs(child);
    }
    EXPECT_FALSE(runs) << "the program's child " << child << " outlived the test";
    if (runs) kill(child, SIGKILL);
}

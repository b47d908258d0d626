// Outside programs a test starts (python3, soffice, ssconvert, node, xmllint,
// the FreeXL reader): each runs under a memory cap and a time limit, and a
// test tells "the program did not run" from "the program refused the file".
//
// Every test that starts a program goes through RunProgram (or a helper built
// on it), never std::system or popen: a program that did not start fails the
// test; one ended by its cap or its limit marks the test skipped, naming the
// reason, so a file nobody judged never counts as a pass.
#pragma once

#include <string>
#include <vector>

namespace testfiles {

struct TBounds {
    // Cap of the program's data memory (RLIMIT_DATA: what it allocates, not
    // the address space that node and soffice reserve without using); 0 for
    // none (our own programs, whose sanitizer build reserves terabytes).
    unsigned MemoryMiB = 2048;
    unsigned Seconds = 120;
    // An oracle stopped leaves its file unjudged; our own program stopped
    // (a crash, a hang) is a fault of ours and fails the test.
    bool Oracle = true;
};

// Bounds for LibreOffice: it keeps far more memory mapped than it touches (a
// workbook of 1,500 external books: 1.7 GB resident, over 3 GiB of data).
inline TBounds Office() {
    return {4096, 300, true};
}

// Bounds for our own programs (xlsbench): a time limit only.
inline TBounds OwnProgram() {
    return {0, 120, false};
}

struct TProgramRun {
    // Exit status of the shell command; -1 when it did not exit by itself.
    int Status = -1;
    std::string Output; // its standard output
    std::string Errors; // its standard error
    // Why the program gave no answer, empty when it ran: it did not start
    // (NotRun), or a cap, a limit or a signal ended it (Stopped).
    std::string NotRun;
    std::string Stopped;
    bool Ran() const { return NotRun.empty() && Stopped.empty(); }
    // The reason in one line for a test's message.
    std::string Why() const;
};

// Runs `/bin/sh -c command` in a process group of its own, stdin from
// /dev/null, within the bounds; the whole group is killed at the time limit
// and when the command ends (no program outlives its run). A run that did not
// start fails the current test; one stopped marks it skipped with the reason.
TProgramRun RunProgram(const std::string& command, const TBounds& bounds = {});

// LibreOffice converts the files in one call into outDir (made when
// missing), with a profile of its own in outDir/profile and the bounds of
// Office(): `filter` as --convert-to takes it ("xlsx", "xls:MS Excel 97",
// "csv:Text - txt - csv (StarCalc):44,34,76"), `inFilter` as --infilter
// (empty: LibreOffice chooses by the file). Output holds stdout and stderr.
TProgramRun LibreOfficeConvert(const std::vector<std::string>& files, const std::string& outDir,
                               const std::string& filter, const std::string& inFilter = "");

// The same with LibreOffice computing every formula of the files it opens
// again, packages included (by default it takes a package's cached values).
TProgramRun LibreOfficeRecalculate(const std::vector<std::string>& files, const std::string& outDir,
                                   const std::string& filter);

// Marks the current test skipped with the reason and goes on: a test that
// still fails afterwards is reported failed, one that does not is named
// skipped, never passed.
void MarkUnjudged(const std::string& why);

// A shell word in single quotes.
std::string ShellQuote(const std::string& s);

} // namespace testfiles

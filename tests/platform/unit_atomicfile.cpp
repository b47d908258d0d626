#include "platform/AtomicFile.h"
#include "support_files.h"

#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace platform;
using testfiles::CountEntries;
using testfiles::Exists;
using testfiles::ScratchDir;
using testfiles::Slurp;
using testfiles::Spit;

namespace {

void FailAfterFirstBlock(const std::string&, std::size_t written) {
    if (written > 0) throw FileError("simulated write error");
}

struct HookGuard {
    explicit HookGuard(AtomicWriteHook hook) { SetAtomicWriteHook(hook); }
    ~HookGuard() { SetAtomicWriteHook(nullptr); }
};

TEST(AtomicFile, ReplacesTheFileAndKeepsItsMode) {
    ScratchDir dir;
    std::string path = dir.File("export.csv");
    Spit(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    AtomicFile out(path);
    out.Write("new ");
    out.Write("contents");
    EXPECT_EQ(Slurp(path), "old"); // nothing visible before Commit
    out.Commit();
    EXPECT_EQ(Slurp(path), "new contents");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(CountEntries(dir.Path()), 1);

    WriteFileAtomic(dir.File("fresh.txt"), "");
    EXPECT_TRUE(Exists(dir.File("fresh.txt")));
    EXPECT_EQ(Slurp(dir.File("fresh.txt")), "");
}

TEST(AtomicFile, FailureHalfWayKeepsTheOldFileAndLeavesNoTemporary) {
    ScratchDir dir;
    std::string path = dir.File("goods.dbf");
    Spit(path, "previous export");
    std::string big(3 << 20, 'x'); // several blocks
    {
        HookGuard hook(FailAfterFirstBlock);
        AtomicFile out(path);
        EXPECT_THROW(out.Write(big), FileError);
        EXPECT_THROW(out.Commit(), FileError);
    }
    EXPECT_EQ(Slurp(path), "previous export");
    EXPECT_EQ(CountEntries(dir.Path()), 1);
    {
        HookGuard hook(FailAfterFirstBlock);
        EXPECT_THROW(WriteFileAtomic(path, big), FileError);
    }
    EXPECT_EQ(Slurp(path), "previous export");
    EXPECT_EQ(CountEntries(dir.Path()), 1);
}

TEST(AtomicFile, UncommittedOrFailedRenameLeavesTargetAlone) {
    ScratchDir dir;
    std::string path = dir.File("settings.ini");
    Spit(path, "keep");
    {
        AtomicFile out(path);
        out.Write("dropped");
    }
    EXPECT_EQ(Slurp(path), "keep");
    EXPECT_EQ(CountEntries(dir.Path()), 1);

    // A folder in the target's place cannot be replaced by a file.
    std::string folder = dir.File("folder");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    AtomicFile out(folder);
    out.Write("x");
    try {
        out.Commit();
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find(folder), std::string::npos);
    }
    EXPECT_EQ(CountEntries(dir.Path()), 2);
    try {
        AtomicFile missing(dir.File("missing/x.txt"));
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        // The user reads why, in the program's language.
        EXPECT_EQ(std::string(e.what()), "Не вдається записати файл " + dir.File("missing/x.txt") +
                                             ": Немає такого файлу або каталогу");
    }
}

TEST(AtomicFile, FailureReasonsInTheUsersLanguage) {
    const std::pair<int, const char*> cases[] = {
        {EACCES, "Доступ заборонено"},
        {ENOSPC, "На пристрої не залишилося вільного місця"},
        {EROFS, "Файлова система доступна лише для читання"},
        {EISDIR, "Це каталог"},
        {ENOTEMPTY, "Каталог не порожній"},
        {ELOOP, "Забагато рівнів символьних посилань"},
        {9999, "системна помилка 9999"},
    };
    for (auto [err, text] : cases) EXPECT_EQ(FileErrorReason(err), text) << err;
    EXPECT_EQ(CannotWriteText("/a/b.xls", "Доступ заборонено"),
              "Не вдається записати файл /a/b.xls: Доступ заборонено");
}

// A write through a symbolic link changes the file it points to; the link
// stays a link. Relative links count from the link's own folder.
TEST(AtomicFile, WritesThroughSymbolicLinksToTheirTarget) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links; // link -> what it holds
        const char* written;                                    // the path written
        const char* changed;                                    // the file that gets the contents
    };
    const Case cases[] = {
        {"relative", {{"link.xls", "data/real.xls"}}, "link.xls", "data/real.xls"},
        {"relative upward", {{"data/up.csv", "../top.csv"}}, "data/up.csv", "top.csv"},
        {"chain", {{"a.ini", "b.ini"}, {"b.ini", "data/c.ini"}}, "a.ini", "data/c.ini"},
        {"dangling", {{"new.xml", "data/made.xml"}}, "new.xml", "data/made.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        ASSERT_EQ(mkdir(dir.File("data").c_str(), 0700), 0);
        if (std::string(c.name) != "dangling") Spit(dir.File(c.changed), "old");
        for (const auto& [link, to] : c.links) ASSERT_EQ(symlink(to.c_str(), dir.File(link).c_str()), 0);
        WriteFileAtomic(dir.File(c.written), "new");
        EXPECT_EQ(Slurp(dir.File(c.changed)), "new");
        for (const auto& link : c.links) {
            struct stat st {};
            ASSERT_EQ(lstat(dir.File(link.first).c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode)) << link.first;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
            EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry.path();
    }
    ScratchDir dir;
    ASSERT_EQ(symlink("b", dir.File("a").c_str()), 0);
    ASSERT_EQ(symlink("a", dir.File("b").c_str()), 0);
    try {
        WriteFileAtomic(dir.File("a"), "x");
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Не вдається записати файл " + dir.File("a") + ": Забагато рівнів символьних посилань");
    }
    EXPECT_EQ(CountEntries(dir.Path()), 2);
}

// Permissions do not bind root: run as root (as the suite's set-up does), the
// write goes to a child process that has dropped to the user nobody.
TEST(AtomicFile, ReadOnlyFolderGivesAnErrorAndKeepsTheFile) {
    ScratchDir dir;
    std::string sub = dir.File("ro");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    Spit(sub + "/a.xml", "old");
    ASSERT_EQ(chmod(sub.c_str(), 0500), 0);
    if (geteuid() != 0) {
        EXPECT_THROW(WriteFileAtomic(sub + "/a.xml", "new"), FileError);
    } else {
        const uid_t nobody = 65534;
        ASSERT_EQ(chown(dir.Path().c_str(), nobody, nobody), 0);
        ASSERT_EQ(chown(sub.c_str(), nobody, nobody), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(3);
            try {
                WriteFileAtomic(sub + "/a.xml", "new");
            } catch (const FileError&) {
                _exit(0);
            } catch (...) {
                _exit(2);
            }
            _exit(1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        // 1: the write went through, 2: another error than FileError, 3: no user to drop to.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
    chmod(sub.c_str(), 0700);
    EXPECT_EQ(Slurp(sub + "/a.xml"), "old");
}

TEST(AtomicFile, TempFilesAreExclusiveAndCleanedUp) {
    ScratchDir dir;
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", (dir.Path() + "/").c_str(), 1);
    EXPECT_EQ(TempFolder(), dir.Path());
    std::string kept;
    {
        TempFile a = TempFile::Create("XLS", ".tmp");
        TempFile b = TempFile::Create("XLS", ".tmp");
        EXPECT_NE(a.Path(), b.Path());
        EXPECT_TRUE(std::regex_match(a.Path(), std::regex(".*/XLS[0-9]+\\.tmp")));
        EXPECT_GE(a.Descriptor(), 0);
        EXPECT_EQ(write(a.Descriptor(), "abc", 3), 3);
        a.Close();
        EXPECT_EQ(Slurp(a.Path()), "abc");
        TempFile moved = std::move(b);
        EXPECT_EQ(b.Path(), "");
        moved.Keep();
        kept = moved.Path();
    }
    EXPECT_EQ(CountEntries(dir.Path()), 1);
    EXPECT_TRUE(Exists(kept));
    setenv("TMPDIR", (dir.Path() + "/nonexistent").c_str(), 1);
    EXPECT_EQ(TempFolder(), "/tmp");
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");

    EXPECT_THROW(TempFile::CreateIn(dir.File("missing"), "XLS", ".tmp"), FileError);
    EXPECT_THROW(ReadWholeFile(dir.File("missing")), FileError);
}

} // namespace

#include "SrcXLS/XLSTempFiles.h"

#include "SrcXLS/XLSDefs.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace xls {

std::filesystem::path GetTempDirectory() {
    std::error_code ec;
    auto dir = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : dir;
}

std::string MakeTempFileName() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return "XLS" + std::to_string(uint32_t(ms)) + ".tmp";
}

bool IsLibraryTempFileName(const std::string& name) {
    if (name.size() < 8 || name.compare(0, 3, "XLS") != 0 || name.compare(name.size() - 4, 4, ".tmp") != 0)
        return false;
    for (size_t i = 3; i < name.size() - 4; ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

std::unique_ptr<TTempFile> TTempFile::Create(const std::filesystem::path& dir) {
    std::string base = MakeTempFileName();
    uint64_t tick = std::stoull(base.substr(3, base.size() - 7));
    // A name another holder has taken is skipped: the next number is tried.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        auto path = dir / ("XLS" + std::to_string(tick + attempt) + ".tmp");
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            return std::make_unique<TTempFile>(TKey(), path, fd);
        }
        if (errno != EEXIST) break;
    }
    throw XLSError("Can not create temporary file in " + dir.string());
}

TTempFile::~TTempFile() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    ::close(fd);
}

int RemoveStaleTempFiles(const std::filesystem::path& dir) {
    int removed = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file(ec) || !IsLibraryTempFileName(entry.path().filename().string())) continue;
        int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        // A live holder keeps its lock; only unheld leftovers go.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && std::filesystem::remove(entry.path(), ec)) ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace xls

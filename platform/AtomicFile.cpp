#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

AtomicWriteHook writeHook = nullptr;

std::string Reason(int err) {
    return std::strerror(err);
}

std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a new file gets from open(..., 0666): mkstemp gives 0600, which would hide settings and exports
// from other users of the folder.
mode_t DefaultMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

void SyncFolder(const std::string& folder) {
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return;
    ::fsync(dfd);
    ::close(dfd);
}

} // namespace

void SetAtomicWriteHook(AtomicWriteHook hook) {
    writeHook = hook;
}

AtomicFile::AtomicFile(std::string target) : path(std::move(target)) {
    if (path.empty()) throw FileError("Cannot write a file without a name");
    std::string pattern = FolderOf(path) + "/." + BaseOf(path) + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw FileError("Cannot write file " + path + ": " + Reason(err));
    }
    tempPath.assign(buf.data());
    struct stat st {};
    mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : DefaultMode();
    ::fchmod(fd, mode);
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Discard() noexcept {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    if (!tempPath.empty()) {
        ::unlink(tempPath.c_str());
        tempPath.clear();
    }
}

void AtomicFile::Write(std::string_view bytes) {
    if (fd < 0) throw FileError("Cannot write file " + path + ": the file is already closed");
    std::size_t done = 0;
    try {
        while (done < bytes.size()) {
            if (writeHook) writeHook(tempPath, done);
            std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
            ssize_t n = ::write(fd, bytes.data() + done, chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                int err = errno;
                throw FileError("Cannot write file " + path + ": " + Reason(err));
            }
            done += static_cast<std::size_t>(n);
        }
    } catch (...) {
        Discard();
        throw;
    }
}

void AtomicFile::Commit() {
    if (fd < 0) throw FileError("Cannot write file " + path + ": the file is already closed");
    auto fail = [this](int err) {
        Discard();
        throw FileError("Cannot write file " + path + ": " + Reason(err));
    };
    if (::fsync(fd) != 0) fail(errno);
    int closed = ::close(fd);
    fd = -1;
    if (closed != 0) fail(errno);
    if (::rename(tempPath.c_str(), path.c_str()) != 0) fail(errno);
    tempPath.clear();
    SyncFolder(FolderOf(path));
}

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
    AtomicFile out(path);
    out.Write(bytes);
    out.Commit();
}

std::string ReadWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw FileError("Cannot open file " + path + ": " + Reason(err));
    }
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw FileError("Cannot read file " + path + ": " + Reason(err));
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

std::string TempFolder() {
    const char* env = std::getenv("TMPDIR");
    if (env && *env) {
        std::string dir(env);
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        struct stat st {};
        if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return dir;
    }
    return "/tmp";
}

TempFile TempFile::Create(std::string_view prefix, std::string_view suffix) {
    return CreateIn(TempFolder(), prefix, suffix);
}

TempFile TempFile::CreateIn(const std::string& folder, std::string_view prefix, std::string_view suffix) {
    static std::mt19937_64 rng{std::random_device{}()};
    std::uniform_int_distribution<unsigned> digits(0, 999999);
    int lastErr = EEXIST;
    for (int attempt = 0; attempt < 200; ++attempt) {
        std::string name =
            folder + "/" + std::string(prefix) + std::to_string(digits(rng)) + std::string(suffix);
        int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) return TempFile(std::move(name), fd);
        lastErr = errno;
        if (lastErr != EEXIST) break;
    }
    throw FileError("Cannot create a temporary file in " + folder + ": " + Reason(lastErr));
}

TempFile::TempFile(TempFile&& other) noexcept
    : path(std::exchange(other.path, {})), fd(std::exchange(other.fd, -1)), keep(other.keep) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        Close();
        if (!keep && !path.empty()) ::unlink(path.c_str());
        path = std::exchange(other.path, {});
        fd = std::exchange(other.fd, -1);
        keep = other.keep;
    }
    return *this;
}

TempFile::~TempFile() {
    Close();
    if (!keep && !path.empty()) ::unlink(path.c_str());
}

void TempFile::Close() noexcept {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace platform

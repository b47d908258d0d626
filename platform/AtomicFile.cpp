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

struct ReasonText {
    int err;
    const char* text;
};

// Texts of the system's own messages as a Ukrainian desktop words them.
constexpr ReasonText kReasons[] = {
    {EACCES, "Доступ заборонено"},
    {EPERM, "Операцію не дозволено"},
    {ENOENT, "Немає такого файлу або каталогу"},
    {ENOTDIR, "Не є каталогом"},
    {EISDIR, "Це каталог"},
    {ENOTEMPTY, "Каталог не порожній"},
    {ENOSPC, "На пристрої не залишилося вільного місця"},
    {EDQUOT, "Перевищено дискову квоту"},
    {EROFS, "Файлова система доступна лише для читання"},
    {EIO, "Помилка введення-виведення"},
    {ENAMETOOLONG, "Задовга назва файлу"},
    {ELOOP, "Забагато рівнів символьних посилань"},
    {EEXIST, "Файл уже існує"},
    {EMFILE, "Забагато відкритих файлів"},
    {ENFILE, "Забагато відкритих файлів у системі"},
    {EBUSY, "Пристрій або ресурс зайнятий"},
    {ETXTBSY, "Файл зайнятий"},
    {EXDEV, "Посилання між різними пристроями"},
    {EFBIG, "Файл завеликий"},
    {EINVAL, "Неприпустимий аргумент"},
    {ENOMEM, "Недостатньо пам'яті"},
    {EAGAIN, "Ресурс тимчасово недоступний"},
};

std::string Closed(const std::string& path) {
    return CannotWriteText(path, "файл уже закрито");
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

std::string FileErrorReason(int err) {
    for (const ReasonText& r : kReasons)
        if (r.err == err) return r.text;
    return "системна помилка " + std::to_string(err);
}

std::string CannotWriteText(const std::string& path, const std::string& reason) {
    return "Не вдається записати файл " + path + ": " + reason;
}

std::string CannotOpenText(const std::string& path, int err) {
    return "Не вдається відкрити файл " + path + ": " + FileErrorReason(err);
}

std::string CannotReadText(const std::string& path, int err) {
    return "Не вдається прочитати файл " + path + ": " + FileErrorReason(err);
}

std::string WriteTarget(const std::string& path) {
    std::string current = path;
    // The system's own limit of links followed in one path.
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t n = ::readlink(current.c_str(), buf.data(), buf.size());
        if (n < 0) {
            int err = errno;
            throw FileError(CannotWriteText(path, FileErrorReason(err)), err);
        }
        std::string link(buf.data(), static_cast<std::size_t>(n));
        current = link.front() == '/' ? link : FolderOf(current) + "/" + link;
    }
    throw FileError(CannotWriteText(path, FileErrorReason(ELOOP)), ELOOP);
}

void SetAtomicWriteHook(AtomicWriteHook hook) {
    writeHook = hook;
}

AtomicFile::AtomicFile(std::string name) : path(std::move(name)) {
    if (path.empty()) throw FileError("Не вдається записати файл без імені");
    target = WriteTarget(path);
    std::string pattern = FolderOf(target) + "/." + BaseOf(target) + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw FileError(CannotWriteText(path, FileErrorReason(err)), err);
    }
    tempPath.assign(buf.data());
    struct stat st {};
    mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : DefaultMode();
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
    if (fd < 0) throw FileError(Closed(path));
    std::size_t done = 0;
    try {
        while (done < bytes.size()) {
            if (writeHook) writeHook(tempPath, written + done);
            std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
            ssize_t n = ::write(fd, bytes.data() + done, chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                int err = errno;
                throw FileError(CannotWriteText(path, FileErrorReason(err)), err);
            }
            done += static_cast<std::size_t>(n);
        }
        written += done;
    } catch (...) {
        Discard();
        throw;
    }
}

void AtomicFile::Commit() {
    if (fd < 0) throw FileError(Closed(path));
    auto fail = [this](int err) {
        Discard();
        throw FileError(CannotWriteText(path, FileErrorReason(err)), err);
    };
    if (::fsync(fd) != 0) fail(errno);
    int closed = ::close(fd);
    fd = -1;
    if (closed != 0) fail(errno);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) fail(errno);
    tempPath.clear();
    SyncFolder(FolderOf(target));
}

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
    AtomicFile out(path);
    out.Write(bytes);
    out.Commit();
}

namespace {

// The whole file appended to out, which is sized from the file's length up
// front so that it is never copied while it grows.
template <class Buffer> void ReadAll(const std::string& path, Buffer& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw FileError(CannotOpenText(path, err), err);
    }
    struct stat st {};
    // One byte more than the file holds, so its end is seen without growing.
    out.resize(::fstat(fd, &st) == 0 && st.st_size > 0 ? std::size_t(st.st_size) + 1 : 65536);
    std::size_t size = 0;
    for (;;) {
        if (size == out.size()) out.resize(out.size() * 2);
        ssize_t n = ::read(fd, out.data() + size, out.size() - size);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw FileError(CannotReadText(path, err), err);
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    out.resize(size);
}

} // namespace

std::string ReadWholeFile(const std::string& path) {
    std::string data;
    ReadAll(path, data);
    return data;
}

std::vector<std::uint8_t> ReadWholeFileBytes(const std::string& path) {
    std::vector<std::uint8_t> data;
    ReadAll(path, data);
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
    throw FileError("Не вдається створити тимчасовий файл у " + folder + ": " + FileErrorReason(lastErr),
                    lastErr);
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

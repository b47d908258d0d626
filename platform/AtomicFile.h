#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A file could not be written, created or renamed. The message names the file and the reason.
class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& message, int systemError = 0)
        : std::runtime_error(message), systemError(systemError) {}
    // The system's error number behind the failure (errno), 0 when none applies.
    int SystemError() const noexcept { return systemError; }

private:
    int systemError;
};

// Writes a whole file so that readers see either the old or the new contents: the bytes go to a temporary
// file created exclusively in the target's folder, are flushed to disk and then renamed over the target
// (over the file a symbolic link points to, see WriteTarget).
// On any failure the temporary file is removed and the old file stays as it was.
//
//     AtomicFile out(path);
//     out.Write(bytes);      // as often as needed
//     out.Commit();          // without Commit the target is left untouched
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void Write(std::string_view bytes);
    void Commit();
    // Drops what was written; the target stays as it was. Also done by the destructor.
    void Discard() noexcept;

    const std::string& FileName() const { return path; }
    // The temporary file's descriptor, for writers that seek (a zip archive
    // completes each entry's header after its data).
    int Descriptor() const { return fd; }
    const std::string& TempName() const { return tempPath; }

private:
    std::string path;
    std::string target; // what the rename replaces
    std::string tempPath;
    int fd = -1;
    std::size_t written = 0; // bytes in the temporary file so far
};

// The file a write of `path` replaces: the end of the chain when `path` is a symbolic link (a link relative
// to its own folder), so the link stays and the file it points to gets the new contents; `path` itself
// otherwise. Throws FileError on a loop of links.
std::string WriteTarget(const std::string& path);

// The reason of a failed file operation in the user's language, e.g. "Доступ заборонено" for EACCES.
std::string FileErrorReason(int err);
// "Не вдається записати файл <path>: <reason>", the message of every failed write.
std::string CannotWriteText(const std::string& path, const std::string& reason);
// The messages of a file that cannot be opened or read, with the reason of the system's error number.
std::string CannotOpenText(const std::string& path, int err);
std::string CannotReadText(const std::string& path, int err);

// Writes `bytes` as the whole new contents of `path` through AtomicFile.
void WriteFileAtomic(const std::string& path, std::string_view bytes);

// Reads a whole file. Throws FileError when it cannot be opened or read.
std::string ReadWholeFile(const std::string& path);
// The same as bytes, read straight into one buffer of the file's size.
std::vector<std::uint8_t> ReadWholeFileBytes(const std::string& path);

// Test seam: when set, called before each block is written to a temporary file with the bytes the file
// holds so far; it may throw to simulate a write error half-way. Pass nullptr to clear it.
using AtomicWriteHook = void (*)(const std::string& tempPath, std::size_t bytesWrittenSoFar);
void SetAtomicWriteHook(AtomicWriteHook hook);

// A file created exclusively (never an existing file, never through a symbolic link) in the user's temporary
// folder ($TMPDIR, else /tmp), named prefix + decimal digits + suffix, e.g. "XLS123456.tmp". The file is
// removed when the object goes unless Keep() was called.
class TempFile {
public:
    static TempFile Create(std::string_view prefix, std::string_view suffix);
    // As Create, in the given folder.
    static TempFile CreateIn(const std::string& folder, std::string_view prefix, std::string_view suffix);

    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();

    const std::string& Path() const { return path; }
    // The open descriptor (read/write); closed by Close() or the destructor.
    int Descriptor() const { return fd; }
    void Close() noexcept;
    void Keep() noexcept { keep = true; }

private:
    TempFile(std::string path, int fd) : path(std::move(path)), fd(fd) {}
    std::string path;
    int fd = -1;
    bool keep = false;
};

// The user's temporary folder: $TMPDIR when it names a folder, else "/tmp". No trailing separator.
std::string TempFolder();

} // namespace platform

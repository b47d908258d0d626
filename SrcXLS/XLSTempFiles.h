// The library's temporary files: "XLS<digits>.tmp" in the user's temporary
// folder, created exclusively and locked while in use, so that the clean-up
// of leftovers never touches another live workbook's file or anyone else's.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace xls {

std::filesystem::path GetTempDirectory();
std::string MakeTempFileName();                          // "XLS" + tick count + ".tmp"
bool IsLibraryTempFileName(const std::string& fileName); // exactly "XLS<digits>.tmp"

// An exclusively created temporary file, removed when the object goes.
class TTempFile {
    struct TKey {
        explicit TKey() = default;
    };

public:
    // Raises XLSError when no file can be created in dir.
    static std::unique_ptr<TTempFile> Create(const std::filesystem::path& dir = GetTempDirectory());
    ~TTempFile();
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    const std::filesystem::path& Path() const { return path; }
    int Handle() const { return fd; }

    TTempFile(TKey, std::filesystem::path path, int fd) : path(std::move(path)), fd(fd) {}

private:
    std::filesystem::path path;
    int fd;
};

// Deletes leftover library temporary files of dir that no live process holds.
int RemoveStaleTempFiles(const std::filesystem::path& dir = GetTempDirectory());

} // namespace xls

#include "device/simulator/StateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

constexpr std::size_t MaxStateBytes = 16 * 1024 * 1024;

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void MakeFolders(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos)
        if (pos == folder.size() || folder[pos] == '/') mkdir(folder.substr(0, pos).c_str(), 0755);
}

bool WriteAll(int fd, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

uint32_t Checksum(const uint8_t* data, std::size_t size) {
    uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

std::string StateFile::DefaultPath() {
    if (const char* path = std::getenv("Q710_SIM_STATE"); path && *path) return path;
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = ".";
    return base + "/Q710_201/state.bin";
}

std::optional<std::vector<uint8_t>> StateFile::Load() const {
    FILE* f = std::fopen(path_.c_str(), "rb");
    if (!f) return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > MaxStateBytes) {
            std::fclose(f);
            return std::nullopt;
        }
    }
    std::fclose(f);
    if (bytes.size() < 4) return std::nullopt;
    const std::size_t body = bytes.size() - 4;
    const uint32_t stored = bytes[body] | (bytes[body + 1] << 8) | (bytes[body + 2] << 16) |
                            (static_cast<uint32_t>(bytes[body + 3]) << 24);
    if (stored != Checksum(bytes.data(), body)) return std::nullopt;
    bytes.resize(body);
    return bytes;
}

bool StateFile::Save(const std::vector<uint8_t>& image) const {
    const std::string folder = FolderOf(path_);
    MakeFolders(folder);
    std::string temp = path_ + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    std::vector<uint8_t> bytes = image;
    const uint32_t sum = Checksum(image.data(), image.size());
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(sum >> (8 * i)));
    bool ok = WriteAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path_.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

} // namespace sim

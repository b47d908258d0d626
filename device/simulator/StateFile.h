// The file that keeps the register's memory between runs: the image
// followed by a checksum, replaced atomically on every save.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class StateFile {
public:
    explicit StateFile(std::string path) : path_(std::move(path)) {}

    // Q710_SIM_STATE, else $XDG_DATA_HOME or ~/.local/share, then Q710_201/state.bin.
    static std::string DefaultPath();

    const std::string& Path() const { return path_; }
    // The stored image; nothing for a missing, short or damaged file.
    std::optional<std::vector<uint8_t>> Load() const;
    // Writes a temporary file beside the target and renames it over the
    // target; false when any step fails (the old file then stays).
    bool Save(const std::vector<uint8_t>& image) const;

private:
    std::string path_;
};

uint32_t Checksum(const uint8_t* data, std::size_t size);

} // namespace sim

// The package read last, kept so that the writer can put back the parts the
// model does not hold: in memory, or in a temporary file of the library.
#pragma once

#include "SrcXLS/XLSTempFiles.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace xls {

class TKeptPackage {
public:
    void Keep(std::span<const uint8_t> bytes, bool inMemory);
    // The kept bytes; empty when nothing is kept.
    std::vector<uint8_t> Bytes() const;
    bool Empty() const { return !file && memory.empty(); }
    bool OnDisk() const { return bool(file); }
    void Clear();

private:
    std::vector<uint8_t> memory;
    std::unique_ptr<TTempFile> file;
    size_t size = 0;
};

} // namespace xls

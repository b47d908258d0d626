// Helpers shared by the compound file tests.
#pragma once

#include "platform/compound/CompoundFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace compound_test {

std::vector<uint8_t> Pattern(size_t size, uint32_t seed);
uint32_t Get32(const std::vector<uint8_t>& b, size_t off);
void Put32(std::vector<uint8_t>& b, size_t off, uint32_t v);

// A tree with nested storages, CLSIDs, state bits, times and streams on both
// sides of the mini stream cutoff.
platform::cfb::CompoundFile SampleTree();

// Describes a tree as sorted lines "path|type|size|clsid|statebits|hash", the
// form the olefile script prints too.
std::vector<std::string> Listing(const platform::cfb::Element& root);

// The zlib CRC, which the Python oracle computes too.
uint32_t Crc32(const std::vector<uint8_t>& bytes);

// Offset of directory entry i of a version 3 image (follows the FAT).
size_t DirEntryOffset(const std::vector<uint8_t>& image, uint32_t index);

} // namespace compound_test

// The compressed container of VBA projects (the dir stream and module
// sources): a signature byte 1 and chunks of up to 4096 bytes, each a flag
// byte per eight tokens, a token being a literal byte or a 2-byte copy of
// earlier bytes of the same chunk.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <cstdint>
#include <span>
#include <vector>

namespace xls {

// Decompresses the container that starts at data; a malformed one (a bad
// signature or chunk header, a copy reaching before its chunk, a chunk
// running past the data) raises XLSError. Each chunk yields at most 4096
// bytes; output that would pass limit bytes raises EVBATooLarge instead.
std::vector<uint8_t> VBADecompress(std::span<const uint8_t> data, size_t limit = SIZE_MAX);

class EVBATooLarge : public XLSError {
public:
    using XLSError::XLSError;
};

// bestMatch: search the whole window for the longest match (the nearest of
// equals) instead of taking the first one of 3 bytes or more. Input that
// does not shrink goes into raw chunks.
std::vector<uint8_t> VBACompress(std::span<const uint8_t> data, bool bestMatch = true);

} // namespace xls

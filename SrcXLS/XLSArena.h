// Memory for many small objects of one workbook (cells, shared strings):
// taken from large chunks without a per-object header, reused through free
// lists by size, and given back all at once when the arena goes or is
// cleared, so a whole workbook is freed without a free per object.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace xls {

class TArena {
public:
    // Blocks above this size come from the heap, one each.
    static constexpr size_t MaxSmall = 1024;

    TArena() = default;
    TArena(const TArena&) = delete;
    TArena& operator=(const TArena&) = delete;

    // bytes rounded up to 8; the block is 8-byte aligned.
    void* Allocate(size_t bytes);
    // Gives back a block of Allocate with the same size.
    void Free(void* block, size_t bytes) noexcept;
    // Forgets every block at once; nothing may use them any more.
    void Clear() noexcept;

    // Bytes handed out and not given back.
    size_t BytesInUse() const { return inUse; }
    // Bytes taken from the heap, free lists and unused chunk ends included.
    size_t BytesReserved() const;

    // The size of the block that Allocate(bytes) hands out.
    static size_t Rounded(size_t bytes) { return (bytes + 7) & ~size_t(7); }

private:
    // Chunks grow from the first size to the last, so that an arena holding
    // few small blocks stays small.
    static constexpr size_t FirstChunkBytes = 512;
    static constexpr size_t ChunkBytes = 256 * 1024;

    struct TFreeBlock {
        TFreeBlock* next;
    };
    std::vector<std::unique_ptr<std::byte[]>> chunks;
    std::byte* next = nullptr;
    std::byte* end = nullptr;
    // Made at the first block given back: many arenas never get one.
    std::unique_ptr<std::array<TFreeBlock*, MaxSmall / 8 + 1>> freeLists;
    std::unordered_map<void*, std::unique_ptr<std::byte[]>> large;
    size_t inUse = 0;
    size_t largeBytes = 0;
    size_t chunkBytes = 0; // of all chunks together
    size_t nextChunkBytes = FirstChunkBytes;
};

} // namespace xls

#include "SrcXLS/XLSArena.h"

#include <algorithm>
#include <new>

namespace xls {

void* TArena::Allocate(size_t bytes) {
    bytes = Rounded(bytes == 0 ? 1 : bytes);
    inUse += bytes;
    if (bytes > MaxSmall) {
        auto block = std::make_unique<std::byte[]>(bytes);
        void* p = block.get();
        large.emplace(p, std::move(block));
        largeBytes += bytes;
        return p;
    }
    if (freeLists) {
        TFreeBlock*& list = (*freeLists)[bytes / 8];
        if (list) {
            TFreeBlock* b = list;
            list = b->next;
            return b;
        }
    }
    if (size_t(end - next) < bytes) {
        // A first chunk smaller than the largest small block still holds it.
        const size_t size = std::max(nextChunkBytes, bytes);
        chunks.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
        chunkBytes += size;
        nextChunkBytes = std::min(ChunkBytes, 2 * size);
        next = chunks.back().get();
        end = next + size;
    }
    void* p = next;
    next += bytes;
    return p;
}

void TArena::Free(void* block, size_t bytes) noexcept {
    if (!block) return;
    bytes = Rounded(bytes == 0 ? 1 : bytes);
    inUse -= bytes;
    if (bytes > MaxSmall) {
        largeBytes -= bytes;
        large.erase(block);
        return;
    }
    if (!freeLists) {
        // Without room for the list the block is simply not reused.
        try {
            freeLists = std::make_unique<std::array<TFreeBlock*, MaxSmall / 8 + 1>>();
        } catch (const std::bad_alloc&) {
            return;
        }
    }
    auto* b = static_cast<TFreeBlock*>(block);
    b->next = (*freeLists)[bytes / 8];
    (*freeLists)[bytes / 8] = b;
}

void TArena::Clear() noexcept {
    chunks.clear();
    large.clear();
    freeLists.reset();
    next = end = nullptr;
    inUse = largeBytes = chunkBytes = 0;
    nextChunkBytes = FirstChunkBytes;
}

size_t TArena::BytesReserved() const {
    return chunkBytes + largeBytes;
}

} // namespace xls

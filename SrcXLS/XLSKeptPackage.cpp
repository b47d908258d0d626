#include "SrcXLS/XLSKeptPackage.h"

#include "SrcXLS/XLSDefs.h"

#include <unistd.h>

namespace xls {

void TKeptPackage::Keep(std::span<const uint8_t> bytes, bool inMemory) {
    Clear();
    if (inMemory) {
        memory.assign(bytes.begin(), bytes.end());
        return;
    }
    auto f = TTempFile::Create();
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(f->Handle(), bytes.data() + done, bytes.size() - done, off_t(done));
        if (n <= 0) throw XLSError("Can not write temporary file " + f->Path().string());
        done += size_t(n);
    }
    size = bytes.size();
    file = std::move(f);
}

std::vector<uint8_t> TKeptPackage::Bytes() const {
    if (!file) return memory;
    std::vector<uint8_t> out(size);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(file->Handle(), out.data() + done, size - done, off_t(done));
        if (n <= 0) throw XLSError("Can not read temporary file " + file->Path().string());
        done += size_t(n);
    }
    return out;
}

void TKeptPackage::Clear() {
    memory.clear();
    memory.shrink_to_fit();
    file.reset();
    size = 0;
}

} // namespace xls

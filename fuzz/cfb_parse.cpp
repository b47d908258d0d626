// Compound file parser on arbitrary bytes: it must answer a tree or a
// CompoundFileError, and a tree it answers must survive a write and a re-read.
#include "platform/compound/CompoundFile.h"

#include <cstdlib>

using platform::cfb::CompoundFile;
using platform::cfb::Element;

static size_t Touch(const Element& e) {
    size_t sum = e.Data.empty() ? 0 : e.Data.front() + e.Data.back() + e.Data.size();
    for (auto& c : e.Children()) sum += Touch(*c) + c->Name().size();
    return sum;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        CompoundFile f = CompoundFile::Parse(std::span<const uint8_t>(data, size));
        size_t sum = Touch(f.Root());
        CompoundFile again = CompoundFile::Parse(f.Serialize());
        if (Touch(again.Root()) != sum) std::abort();
    } catch (const platform::cfb::CompoundFileError&) {
    }
    return 0;
}

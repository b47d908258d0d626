// Compound file parser on arbitrary bytes: it must answer a tree or a
// CompoundFileError, and a tree it answers must survive a write and a re-read.
// The same bytes loaded from a file with every large stream left in it give
// the same verdict and, read back in pieces, the same streams.
#include "platform/AtomicFile.h"
#include "platform/compound/CompoundFile.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

using platform::cfb::CompoundFile;
using platform::cfb::Element;

static size_t Touch(const Element& e) {
    size_t sum = e.Data.empty() ? 0 : e.Data.front() + e.Data.back() + e.Data.size();
    for (auto& c : e.Children()) sum += Touch(*c) + c->Name().size();
    return sum;
}

// The root's streams as Parse gives them (in the same order: names may
// repeat), those left on disk read in 1000-byte pieces.
static void CompareOnDisk(const Element& parsed, CompoundFile& loaded) {
    const auto& mine = loaded.Root().Children();
    const auto& theirs = parsed.Children();
    if (mine.size() != theirs.size()) std::abort();
    for (size_t i = 0; i < mine.size(); ++i) {
        if (!mine[i]->IsStream()) continue;
        std::vector<uint8_t> bytes = mine[i]->Data;
        if (auto onDisk = loaded.TakeOnDisk(*mine[i])) {
            bytes.resize(onDisk->Size());
            for (size_t at = 0; at < bytes.size(); at += 1000)
                onDisk->Read(at, bytes.data() + at, std::min<size_t>(1000, bytes.size() - at));
        }
        if (theirs[i]->Data != bytes) std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One scratch file a process, gone at its end.
    static const struct Scratch {
        std::string name =
            (std::filesystem::temp_directory_path() / ("fuzz-cfb." + std::to_string(::getpid()))).string();
        ~Scratch() { std::filesystem::remove(name); }
    } scratch;
    const std::string& file = scratch.name;
    platform::WriteFileAtomic(file, std::string_view(reinterpret_cast<const char*>(data), size));
    bool parsed = false;
    try {
        CompoundFile f = CompoundFile::Parse(std::span<const uint8_t>(data, size));
        parsed = true;
        size_t sum = Touch(f.Root());
        CompoundFile again = CompoundFile::Parse(f.Serialize());
        if (Touch(again.Root()) != sum) std::abort();
        CompoundFile loaded = CompoundFile::Load(file, [](std::u16string_view) { return true; });
        CompareOnDisk(f.Root(), loaded);
    } catch (const platform::cfb::CompoundFileError&) {
        if (parsed) std::abort();
    }
    return 0;
}

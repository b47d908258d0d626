// The macro project reader. The first byte chooses what the rest is: 0, a
// compressed container to decompress within a bound it also chooses; 1, a
// decompressed dir stream (stored compressed beside module streams named as
// the usual modules); 2, the stream of a module that a valid dir points at
// (its source from byte 16).
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/VBACompression.h"
#include "SrcXLS/formats/VBAProject.h"
#include "platform/compound/CompoundFile.h"

#include <cstdlib>
#include <span>

namespace {

using platform::cfb::Element;
using platform::cfb::ElementType;

std::vector<uint8_t> Source(const char* text) {
    std::string s(text);
    std::vector<uint8_t> stream(16, 0);
    const auto packed = xls::VBACompress(std::vector<uint8_t>(s.begin(), s.end()), false);
    stream.insert(stream.end(), packed.begin(), packed.end());
    return stream;
}

// A valid project of one module whose stream starts at offset 0.
std::unique_ptr<Element> ValidProject() {
    xls::TXLSVBA vba;
    vba.AddModule(u"Module1", xls::TVBAModuleKind::Procedural).Code.Add(u"Sub A()");
    vba.Rebuild = true;
    vba.BestMatch = false;
    auto storage = std::make_unique<Element>(ElementType::Storage, u"_VBA_PROJECT_CUR");
    vba.Write(*storage);
    return storage;
}

void Read(const Element& storage) {
    xls::TXLSVBA vba;
    try {
        vba.Read(storage);
        auto out = std::make_unique<Element>(ElementType::Storage, u"_VBA_PROJECT_CUR");
        vba.Write(*out);
    } catch (const xls::XLSError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const uint8_t> rest(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0: {
        // A bound that the first byte chooses, from 4 KiB to 344 KiB.
        const size_t limit = size_t(data[0] / 3 + 1) * 4096;
        try {
            if (xls::VBADecompress(rest, limit).size() > limit) std::abort();
        } catch (const xls::XLSError&) {
        }
        break;
    }
    case 1: {
        Element storage(ElementType::Storage, u"_VBA_PROJECT_CUR");
        Element& vba = storage.AddStorage(u"VBA");
        vba.AddStream(u"dir", xls::VBACompress(rest, false));
        for (const char16_t* name : {u"Module1", u"ThisWorkbook", u"Sheet1"})
            vba.AddStream(name, Source("Attribute VB_Name = \"M\"\r\nSub A()\r\nEnd Sub\r\n"));
        Read(storage);
        break;
    }
    default: {
        static const std::unique_ptr<Element> valid = ValidProject();
        auto storage = valid->Clone();
        storage->FindStorage(u"VBA")->AddStream(u"Module1", std::vector<uint8_t>(rest.begin(), rest.end()));
        Read(*storage);
        break;
    }
    }
    return 0;
}

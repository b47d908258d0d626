#include "support_compound.h"

#include <algorithm>
#include <cstdio>

using platform::cfb::CompoundFile;
using platform::cfb::Element;

namespace compound_test {

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> b(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = uint8_t(x);
    }
    return b;
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t off) {
    return uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 |
           uint32_t(b[off + 3]) << 24;
}

void Put32(std::vector<uint8_t>& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = uint8_t(v >> (8 * i));
}

CompoundFile SampleTree() {
    CompoundFile f;
    Element& root = f.Root();
    root.ClassId = {0x20, 0x08, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    root.AddStream(u"Workbook", Pattern(5000, 1));
    root.AddStream(u"\x05SummaryInformation", Pattern(400, 2));
    root.AddStream(u"Empty");
    root.AddStream(u"Exactly4096", Pattern(4096, 3));
    root.AddStream(u"Just below", Pattern(4095, 4));
    root.AddStream(u"Sixty-four", Pattern(64, 5));
    Element& vba = root.AddStorage(u"_VBA_PROJECT_CUR");
    vba.ClassId[0] = 0x77;
    vba.StateBits = 0x11223344;
    vba.CreationTime = 0x01D0000012345678ull;
    vba.ModifiedTime = 0x01D0000087654321ull;
    vba.AddStream(u"PROJECT", Pattern(300, 6));
    Element& inner = vba.AddStorage(u"VBA");
    inner.AddStream(u"dir", Pattern(700, 7));
    inner.AddStream(u"Модуль1", Pattern(9000, 8));
    inner.AddStorage(u"Empty storage");
    return f;
}

uint32_t Crc32(const std::vector<uint8_t>& bytes) {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (uint8_t b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

static std::string Utf8(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

static std::string Hex(const platform::cfb::Clsid& id) {
    char clsid[40];
    for (int i = 0; i < 16; ++i) std::snprintf(clsid + 2 * i, 3, "%02x", id[i]);
    return clsid;
}

static void List(const Element& e, const std::string& path, std::vector<std::string>& lines) {
    for (auto& c : e.Children()) {
        std::string p = path.empty() ? Utf8(c->Name()) : path + "/" + Utf8(c->Name());
        std::string clsid = Hex(c->ClassId);
        char tail[64];
        std::snprintf(tail, sizeof tail, "|%08x|%08x", c->StateBits, c->IsStream() ? Crc32(c->Data) : 0u);
        lines.push_back(p + (c->IsStream() ? "|stream|" : "|storage|") +
                        std::to_string(c->IsStream() ? c->Data.size() : 0) + "|" + clsid + tail);
        if (c->IsStorage()) List(*c, p, lines);
    }
}

std::vector<std::string> Listing(const Element& root) {
    std::vector<std::string> lines{"ROOT|" + Hex(root.ClassId)};
    List(root, "", lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

size_t DirEntryOffset(const std::vector<uint8_t>& image, uint32_t index) {
    // FAT sectors from the header (enough for the small images of the tests).
    std::vector<uint32_t> fat;
    for (uint32_t k = 0; k < Get32(image, 44) && k < 109; ++k) {
        size_t base = 512 + size_t(Get32(image, 76 + 4 * k)) * 512;
        for (size_t i = 0; i < 128; ++i) fat.push_back(Get32(image, base + 4 * i));
    }
    uint32_t s = Get32(image, 48);
    for (uint32_t k = 0; k < index / 4; ++k) s = fat.at(s);
    return 512 + size_t(s) * 512 + (index % 4) * 128;
}

} // namespace compound_test

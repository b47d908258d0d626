#include "support_biffbuild.h"

#include "platform/compound/CompoundFile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace biffbuild {

using platform::cfb::CompoundFile;

Body& Body::U8(uint8_t v) {
    b.push_back(v);
    return *this;
}
Body& Body::U16(uint16_t v) {
    return U8(uint8_t(v)).U8(uint8_t(v >> 8));
}
Body& Body::U32(uint32_t v) {
    return U16(uint16_t(v)).U16(uint16_t(v >> 16));
}
Body& Body::F64(double v) {
    uint8_t raw[8];
    std::memcpy(raw, &v, 8);
    b.insert(b.end(), raw, raw + 8);
    return *this;
}
Body& Body::Raw(std::initializer_list<uint8_t> v) {
    b.insert(b.end(), v);
    return *this;
}
Body& Body::Raw(const Bytes& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
}
Body& Body::Str16(const std::string& s) {
    U16(uint16_t(s.size())).U8(0);
    b.insert(b.end(), s.begin(), s.end());
    return *this;
}
Body& Body::Str8(const std::string& s) {
    U8(uint8_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
}

Stream& Stream::Rec(uint16_t id, const Body& body) {
    return Rec(id, body.b);
}
Stream& Stream::Rec(uint16_t id, const Bytes& body) {
    Body h;
    h.U16(id).U16(uint16_t(body.size()));
    data.insert(data.end(), h.b.begin(), h.b.end());
    data.insert(data.end(), body.begin(), body.end());
    return *this;
}
Stream& Stream::Raw(const Bytes& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
}
Stream& Stream::Bof8(uint16_t type) {
    return Rec(0x0809, Body().U16(0x0600).U16(type).U16(0x0DBB).U16(0x07CC).U32(0x41).U32(6));
}
Stream& Stream::Bof5(uint16_t type) {
    return Rec(0x0809, Body().U16(0x0500).U16(type).U16(0x0DBB).U16(0x07CC));
}
Stream& Stream::BoundSheet8(const std::string& name, uint8_t visibility, uint8_t type) {
    Body b;
    b.U32(0).U8(visibility).U8(type).U8(uint8_t(name.size())).U8(0);
    b.b.insert(b.b.end(), name.begin(), name.end());
    return Rec(0x0085, b);
}
Stream& Stream::BoundSheet5(const std::string& name) {
    return Rec(0x0085, Body().U32(0).U8(0).U8(0).Str8(name));
}
Stream& Stream::Number(uint16_t row, uint16_t col, double v, uint16_t xf) {
    return Rec(0x0203, Body().U16(row).U16(col).U16(xf).F64(v));
}
Stream& Stream::Formula(uint16_t row, uint16_t col, const Bytes& result, uint16_t options,
                        const Bytes& tokens) {
    Body b;
    b.U16(row).U16(col).U16(15).Raw(result).U16(options).U32(0).U16(uint16_t(tokens.size())).Raw(tokens);
    return Rec(0x0006, b);
}

Bytes CompoundImage(const Bytes& stream, const char16_t* name) {
    CompoundFile f;
    f.Root().AddStream(name, stream);
    return f.Serialize();
}

std::vector<Record> Records(const Bytes& s, bool whole) {
    std::vector<Record> out;
    size_t pos = 0;
    while (pos + 4 <= s.size()) {
        uint16_t id = uint16_t(s[pos] | s[pos + 1] << 8);
        size_t len = size_t(s[pos + 2] | s[pos + 3] << 8);
        if (pos + 4 + len > s.size()) break;
        out.push_back({id, Bytes(s.begin() + long(pos) + 4, s.begin() + long(pos + 4 + len))});
        pos += 4 + len;
    }
    if (whole && pos != s.size()) throw std::runtime_error("record cut at " + std::to_string(pos));
    return out;
}

std::vector<uint16_t> IdsOf(const std::vector<Record>& records) {
    std::vector<uint16_t> ids;
    for (const auto& r : records) ids.push_back(r.Id);
    return ids;
}

const Record* Find(const std::vector<Record>& records, uint16_t id) {
    auto it = std::find_if(records.begin(), records.end(), [&](const Record& r) { return r.Id == id; });
    return it == records.end() ? nullptr : &*it;
}

size_t CountOf(const std::vector<Record>& records, uint16_t id) {
    return size_t(std::count_if(records.begin(), records.end(), [&](const Record& r) { return r.Id == id; }));
}

std::vector<std::vector<Record>> Substreams(const Bytes& s) {
    std::vector<std::vector<Record>> out;
    int depth = 0;
    for (Record& r : Records(s)) {
        bool bof = r.Id == 0x0809 || r.Id == 0x0409 || r.Id == 0x0209 || r.Id == 0x0009;
        if (bof && depth++ == 0) out.emplace_back();
        if (out.empty()) continue;
        if (r.Id == 0x000A) --depth;
        out.back().push_back(std::move(r));
    }
    return out;
}

Bytes WorkbookStream(const Bytes& image) {
    if (!CompoundFile::IsCompoundFile(image)) return image;
    CompoundFile f = CompoundFile::Parse(image);
    for (const char16_t* name : {u"Workbook", u"Book"})
        if (auto* e = f.Root().FindStream(name)) return e->Data;
    return {};
}

Bytes WorkbookStream(const std::string& image) {
    return WorkbookStream(Bytes(image.begin(), image.end()));
}

Bytes Written(const std::function<void(xls::TXLSStream&)>& writer, xls::TExcelVersion v) {
    Bytes image;
    xls::TXLSStream s;
    s.TargetStream = &image;
    s.OpenWrite("", v);
    writer(s);
    s.Close();
    return WorkbookStream(image);
}

} // namespace biffbuild

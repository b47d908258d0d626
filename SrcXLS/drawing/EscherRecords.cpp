#include "SrcXLS/drawing/EscherRecords.h"

#include <algorithm>
#include <optional>

namespace xls {

TMSOHeader TMSOHeader::Parse(const uint8_t* p) {
    TMSOHeader h;
    uint16_t verInst = GetU16(p);
    h.Version = verInst & 0x000F;
    h.Instance = uint16_t(verInst >> 4);
    h.Type = GetU16(p + 2);
    h.Length = GetU32(p + 4);
    return h;
}

void TMSOHeader::AppendTo(std::vector<uint8_t>& out) const {
    TByteWriter w(out);
    w.U16(uint16_t((Version & 0x000F) | (Instance << 4)));
    w.U16(Type);
    w.U32(Length);
}

// ---- property table

// Readers of other programs take a table only in ascending order of
// property numbers: a new property goes before the first higher one.
void TOPT::Insert(TOPTItem item) {
    auto at = std::find_if(Items.begin(), Items.end(),
                           [&](const TOPTItem& i) { return i.Number() > item.Number(); });
    Items.insert(at, std::move(item));
}

void TOPT::Add(uint16_t id, uint32_t value) {
    Insert(TOPTItem{id, value, {}});
}

namespace {
std::vector<uint8_t> TextData(std::u16string_view text) {
    std::vector<uint8_t> data;
    TByteWriter w(data);
    for (char16_t c : text) w.U16(c);
    w.U16(0);
    return data;
}
} // namespace

void TOPT::AddComplexText(int number, std::u16string_view text) {
    TOPTItem item{uint16_t(0xC000 | number), 0, TextData(text)};
    item.Value = uint32_t(item.Complex.size());
    Insert(std::move(item));
}

TOPTItem* TOPT::Find(int number) {
    for (auto& i : Items)
        if (i.Number() == number) return &i;
    return nullptr;
}

const TOPTItem* TOPT::Find(int number) const {
    return const_cast<TOPT*>(this)->Find(number);
}

int64_t TOPT::Value(int number) const {
    const TOPTItem* i = Find(number);
    return i ? int64_t(i->Value) : -1;
}

void TOPT::SetValue(int number, uint32_t value) {
    if (TOPTItem* i = Find(number)) i->Value = value;
}

void TOPT::Put(uint16_t id, uint32_t value) {
    if (TOPTItem* i = Find(id & 0x3FFF)) {
        i->Value = value;
        return;
    }
    Add(id, value);
    FixCount();
}

void TOPT::SetComplexText(int number, std::u16string_view text) {
    TOPTItem* i = Find(number);
    if (!i) return;
    i->Id |= 0x8000;
    i->Complex = TextData(text);
    i->Value = uint32_t(i->Complex.size());
}

std::u16string TOPT::ComplexText(int number) const {
    const TOPTItem* i = Find(number);
    if (!i || !i->IsComplex()) return {};
    std::u16string text;
    for (size_t p = 0; p + 1 < i->Complex.size(); p += 2) {
        char16_t c = char16_t(GetU16(i->Complex.data() + p));
        if (c == 0) break;
        text += c;
    }
    return text;
}

TOPTItem* TOPT::BlipRef() {
    for (auto& i : Items)
        if (i.IsBlip() && !i.IsComplex()) return &i;
    return nullptr;
}

const TOPTItem* TOPT::BlipRef() const {
    return const_cast<TOPT*>(this)->BlipRef();
}

void TOPT::Clear() {
    Items.clear();
    Count = 0;
}

uint32_t TOPT::Size() const {
    uint32_t size = 0;
    for (const auto& i : Items) size += 6 + (i.IsComplex() ? uint32_t(i.Complex.size()) : 0);
    return size;
}

void TOPT::AppendBody(std::vector<uint8_t>& out) const {
    TByteWriter w(out);
    for (const auto& i : Items) {
        w.U16(i.Id);
        w.U32(i.IsComplex() ? uint32_t(i.Complex.size()) : i.Value);
    }
    for (const auto& i : Items)
        if (i.IsComplex()) w.Bytes(i.Complex.data(), i.Complex.size());
}

namespace {
// Properties whose complex data is an array with its own 6-byte header
// (count, count allocated, element size; 0xFFF0 for 4-byte elements).
bool IsArrayProperty(int number) {
    switch (number) {
    case 0x145: // vertices
    case 0x146: // segment info
    case 0x151: // connection sites
    case 0x152: // their directions
    case 0x155: // adjust handles
    case 0x156: // guides
    case 0x157: // inscribe
    case 0x159: // fragments
    case 0x197: // fill shade colours
    case 0x1CE: // line dash style
    case 0x383: // wrap polygon vertices
        return true;
    default:
        return false;
    }
}

// The array's length from its header, when the header is there.
std::optional<uint64_t> ArrayLength(TByteReader r) {
    if (r.Remaining() < 6) return std::nullopt;
    const uint16_t count = r.U16();
    r.U16();
    const uint16_t elementSize = r.U16();
    return 6 + uint64_t(count) * (elementSize == 0xFFF0 ? 4 : elementSize);
}

// The complex data taken by the items, in item order, from r: each as long
// as its item states, or (headers) an array as long as its own header says.
// The position where the data ends; nothing when it runs past r.
std::optional<size_t> TakeComplexData(TByteReader r, std::vector<TOPTItem>& items, bool headers) {
    for (auto& i : items) {
        i.Complex.clear();
        if (!i.IsComplex() || i.Value == 0) continue;
        uint64_t length = i.Value;
        if (headers && IsArrayProperty(i.Number()))
            if (auto own = ArrayLength(r); own && *own <= r.Remaining()) length = *own;
        if (length > r.Remaining()) return std::nullopt;
        auto data = r.Bytes(size_t(length));
        i.Complex.assign(data.begin(), data.end());
    }
    return r.Position();
}

// The complex data split among the items so that it comes out at exactly
// the body's end: first as the lengths state it; some writers state an
// array's length without its header, so when the lengths do not add up, the
// arrays take theirs from their own headers. False when neither way comes out.
bool SplitComplexData(TByteReader fixed, std::vector<TOPTItem>& items, size_t bodySize) {
    for (bool headers : {false, true})
        if (TakeComplexData(fixed, items, headers) == bodySize) return true;
    return false;
}
} // namespace

bool TOPT::ParseKeeping(std::span<const uint8_t> body, uint16_t count) {
    Items.clear();
    Count = count;
    const size_t fitting = std::min<size_t>(count, body.size() / 6);
    TByteReader fixed(body);
    std::vector<TOPTItem> items(fitting);
    for (auto& i : items) {
        i.Id = fixed.U16();
        i.Value = fixed.U32();
    }
    const bool whole = fitting == count && SplitComplexData(fixed, items, body.size());
    if (!whole) std::erase_if(items, [](const TOPTItem& i) { return i.IsComplex(); });
    Items = std::move(items);
    if (!whole) FixCount();
    return whole;
}

std::vector<size_t> TOPT::ContentLengths(std::span<const uint8_t> bytes, uint16_t count) {
    std::vector<size_t> lengths;
    if (size_t(count) * 6 > bytes.size()) return lengths;
    TByteReader fixed(bytes);
    std::vector<TOPTItem> items(count);
    for (auto& i : items) {
        i.Id = fixed.U16();
        i.Value = fixed.U32();
    }
    for (bool headers : {false, true})
        if (auto end = TakeComplexData(fixed, items, headers);
            end && std::find(lengths.begin(), lengths.end(), *end) == lengths.end())
            lengths.push_back(*end);
    return lengths;
}

void TOPT::Parse(std::span<const uint8_t> body, uint16_t count) {
    if (!ParseKeeping(body, count)) {
        Clear();
        throw XLSError("Error when reading OPT items, Length <> 0");
    }
}

// ---- kept records

void TMSORecords::Add(const TMSOHeader& header, std::vector<uint8_t> body) {
    Records.push_back({header, header.IsContainer() ? std::vector<uint8_t>{} : std::move(body)});
}

uint32_t TMSORecords::Size() const {
    uint32_t size = 0;
    for (const auto& r : Records) size += 8 + uint32_t(r.Body.size());
    return size;
}

void TMSORecords::AppendTo(std::vector<uint8_t>& out) const {
    for (const auto& r : Records) {
        r.Header.AppendTo(out);
        out.insert(out.end(), r.Body.begin(), r.Body.end());
    }
}

// ---- writing

void TDrawingOut::Header(uint16_t version, uint16_t instance, uint16_t type, uint32_t length) {
    TMSOHeader{version, instance, type, length}.AppendTo(pending);
    total += 8;
}

void TDrawingOut::Bytes(std::span<const uint8_t> bytes) {
    pending.insert(pending.end(), bytes.begin(), bytes.end());
    total += bytes.size();
}

void TDrawingOut::U16(uint16_t v) {
    TByteWriter(pending).U16(v);
    total += 2;
}

void TDrawingOut::U32(uint32_t v) {
    TByteWriter(pending).U32(v);
    total += 4;
}

void TDrawingOut::Flush() {
    if (pending.empty()) return;
    stream.WriteLongRecord(biff::MSODRAWING, pending.data(), pending.size());
    pending.clear();
}

TXLSStream& TDrawingOut::Biff() {
    Flush();
    return stream;
}

// ---- reading

bool TDrawingIn::NextIsDrawing() {
    uint16_t id = stream.PeekRecordId();
    return id == biff::MSODRAWING || id == biff::CONTINUE || id == biff::IMDATA;
}

void TDrawingIn::NextPiece() {
    // A picture record of old writers may stand between drawing records,
    // with its own continuations; the drawing goes on in an MSODRAWING.
    bool picture = false;
    while (stream.PeekRecordId() == biff::IMDATA || (picture && stream.PeekRecordId() == biff::CONTINUE)) {
        picture = true;
        TBIFFHeader h;
        stream.ReadHeader(h);
        std::vector<uint8_t> body(h.Length);
        if (stream.ReadRecordData(body.data(), h.Length) != h.Length) throw XLSError("Bad record in file");
        Skipped.push_back({h.Id, std::move(body)});
    }
    uint16_t id = stream.PeekRecordId();
    if (id != biff::MSODRAWING && (picture || id != biff::CONTINUE))
        throw XLSError("Expected record missing: MSODRAWING");
    TBIFFHeader h;
    stream.ReadHeader(h);
    pieceLeft = h.Length;
}

void TDrawingIn::Read(uint8_t* dst, size_t n) {
    if (pendingAt < pending.size()) {
        const size_t take = std::min(n, pending.size() - pendingAt);
        std::copy_n(pending.begin() + ptrdiff_t(pendingAt), take, dst);
        pendingAt += take;
        dst += take;
        n -= take;
    }
    while (n > 0) {
        if (pieceLeft == 0) {
            NextPiece();
            continue;
        }
        int want = int(std::min<size_t>(n, pieceLeft));
        int got = stream.ReadRecordData(dst, want);
        if (got != want) throw XLSError("Bad record in file");
        dst += got;
        n -= size_t(got);
        pieceLeft -= uint32_t(got);
    }
}

TMSOHeader TDrawingIn::ReadHeader() {
    uint8_t b[8];
    Read(b, 8);
    return TMSOHeader::Parse(b);
}

std::vector<uint8_t> TDrawingIn::ReadBody(uint32_t n) {
    // The bytes must be in the stream: a length from the file never sizes
    // more memory than the file holds.
    if (int64_t(n) > stream.Size() - stream.Position() + int64_t(pending.size() - pendingAt))
        throw XLSError("Drawing record beyond the end of the file");
    std::vector<uint8_t> body(n);
    Read(body.data(), n);
    return body;
}

void TDrawingIn::Unread(std::vector<uint8_t> bytes) {
    bytes.insert(bytes.end(), pending.begin() + ptrdiff_t(pendingAt), pending.end());
    pending = std::move(bytes);
    pendingAt = 0;
}

void TDrawingIn::Skip(uint32_t n) {
    uint8_t scratch[512];
    while (n > 0) {
        uint32_t take = std::min<uint32_t>(n, sizeof scratch);
        Read(scratch, take);
        n -= take;
    }
}

std::vector<uint8_t> ReadBiffRecord(TXLSStream& stream, uint16_t id, const char* message) {
    if (stream.PeekRecordId() != id) throw XLSError(message);
    TBIFFHeader h;
    stream.ReadHeader(h);
    std::vector<uint8_t> body(h.Length);
    if (stream.ReadRecordData(body.data(), h.Length) != h.Length) throw XLSError("Bad record in file");
    return body;
}

} // namespace xls

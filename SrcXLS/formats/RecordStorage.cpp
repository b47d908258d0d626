#include "SrcXLS/formats/RecordStorage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace xls {

namespace {

std::string WithId(const char* before, uint16_t id, const char* after = "") {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%.4X", unsigned(id));
    return std::string(before) + hex + after;
}

} // namespace

// ---- TBaseRecordStorage

uint8_t* TBaseRecordStorage::NewRecord(uint16_t id, std::span<const uint8_t> body) {
    if (body.size() > 0xFFFF) throw XLSError("Record too long");
    auto* raw = static_cast<uint8_t*>(arena.Allocate(4 + body.size()));
    PutU16(raw, id);
    PutU16(raw + 2, uint16_t(body.size()));
    if (!body.empty()) std::memcpy(raw + 4, body.data(), body.size());
    return raw;
}

void TBaseRecordStorage::FreeRecord(uint8_t* raw) noexcept {
    arena.Free(raw, 4 + size_t(GetU16(raw + 2)));
}

TRecordBlock& TBaseRecordStorage::Append(uint8_t* raw) {
    return blocks.emplace_back(TRecordBlock::TKey(), raw);
}

TRecordBlock& TBaseRecordStorage::Add(const TBIFFHeader& header, std::span<const uint8_t> data) {
    if (data.size() < header.Length) throw XLSError("Bad record in file");
    return Append(NewRecord(header.Id, data.first(header.Length)));
}

TRecordBlock& TBaseRecordStorage::Add(uint16_t id, std::span<const uint8_t> body) {
    return Append(NewRecord(id, body));
}

// The bytes move only when the arena's block size changes, so rewriting a
// record again and again reuses its block.
void TBaseRecordStorage::Resize(TRecordBlock& block, uint16_t length) {
    const uint16_t old = block.Length();
    if (TArena::Rounded(4 + size_t(length)) != TArena::Rounded(4 + size_t(old))) {
        auto* raw = static_cast<uint8_t*>(arena.Allocate(4 + size_t(length)));
        std::memcpy(raw, block.raw, 4 + size_t(std::min(old, length)));
        FreeRecord(block.raw);
        block.raw = raw;
    }
    if (length > old) std::memset(block.raw + 4 + old, 0, size_t(length - old));
    PutU16(block.raw + 2, length);
}

void TBaseRecordStorage::Assign(TRecordBlock& block, std::span<const uint8_t> data) {
    if (data.size() > 0xFFFF) throw XLSError("Record too long");
    const size_t old = block.Length();
    if (TArena::Rounded(4 + data.size()) != TArena::Rounded(4 + old)) {
        // data may lie in the old bytes: they go after the copy.
        uint8_t* raw = NewRecord(block.Id(), data);
        FreeRecord(block.raw);
        block.raw = raw;
        return;
    }
    if (!data.empty()) std::memmove(block.raw + 4, data.data(), data.size());
    PutU16(block.raw + 2, uint16_t(data.size()));
}

TRecordBlock& TBaseRecordStorage::GetItem(int index) {
    if (index < 0 || index >= Count())
        throw XLSError("List index out of bounds (" + std::to_string(index) + ")");
    return blocks[size_t(index)];
}

const TRecordBlock& TBaseRecordStorage::GetItem(int index) const {
    return const_cast<TBaseRecordStorage*>(this)->GetItem(index);
}

int TBaseRecordStorage::IndexOf(uint16_t id) const {
    for (size_t i = 0; i < blocks.size(); ++i)
        if (blocks[i].Id() == id) return int(i);
    return -1;
}

void TBaseRecordStorage::WriteRecord(int index, TXLSStream& stream) const {
    auto bytes = GetItem(index).Bytes();
    stream.WriteRecordData(bytes.data(), bytes.size());
}

void TBaseRecordStorage::WriteAll(TXLSStream& stream) const {
    for (int i = 0; i < Count(); ++i) WriteRecord(i, stream);
}

int64_t TBaseRecordStorage::TotalSize() const {
    int64_t total = 0;
    for (auto& b : blocks) total += b.Length() + 4;
    return total;
}

void TBaseRecordStorage::ReplaceData(int index, std::span<const uint8_t> data) {
    Assign(GetItem(index), data);
}

void TBaseRecordStorage::CopyTo(TBaseRecordStorage& dest) const {
    for (auto& b : blocks) dest.Add(b.Id(), b.Body());
}

void TBaseRecordStorage::ClearBlocks() {
    blocks.clear();
    arena.Clear();
}

void TBaseRecordStorage::Clear() {
    ClearBlocks();
}

size_t TBaseRecordStorage::BytesReserved() const {
    // A deque keeps its elements in nodes of 512 bytes.
    return arena.BytesReserved() + (blocks.size() + 63) / 64 * 512;
}

// ---- TRecordStorageDefault

void TRecordStorageDefault::ClearLists() {
    templates.clear();
    pointers.clear();
    templateBlocks.clear();
    ClearBlocks();
}

void TRecordStorageDefault::Clear() {
    SetDefaults();
}

void TRecordStorageDefault::SetDefaults() {
    ClearLists();
    for (const TDefaultBody& d : DefaultSet()) {
        templates.push_back(&templateBlocks.emplace_back(TRecordBlock::TKey(), NewRecord(d.Id, d.Body)));
        pointers.push_back(templates.back());
    }
}

int TRecordStorageDefault::SlotOf(uint16_t id) const {
    const auto& set = DefaultSet();
    for (size_t i = 0; i < set.size(); ++i)
        if (set[i].Id == id) return int(i);
    return -1;
}

bool TRecordStorageDefault::HasDefault(uint16_t id) const {
    return SlotOf(id) >= 0 && !IsPlaceholder(id);
}

TRecordBlock* TRecordStorageDefault::DefaultBlock(uint16_t id) const {
    int slot = SlotOf(id);
    return slot < 0 ? nullptr : pointers[size_t(slot)];
}

void TRecordStorageDefault::MoveDefault(TRecordBlock& block) {
    int slot = SlotOf(block.Id());
    if (slot < 0) throw XLSError(WithId("[int] Unknown move default record ", block.Id()));
    pointers[size_t(slot)] = &block;
}

void TRecordStorageDefault::UpdateDefault(const TBIFFHeader& header, std::span<const uint8_t> data) {
    TBIFFHeader h = header;
    if ((h.Id & 0xFF) == 0x09) {
        if (RenamesBOF()) h.Id = 0x0809;
    } else if (!HasDefault(h.Id)) {
        throw XLSError(WithId("[int] Unknown default record ", h.Id));
    }
    PlaceDefault(h, data);
}

void TRecordStorageDefault::InsertPlaceholder(uint16_t id) {
    if (!IsPlaceholder(id)) throw XLSError(WithId("[int] Unknown int. default record ", id));
    PlaceDefault(TBIFFHeader{id, 0}, {});
}

// A read default takes the place of its template; the defaults that come
// before it in the template and are still missing come along in template
// order, so a read list keeps both the file's order and the default order.
void TRecordStorageDefault::PlaceDefault(const TBIFFHeader& header, std::span<const uint8_t> data) {
    if (data.size() < header.Length) throw XLSError("Bad record in file");
    data = data.first(header.Length);
    // The placed default, not any record of that id: a kept substream of
    // the list may hold records with the same id.
    int placed = SlotOf(header.Id);
    if (placed >= 0 && !templates[size_t(placed)]) {
        TRecordBlock& b = *pointers[size_t(placed)];
        if (b.Length() != header.Length) throw XLSError("Size missmatch on default record");
        if (!data.empty()) std::memcpy(b.Data(), data.data(), data.size());
        return;
    }
    int slot = -1;
    for (size_t i = 0; i < templates.size() && slot < 0; ++i)
        if (templates[i] && templates[i]->Id() == header.Id) slot = int(i);
    if (slot < 0) throw XLSError(WithId("Excpected default record ", header.Id, " not found."));
    for (int i = 0; i <= slot; ++i) {
        TRecordBlock*& t = templates[size_t(i)];
        if (!t) continue;
        // A template placed unread takes its bytes into the list.
        uint8_t* raw = RawOf(*t);
        if (i == slot) {
            raw = NewRecord(header.Id, data);
            FreeRecord(RawOf(*t));
        }
        t = nullptr;
        MoveDefault(Append(raw));
    }
}

void TRecordStorageDefault::ApplyDefaults() {
    // Defaults already placed keep their current bytes.
    std::vector<std::vector<uint8_t>> current;
    current.reserve(pointers.size());
    for (const TRecordBlock* p : pointers) current.emplace_back(p->Bytes().begin(), p->Bytes().end());
    ClearLists();
    for (const std::vector<uint8_t>& bytes : current) {
        const uint16_t id = GetU16(bytes.data());
        const std::span<const uint8_t> body(bytes.data() + 4, bytes.size() - 4);
        templates.push_back(&templateBlocks.emplace_back(TRecordBlock::TKey(), NewRecord(id, body)));
        pointers.push_back(&Add(id, body));
    }
}

// ---- accessor helpers

TRecordBlock& TRecordStorageDefault::Ensure(uint16_t id, int size) {
    int slot = SlotOf(id);
    TRecordBlock& b = *pointers[size_t(slot)];
    int old = b.Length();
    if (old < size) {
        Resize(b, uint16_t(size));
        const auto& def = DefaultSet()[size_t(slot)].Body;
        for (int i = old; i < size && i < int(def.size()); ++i) b.Data()[i] = def[size_t(i)];
    }
    return b;
}

std::span<uint8_t> TRecordStorageDefault::FullBody(uint16_t id) {
    int slot = SlotOf(id);
    return Ensure(id, int(DefaultSet()[size_t(slot)].Body.size())).Body();
}

uint16_t TRecordStorageDefault::GetWord(uint16_t id, int offset) const {
    int slot = SlotOf(id);
    const TRecordBlock& b = *pointers[size_t(slot)];
    if (b.Length() >= offset + 2) return GetU16(b.Data() + offset);
    const auto& def = DefaultSet()[size_t(slot)].Body;
    return int(def.size()) >= offset + 2 ? GetU16(def.data() + offset) : 0;
}

void TRecordStorageDefault::SetWord(uint16_t id, int offset, uint16_t value) {
    PutU16(Ensure(id, offset + 2).Data() + offset, value);
}

double TRecordStorageDefault::GetDouble(uint16_t id, int offset) const {
    int slot = SlotOf(id);
    const TRecordBlock& b = *pointers[size_t(slot)];
    const uint8_t* p = b.Data() + offset;
    if (b.Length() < offset + 8) {
        const auto& def = DefaultSet()[size_t(slot)].Body;
        if (int(def.size()) < offset + 8) return 0;
        p = def.data() + offset;
    }
    double v;
    std::memcpy(&v, p, 8);
    return v;
}

void TRecordStorageDefault::SetDouble(uint16_t id, int offset, double value) {
    std::memcpy(Ensure(id, offset + 8).Data() + offset, &value, 8);
}

// ---- TRecordStorageEx2007Unknown

bool TRecordStorageEx2007Unknown::Keeps(uint16_t id) {
    static constexpr uint16_t ids[] = {0x0863, 0x087C, 0x087D, 0x088C, 0x088E,
                                       0x0892, 0x0896, 0x089A, 0x089B, 0x08A3};
    return std::find(std::begin(ids), std::end(ids), id) != std::end(ids);
}

} // namespace xls

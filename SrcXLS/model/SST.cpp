#include "SrcXLS/model/SST.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSChecksum.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace xls {

namespace {

void Unhandled(uint8_t type) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "STT: Unhandled string type in Read (%.2X)", type);
    throw XLSError(buf);
}

bool ValidType(uint8_t t) {
    return (t & ~uint8_t(sstWide | sstPhonetic | sstRich)) == 0;
}

// Writes records into a byte image: SST and its CONTINUEs, patched as it goes.
class TSSTWriter {
public:
    TSSTWriter(std::vector<uint8_t>& out, uint32_t base, int capacity)
        : out(out), base(base), capacity(capacity) {}

    void Begin(uint16_t id) {
        recordStart = out.size();
        TByteWriter w(out);
        w.U16(id);
        w.U16(0);
        left = capacity;
    }
    void Finish() { PutU16(out.data() + recordStart + 2, uint16_t(capacity - left)); }
    void Continue() {
        Finish();
        Begin(BIFF_CONTINUE);
    }
    void Bytes(const void* p, size_t n) {
        TByteWriter(out).Bytes(p, n);
        left -= int(n);
    }
    void U8(uint8_t v) { Bytes(&v, 1); }
    void U16(uint16_t v) {
        uint8_t b[2];
        PutU16(b, v);
        Bytes(b, 2);
    }
    void U32(uint32_t v) {
        uint8_t b[4];
        PutU32(b, v);
        Bytes(b, 4);
    }
    uint32_t StreamPos() const { return base + uint32_t(out.size()); }
    uint16_t OffsetInRecord() const { return uint16_t(out.size() - recordStart); }

    std::vector<uint8_t>& out;
    uint32_t base;
    int capacity;
    size_t recordStart = 0;
    int left = 0;
};

// Reads across the SST body and its CONTINUE pieces.
class TSSTReader {
public:
    explicit TSSTReader(std::span<const std::vector<uint8_t>> pieces) : pieces(pieces) {
        if (!pieces.empty()) r = TByteReader(pieces[0].data(), pieces[0].size());
        for (size_t i = 1; i < pieces.size(); ++i) total += pieces[i].size();
    }
    // Moves to the next piece when this one is used up.
    bool NextPieceIfDone() {
        if (!r.AtEnd()) return false;
        if (piece + 1 >= pieces.size()) throw XLSError("CONTINUE record is missing in SST");
        ++piece;
        total -= pieces[piece].size();
        r = TByteReader(pieces[piece].data(), pieces[piece].size());
        return true;
    }
    size_t BytesLeft() const { return r.Remaining() + total; }

    std::span<const std::vector<uint8_t>> pieces;
    size_t piece = 0;
    size_t total = 0; // bytes of the pieces after the current one
    TByteReader r;
};

} // namespace

std::u16string TSSTEntry::Text() const {
    std::u16string s;
    CopyText(s);
    return s;
}

void TSSTEntry::CopyText(std::u16string& out) const {
    out.resize(CharCount);
    const auto* p = reinterpret_cast<const uint8_t*>(KeyData());
    if (IsWide())
        for (size_t i = 0; i < CharCount; ++i) out[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
    else
        for (size_t i = 0; i < CharCount; ++i) out[i] = p[i];
}

uint32_t TSSTEntry::Hash() const {
    uint32_t crc = Crc32OfBytes(KeyData(), keyBytes);
    for (const TSSTRun& run : Runs()) {
        uint8_t b[8];
        PutU32(b, run.Pos);
        PutU32(b + 4, run.Font ? run.Font->Hash() : 0);
        crc = Crc32Update(crc, b, 8);
    }
    return crc;
}

bool TSSTEntry::Equal(const THashItem& other) const {
    const auto& e = static_cast<const TSSTEntry&>(other);
    if (Type != e.Type || CharCount != e.CharCount || keyBytes != e.keyBytes || runCount != e.runCount ||
        std::memcmp(KeyData(), e.KeyData(), keyBytes) != 0)
        return false;
    auto mine = Runs(), theirs = e.Runs();
    return std::equal(mine.begin(), mine.end(), theirs.begin());
}

TSST2::TSST2(TXFonts* fonts) : fonts(fonts) {}

TSST2::~TSST2() {
    readList.clear();
    DropAll();
}

// Entries hold nothing but font uses of their runs: without runs the whole
// table goes with its arena, entry by entry only where runs give uses back.
void TSST2::DropAll() {
    if (richEntries > 0) {
        ReleaseAll();
    } else {
        ForgetAll();
    }
    arena.Clear();
    richEntries = 0;
}

void TSST2::ReleaseItem(THashItem* item) {
    auto* e = static_cast<TSSTEntry*>(item);
    if (e->runCount > 0) {
        --richEntries;
        if (fonts)
            for (const TSSTRun& run : e->Runs()) fonts->ReleaseUse(run.Font->PoolIndex);
    }
    const size_t bytes = e->BlockBytes();
    e->~TSSTEntry();
    arena.Free(e, bytes);
}

TSSTEntry& TSST2::FillPlain(std::u16string_view text, size_t maxChars, size_t extraKey, size_t runs) {
    // Readers refuse half a character.
    text = CutWhole(text, maxChars);
    const bool wide = IsWideText(text);
    const size_t textBytes = text.size() * (wide ? 2 : 1);
    TSSTEntry& e = NewProbe(textBytes + extraKey, runs);
    e.Type = wide ? sstWide : 0;
    e.CharCount = uint16_t(text.size());
    // A phonetic block, written after the text by the caller, counts already,
    // so the runs' place is fixed.
    e.keyBytes = uint32_t(textBytes + extraKey);
    e.runCount = 0;
    char* key = e.KeyData();
    if (wide) {
        for (char16_t c : text) {
            *key++ = char(uint8_t(c));
            *key++ = char(uint8_t(c >> 8));
        }
    } else {
        for (char16_t c : text) *key++ = char(uint8_t(c));
    }
    return e;
}

TSSTEntry& TSST2::NewProbe(size_t keyBytes, size_t runs) {
    const size_t bytes = TSSTEntry::BlockBytes(keyBytes, runs);
    if (probeBlock.size() < bytes) probeBlock.resize(std::max(bytes, probeBlock.size() * 2));
    probe = ::new (probeBlock.data()) TSSTEntry();
    return *probe;
}

TSSTEntry& TSST2::FillNarrow(std::span<const uint8_t> chars) {
    TSSTEntry& e = NewProbe(chars.size(), 0);
    e.Type = 0;
    e.CharCount = uint16_t(chars.size());
    e.keyBytes = uint32_t(chars.size());
    e.runCount = 0;
    if (!chars.empty()) std::memcpy(e.KeyData(), chars.data(), chars.size());
    return e;
}

TSSTEntry* TSST2::CopyOfProbe(const TSSTEntry& entry) {
    void* block = arena.Allocate(entry.BlockBytes());
    auto* copy = ::new (block) TSSTEntry();
    copy->SSTIndex = entry.SSTIndex;
    copy->Type = entry.Type;
    copy->CharCount = entry.CharCount;
    copy->keyBytes = entry.keyBytes;
    copy->runCount = entry.runCount;
    std::memcpy(copy->KeyData(), entry.KeyData(), entry.keyBytes);
    std::copy(entry.Runs().begin(), entry.Runs().end(), copy->RunData());
    return copy;
}

void TSST2::Added(TSSTEntry& stored) {
    if (stored.runCount == 0) return;
    ++richEntries;
    if (fonts)
        for (const TSSTRun& run : stored.Runs()) fonts->AddUse(run.Font->PoolIndex);
}

TSSTEntry* TSST2::Intern(TSSTEntry& entry, bool countUse) {
    uint32_t hash = entry.Hash();
    auto* stored = static_cast<TSSTEntry*>(Find(entry, hash));
    if (!stored) {
        stored = CopyOfProbe(entry);
        InsertNew(stored, hash);
        Added(*stored);
    }
    if (countUse) {
        ++stored->UsageCount;
        ++stringCount;
    }
    return stored;
}

TSSTEntry* TSST2::AddString(std::u16string_view text, size_t maxChars) {
    return Intern(FillPlain(text, maxChars), true);
}

TSSTEntry* TSST2::AddFormattedString(std::u16string_view text, std::span<const TSSTFontRun> runs) {
    TSSTEntry& e = FillPlain(text, MaxSSTStringLength, 0, fonts ? runs.size() : 0);
    if (fonts && !runs.empty()) {
        e.Type |= sstRich;
        for (const TSSTFontRun& run : runs)
            e.RunData()[e.runCount++] = {run.Pos, fonts->FindOrAddPlatformFont(run.Font)};
    }
    TSSTEntry* stored = Intern(e, true);
    // A font added for a run of a text that was already stored is not kept.
    for (const TSSTRun& run : probe->Runs())
        if (run.Font->UsageCount < 1 && run.Font->PoolIndex >= fonts->PermanentCount()) {
            fonts->AddUse(run.Font->PoolIndex);
            fonts->ReleaseUse(run.Font->PoolIndex);
        }
    return stored;
}

TSSTEntry* TSST2::AddRead(TSSTEntry& entry) {
    entry.SSTIndex = uint32_t(readList.size());
    TSSTEntry* e = Intern(entry, false);
    ++e->UsageCount; // the read list's hold
    readList.push_back(e);
    ++readIndex;
    return e;
}

TSSTEntry* TSST2::AddStringRead(std::u16string_view text) {
    return AddRead(FillPlain(text, MaxReadStringLength));
}

TSSTEntry* TSST2::AddFormattedStringRead(const TXLSWideStringList& pieces) {
    std::u16string text = pieces.GetConcatText();
    TSSTEntry& e = FillPlain(text, MaxReadStringLength, 0, size_t(pieces.GetCount()));
    uint32_t pos = 0;
    for (int i = 0; i < pieces.GetCount(); ++i) {
        TXFont* font = fonts ? fonts->GetItem(pieces.GetValue(i)) : nullptr;
        if (font && pos < e.CharCount) e.RunData()[e.runCount++] = {pos, font};
        pos += uint32_t(pieces.GetItem(i).size());
    }
    if (e.runCount > 0) e.Type |= sstRich;
    return AddRead(e);
}

void TSST2::AddReadCopies(std::span<std::pair<THashItem*, uint32_t>> copies) {
    std::vector<TSSTEntry*> made(copies.size());
    for (size_t k = 0; k < copies.size(); ++k) made[k] = static_cast<TSSTEntry*>(copies[k].first);
    InsertBatch(copies);
    for (size_t k = 0; k < copies.size(); ++k) {
        auto* e = static_cast<TSSTEntry*>(copies[k].first);
        if (e == made[k]) {
            e->SSTIndex = uint32_t(readList.size());
            Added(*e);
        } else {
            // A text the table held already: the copy goes back.
            arena.Free(made[k], made[k]->BlockBytes());
        }
        ++e->UsageCount; // the read list's hold
        readList.push_back(e);
        ++readIndex;
    }
}

void TSST2::EndRead() {
    std::vector<TSSTEntry*> list;
    list.swap(readList);
    for (TSSTEntry* e : list)
        if (--e->UsageCount < 1) Remove(*e, e->HashValue());
}

void TSST2::AddUse(TSSTEntry* entry) {
    ++entry->UsageCount;
    ++stringCount;
}

bool TSST2::Release(TSSTEntry* entry) noexcept {
    if (!entry) return false;
    --stringCount;
    if (--entry->UsageCount >= 1) return false;
    if (releasing > 0) {
        try {
            unused.push_back(entry);
            return true;
        } catch (...) {
            // No room to put it aside: it goes now.
        }
    }
    Remove(*entry, entry->HashValue());
    return true;
}

void TSST2::EndRelease() noexcept {
    if (releasing == 0 || --releasing > 0) return;
    std::vector<TSSTEntry*> gone;
    gone.swap(unused);
    // An entry used again and released again is listed twice.
    std::sort(gone.begin(), gone.end());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    // Many entries at once (a cleared sheet) go in one sweep of the table,
    // all of them with the arena when none holds font uses; only entries
    // listed here have no use left.
    if (gone.size() == Count() && richEntries == 0) {
        ForgetAll();
        arena.Clear();
        return;
    }
    if (gone.size() >= 64 && gone.size() * 8 >= Count()) {
        try {
            RemoveIf(
                [](const THashItem& item) { return static_cast<const TSSTEntry&>(item).UsageCount < 1; });
            return;
        } catch (...) {
            // No room for the sweep: one by one.
        }
    }
    for (TSSTEntry* e : gone)
        if (e->UsageCount < 1) Remove(*e, e->HashValue());
}

int TSST2::RunCount(const TSSTEntry* entry) {
    return (entry->Type & sstRich) ? int(entry->runCount) : 0;
}

const TSSTRun& TSST2::GetRun(const TSSTEntry* entry, int i) {
    if (RunCount(entry) == 0) throw XLSError("String is not formatted");
    if (i < 0 || i >= RunCount(entry)) throw XLSError("FormatIndedx out of range");
    return entry->Runs()[size_t(i)];
}

TSSTEntry* TSST2::GetEntry(int i) const {
    if (i < 0 || i >= int(readList.size())) throw XLSError("SST index out of range: " + std::to_string(i));
    return readList[size_t(i)];
}

void TSST2::Clear() {
    unused.clear();
    readList.clear();
    DropAll();
    stringCount = 0;
    readIndex = 0;
}

std::vector<uint8_t> TSST2::BuildSST(uint32_t streamBase, int capacity,
                                     std::span<TSSTEntry* const> firstUse) {
    if (!fonts) throw XLSError("Can not write SST when FFonts = Nil");
    std::vector<uint8_t> out;
    out.reserve(Count() * 16 + 64);
    stringsPerBucket = std::max(int(Count() / 1027) + 1, 8);
    std::vector<std::pair<uint32_t, uint16_t>> buckets;
    TSSTWriter w(out, streamBase, capacity);
    w.Begin(BIFF_SST);
    w.U32(uint32_t(stringCount));
    w.U32(0); // the unique count, patched at the end
    // The strings in the order the cells first use them, then the others in
    // the table's order, each once. The table is walked only when cells
    // leave strings out: the walk touches every entry.
    std::vector<TSSTEntry*> order;
    order.reserve(Count());
    // The marks go as each string is written; after a failure the rest too.
    size_t written = 0;
    struct TUnlist {
        std::vector<TSSTEntry*>& order;
        size_t& written;
        ~TUnlist() {
            for (size_t i = written; i < order.size(); ++i) order[i]->listed = false;
        }
    } unlist{order, written};
    auto take = [&](TSSTEntry* e) {
        if (e->listed) return;
        e->listed = true;
        order.push_back(e);
    };
    for (TSSTEntry* e : firstUse) take(e);
    if (order.size() < Count())
        ForEach([&](THashItem* item) {
            take(static_cast<TSSTEntry*>(item));
            return true;
        });
    uint32_t number = 0;
    for (TSSTEntry* e : order) {
        e->listed = false;
        ++written;
        // A string header never starts in the last 15 bytes of a record.
        if (w.left < 16) w.Continue();
        if (number % uint32_t(stringsPerBucket) == 0) buckets.push_back({w.StreamPos(), w.OffsetInRecord()});
        e->SSTIndex = number;
        bool rich = (e->Type & sstRich) && e->runCount > 0;
        std::string_view phonetic = e->Phonetic();
        uint8_t type =
            uint8_t((e->Type & sstWide) | (rich ? sstRich : 0) | (phonetic.empty() ? 0 : sstPhonetic));
        w.U16(e->CharCount);
        w.U8(type);
        if (rich) w.U16(e->runCount);
        if (!phonetic.empty()) w.U32(uint32_t(phonetic.size()));
        // Text: split on a character boundary, never between the halves of
        // a character made of two (readers decode each piece alone); each
        // continued piece starts with its own option byte.
        const char* text = e->KeyData();
        size_t remaining = e->TextBytes();
        for (;;) {
            size_t n = std::min(remaining, size_t(w.left));
            if (e->IsWide()) {
                n &= ~size_t(1);
                if (n < remaining && n >= 2 && (uint8_t(text[n - 1]) & 0xFC) == 0xD8) n -= 2;
            }
            w.Bytes(text, n);
            text += n;
            remaining -= n;
            if (remaining == 0) break;
            w.Continue();
            w.U8(e->IsWide() ? 1 : 0);
        }
        if (rich)
            for (const TSSTRun& run : e->Runs()) {
                if (w.left < 4) w.Continue();
                w.U16(uint16_t(run.Pos));
                w.U16(uint16_t(run.Font->PoolIndex));
            }
        for (size_t done = 0; done < phonetic.size();) {
            if (w.left == 0) w.Continue();
            size_t n = std::min(phonetic.size() - done, size_t(w.left));
            w.Bytes(phonetic.data() + done, n);
            done += n;
        }
        ++number;
    }
    w.Finish();
    PutU32(out.data() + 8, number);
    TByteWriter ext(out);
    ext.U16(BIFF_EXTSST);
    ext.U16(uint16_t(2 + 8 * buckets.size()));
    ext.U16(uint16_t(stringsPerBucket));
    for (auto [pos, offset] : buckets) {
        ext.U32(pos);
        ext.U16(offset);
        ext.U16(0);
    }
    return out;
}

void TSST2::WriteSST(TXLSStream& stream, std::span<TSSTEntry* const> firstUse) {
    std::vector<uint8_t> image =
        BuildSST(uint32_t(stream.Position()), MaxRecordSize(TExcelVersion::xvExcel97), firstUse);
    stream.WriteRaw(image.data(), image.size());
}

// The counts of the head are not trusted: writers get them wrong, and every
// string the records hold is read. Room is made for the strings the head
// announces, as many as the records can hold (a string takes 3 bytes or more).
void TSST2::ParseSST(std::span<const std::vector<uint8_t>> pieces) {
    TSSTReader in(pieces);
    TByteReader& r = in.r;
    r.U32("SST total count");
    const size_t announced = std::min<size_t>(r.U32("SST unique count"), in.BytesLeft() / 3);
    readList.reserve(readList.size() + announced);
    // The strings are copied as they are parsed and go into the table
    // together (also when the records turn out bad, as far as they went).
    std::vector<std::pair<THashItem*, uint32_t>> copies;
    copies.reserve(announced);
    auto add = [&](const TSSTEntry& probe) {
        TSSTEntry* copy = CopyOfProbe(probe);
        copies.emplace_back(copy, copy->Hash());
    };
    try {
        std::u16string text;
        // Fewer bytes than a string head are padding.
        for (uint32_t n = 0; in.BytesLeft() >= 3; ++n) {
            in.NextPieceIfDone();
            uint16_t chars = r.U16("SST string length");
            uint8_t type = r.U8("SST string options");
            if (!ValidType(type)) Unhandled(type);
            uint16_t runCount = (type & sstRich) ? r.U16("SST run count") : 0;
            uint32_t phoneticSize = (type & sstPhonetic) ? r.U32("SST phonetic size") : 0;
            // Nothing is allocated beyond what the records can hold.
            if (size_t(runCount) * 4 + phoneticSize > in.BytesLeft())
                throw XLSError("Bad SST record: string " + std::to_string(n) + " longer than its records");
            // A plain 8-bit text within this piece is the entry's key as it stands.
            if (!(type & (sstWide | sstRich | sstPhonetic)) && r.Remaining() >= chars) {
                add(FillNarrow(r.Bytes(chars)));
                continue;
            }
            text.clear();
            bool wide = type & sstWide;
            while (text.size() < chars) {
                if (in.NextPieceIfDone()) wide = in.r.U8("SST option byte") & 1;
                size_t width = wide ? 2 : 1;
                size_t take = std::min<size_t>(chars - text.size(), r.Remaining() / width);
                // A piece may hold its option byte and nothing more, or end
                // with a byte left over from a split character.
                if (take == 0) {
                    r.Skip(r.Remaining());
                    continue;
                }
                auto bytes = r.Bytes(take * width);
                for (size_t i = 0; i < take; ++i)
                    text.push_back(wide ? char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8))
                                        : char16_t(bytes[i]));
            }
            TSSTEntry& e = FillPlain(text, MaxReadStringLength, phoneticSize, runCount);
            for (uint16_t i = 0; i < runCount; ++i) {
                in.NextPieceIfDone();
                uint16_t pos = r.U16("SST run position");
                uint16_t fontIndex = r.U16("SST run font");
                TXFont* font = fonts ? fonts->GetItem(fontIndex) : nullptr;
                if (!font)
                    throw XLSError("Bad SST record: run font " + std::to_string(fontIndex) +
                                   " does not exist");
                e.RunData()[e.runCount++] = {pos, font};
            }
            if (e.runCount > 0) e.Type |= sstRich;
            char* phonetic = e.KeyData() + e.TextBytes();
            for (uint32_t done = 0; done < phoneticSize;) {
                in.NextPieceIfDone();
                size_t k = std::min<size_t>(phoneticSize - done, r.Remaining());
                auto bytes = r.Bytes(k);
                std::memcpy(phonetic + done, bytes.data(), k);
                done += uint32_t(k);
            }
            if (phoneticSize) e.Type |= sstPhonetic;
            add(e);
        }
    } catch (...) {
        AddReadCopies(copies);
        throw;
    }
    AddReadCopies(copies);
}

void TSST2::ReadSST(TXLSStream& stream, int length) {
    std::vector<std::vector<uint8_t>> pieces;
    auto readBody = [&](int n) {
        std::vector<uint8_t> body(size_t(std::max(n, 0)));
        if (stream.ReadRecordData(body.data(), int(body.size())) != int(body.size()))
            throw XLSError("Bad SST record: the stream ends inside it");
        pieces.push_back(std::move(body));
    };
    readBody(length);
    while (stream.PeekRecordId() == BIFF_CONTINUE) {
        TBIFFHeader header;
        stream.ReadHeader(header);
        // An empty CONTINUE holds not even an option byte: nothing to parse.
        if (header.Length > 0) readBody(header.Length);
    }
    ParseSST(pieces);
}

} // namespace xls

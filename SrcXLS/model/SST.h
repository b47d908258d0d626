// The shared string table: every text of the workbook's cells once, with a
// use count, interned through the hash trie; read and written as the BIFF8
// SST record with its CONTINUE records and the EXTSST index.
#pragma once

#include "SrcXLS/XLSArena.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/model/HashTrie.h"
#include "SrcXLS/model/WideStringList.h"
#include "SrcXLS/model/XFonts.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TXLSStream;

constexpr uint16_t BIFF_SST = 0x00FC;
constexpr uint16_t BIFF_CONTINUE = 0x003C;
constexpr uint16_t BIFF_EXTSST = 0x00FF;
// Longest cell text a setter stores, as spreadsheet programs allow.
constexpr int MaxSSTStringLength = 32767;
// Longest text a file holds (and a reader keeps).
constexpr int MaxReadStringLength = 65535;

enum TSSTType : uint8_t { sstWide = 1, sstPhonetic = 4, sstRich = 8 };

// A rich-text run: from character Pos on the text shows in Font.
struct TSSTRun {
    uint32_t Pos = 0;
    TXFont* Font = nullptr;
    bool operator==(const TSSTRun&) const = default;
};

// A run as the caller describes it, with a platform font.
struct TSSTFontRun {
    uint32_t Pos = 0;
    TFontDesc Font;
};

// An entry of the table. Its bytes (the text, 8-bit or UTF-16LE, then the
// phonetic block) and its runs follow it in the same block of the table's
// arena, so an entry costs one small block and nothing more.
class TSSTEntry : public THashItem {
public:
    uint32_t SSTIndex = 0xFFFF; // set by writing; the list position of a read entry
    int32_t UsageCount = 0;
    uint16_t CharCount = 0;
    uint8_t Type = 0; // TSSTType bits

    bool IsWide() const { return Type & sstWide; }
    size_t TextBytes() const { return size_t(CharCount) * (IsWide() ? 2 : 1); }
    std::u16string Text() const;
    // The text into a buffer the caller reuses.
    void CopyText(std::u16string& out) const;
    // The text bytes followed by the phonetic block.
    std::string_view Key() const { return {KeyData(), keyBytes}; }
    std::string_view Phonetic() const { return Key().substr(TextBytes()); }
    std::span<const TSSTRun> Runs() const { return {RunData(), runCount}; }
    uint32_t Hash() const override;
    bool Equal(const THashItem& other) const override;

private:
    friend class TSST2;
    TSSTEntry() = default;
    static size_t BlockBytes(size_t keyBytes, size_t runs) {
        return sizeof(TSSTEntry) + ((keyBytes + 7) & ~size_t(7)) + runs * sizeof(TSSTRun);
    }
    size_t BlockBytes() const { return BlockBytes(keyBytes, runCount); }
    const char* KeyData() const { return reinterpret_cast<const char*>(this + 1); }
    char* KeyData() { return reinterpret_cast<char*>(this + 1); }
    const TSSTRun* RunData() const {
        return reinterpret_cast<const TSSTRun*>(KeyData() + ((keyBytes + 7) & ~size_t(7)));
    }
    TSSTRun* RunData() { return const_cast<TSSTRun*>(static_cast<const TSSTEntry*>(this)->RunData()); }

    uint32_t keyBytes = 0;
    uint16_t runCount = 0;
    bool listed = false; // taken into the order of the table being written
};

class TSST2 : public THashTrie {
public:
    explicit TSST2(TXFonts* fonts);
    ~TSST2() override;

    // One more use of the text's entry (a new entry with one use); a
    // longer text is cut to maxChars.
    TSSTEntry* AddString(std::u16string_view text, size_t maxChars = MaxSSTStringLength);
    TSSTEntry* AddFormattedString(std::u16string_view text, std::span<const TSSTFontRun> runs);
    // For readers: the next SST index of the file. Read entries stay while
    // the read list holds them, until EndRead.
    TSSTEntry* AddStringRead(std::u16string_view text);
    TSSTEntry* AddFormattedStringRead(const TXLSWideStringList& pieces);
    // Drops the read list; entries no cell took go.
    void EndRead();
    void ResetReadIndex() { readIndex = 0; }

    void AddUse(TSSTEntry* entry);
    // True when the entry was freed (between BeginRelease and EndRelease:
    // when it is to go).
    bool Release(TSSTEntry* entry) noexcept;
    // While many cells go at once: entries whose uses end leave the table
    // together at EndRelease.
    void BeginRelease() noexcept { ++releasing; }
    void EndRelease() noexcept;

    static std::u16string EntryText(const TSSTEntry* entry) { return entry->Text(); }
    static int RunCount(const TSSTEntry* entry);
    static const TSSTRun& GetRun(const TSSTEntry* entry, int i);
    // The entry of SST index i of the file being read.
    TSSTEntry* GetEntry(int i) const;
    int ReadCount() const { return int(readList.size()); }

    void Clear();
    // Uses of all entries together (the SST's total count).
    int StringCount() const { return stringCount; }

    // The SST, CONTINUE and EXTSST records as they go into a stream whose
    // position is streamBase; assigns every entry its SST index. The entries
    // of firstUse come first in that order (each once), the others after
    // them, so the same cells give the same table however it was filled.
    std::vector<uint8_t> BuildSST(uint32_t streamBase, int recordCapacity = 8224,
                                  std::span<TSSTEntry* const> firstUse = {});
    void WriteSST(TXLSStream& stream, std::span<TSSTEntry* const> firstUse = {});
    // Parses an SST body and the bodies of the CONTINUE records after it.
    void ParseSST(std::span<const std::vector<uint8_t>> pieces);
    // Reads an SST record whose header was just read, with its CONTINUEs.
    void ReadSST(TXLSStream& stream, int length);

    int StringsPerBucket() const { return stringsPerBucket; }

protected:
    bool Equal(const THashItem& a, const THashItem& b) const override { return a.Equal(b); }
    void ReleaseItem(THashItem* item) override;

private:
    TSSTEntry* Intern(TSSTEntry& probe, bool countUse);
    // The probe copied into a block of the arena, not yet in the table.
    TSSTEntry* CopyOfProbe(const TSSTEntry& probe);
    // A new entry in the table: its runs hold their fonts.
    void Added(TSSTEntry& stored);
    TSSTEntry* AddRead(TSSTEntry& probe);
    // Copies of a file's strings, in their order, into the table and the
    // read list at once, as AddRead one by one.
    void AddReadCopies(std::span<std::pair<THashItem*, uint32_t>> copies);
    // The lookup entry, filled with the text (cut to maxChars), room for a
    // phonetic block of extraKey bytes and for runs runs.
    TSSTEntry& FillPlain(std::u16string_view text, size_t maxChars = MaxSSTStringLength, size_t extraKey = 0,
                         size_t runs = 0);
    // The lookup entry for a text of 8-bit characters as a file holds them.
    TSSTEntry& FillNarrow(std::span<const uint8_t> chars);
    TSSTEntry& NewProbe(size_t keyBytes, size_t runs);
    // Drops every entry; the entries' blocks go with the arena.
    void DropAll();

    TXFonts* fonts;
    TArena arena;                      // the entries' blocks
    std::vector<std::byte> probeBlock; // the lookup entry's block, reused
    TSSTEntry* probe = nullptr;
    int richEntries = 0;              // entries with runs, which hold font uses
    std::vector<TSSTEntry*> readList; // each slot holds a use while reading
    int stringCount = 0;
    int readIndex = 0;
    int releasing = 0;
    std::vector<TSSTEntry*> unused; // entries whose uses ended while releasing
    int stringsPerBucket = 8;
};

} // namespace xls

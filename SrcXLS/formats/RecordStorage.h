// Record lists: the BIFF records a workbook keeps as raw bytes, in the order
// in which they are written. The default sets of the globals and of a sheet
// build on TRecordStorageDefault (DefaultRecords.h).
#pragma once

#include "SrcXLS/XLSArena.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/XLSStream.h"

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace xls {

// One record: u16 id, u16 body length, body, held in one block of its list's
// arena. The block object's address never changes while it lives, whatever
// is done to its body, so typed pointers into a list stay valid; its bytes
// move when the list resizes it.
class TRecordBlock {
public:
    // Only a record list makes blocks.
    class TKey {
        friend class TBaseRecordStorage;
        friend class TRecordStorageDefault;
        TKey() = default;
    };
    TRecordBlock(TKey, uint8_t* raw) : raw(raw) {}
    TRecordBlock(const TRecordBlock&) = delete;
    TRecordBlock& operator=(const TRecordBlock&) = delete;

    uint16_t Id() const { return GetU16(raw); }
    uint16_t Length() const { return GetU16(raw + 2); }
    uint8_t* Data() { return raw + 4; }
    const uint8_t* Data() const { return raw + 4; }
    std::span<uint8_t> Body() { return {raw + 4, Length()}; }
    std::span<const uint8_t> Body() const { return {raw + 4, Length()}; }
    // Header and body as they go into the stream.
    std::span<const uint8_t> Bytes() const { return {raw, size_t(4) + Length()}; }

    void SetId(uint16_t id) { PutU16(raw, id); }

private:
    friend class TBaseRecordStorage;
    uint8_t* raw;
};

// An ordered list of record blocks; it owns them. The records' bytes lie
// packed in the list's arena, so a record costs its own bytes (rounded up to
// 8) and one pointer, however many tiny records a file holds.
class TBaseRecordStorage {
public:
    TBaseRecordStorage() = default;
    virtual ~TBaseRecordStorage() = default;
    TBaseRecordStorage(const TBaseRecordStorage&) = delete;
    TBaseRecordStorage& operator=(const TBaseRecordStorage&) = delete;

    // Appends header.Length bytes of data as a record. data is the reader's
    // buffer and may be longer; a shorter one is a malformed file.
    TRecordBlock& Add(const TBIFFHeader& header, std::span<const uint8_t> data);
    TRecordBlock& Add(uint16_t id, std::span<const uint8_t> body);

    int Count() const { return int(blocks.size()); }
    TRecordBlock& GetItem(int index);
    const TRecordBlock& GetItem(int index) const;
    // Index of the first record with this id, -1 when none.
    int IndexOf(uint16_t id) const;

    void WriteRecord(int index, TXLSStream& stream) const;
    virtual void WriteAll(TXLSStream& stream) const;

    // Sum of length + 4 over all records.
    int64_t TotalSize() const;
    void ReplaceData(int index, std::span<const uint8_t> data);
    // A block of this list (or of its defaults): new body length, bytes kept
    // up to the shorter length, new bytes 0.
    void Resize(TRecordBlock& block, uint16_t length);
    // A block of this list: replaces the body (length = data size, at most 65535).
    void Assign(TRecordBlock& block, std::span<const uint8_t> data);
    // Appends a copy of every record to dest.
    void CopyTo(TBaseRecordStorage& dest) const;
    virtual void Clear();
    // Heap bytes of the records and their list.
    size_t BytesReserved() const;

protected:
    // Bytes of one record in the arena, header written.
    uint8_t* NewRecord(uint16_t id, std::span<const uint8_t> body);
    // Gives back bytes of NewRecord that no block holds any more.
    void FreeRecord(uint8_t* raw) noexcept;
    static uint8_t* RawOf(const TRecordBlock& block) { return block.raw; }
    // Appends a block over bytes of NewRecord.
    TRecordBlock& Append(uint8_t* raw);
    // Forgets every block and its bytes.
    void ClearBlocks();

private:
    TArena arena;
    std::deque<TRecordBlock> blocks;
};

// A record list with a default set: the operations a reader uses to put read
// records where the defaults stand.
class TRecordStorage : public TBaseRecordStorage {
public:
    virtual void SetDefaults() = 0;
    // Run on the globals after a file was read; nothing to do so far.
    virtual int AfterRead() = 0;
    // Puts a read record in place of its default.
    virtual void UpdateDefault(const TBIFFHeader& header, std::span<const uint8_t> data) = 0;
    // Puts the placeholder of a generated block at the current end.
    virtual void InsertPlaceholder(uint16_t id) = 0;
};

// Placeholders: blocks that the writer generates from the model.
namespace placeholder {
constexpr uint16_t Formats = 0x8001;
constexpr uint16_t BoundSheets = 0x8002;
constexpr uint16_t Names = 0x8003;
constexpr uint16_t DrawingGroup = 0x8004;
constexpr uint16_t SST = 0x8005;
constexpr uint16_t PageBreaks = 0x8101;
constexpr uint16_t HeaderFooter = 0x8102;
constexpr uint16_t Margins = 0x8103;
constexpr uint16_t ColInfo = 0x8104;
constexpr uint16_t Cells = 0x8105;
constexpr uint16_t SheetTail = 0x8106;
// A kept record the model no longer holds (a deleted name's): written by
// no writer, nor its CONTINUE records.
constexpr uint16_t Dropped = 0x81FF;
} // namespace placeholder

// A record list and the template list of the defaults not yet placed in it.
// Each default has one slot, in template order: the template block until the
// default is placed, and a pointer that always names the block now holding
// the default, so typed accessors read and write the record wherever it is.
class TRecordStorageDefault : public TRecordStorage {
public:
    // Empties both lists and sets the defaults again: the typed pointers
    // never point at freed blocks.
    void Clear() override;
    void SetDefaults() override;
    void UpdateDefault(const TBIFFHeader& header, std::span<const uint8_t> data) override;
    void InsertPlaceholder(uint16_t id) override;
    // Repoints the typed pointer of the block's id to the block.
    virtual void MoveDefault(TRecordBlock& block);

    // Fills the record list with the full default set, in template order.
    void ApplyDefaults();

    // True when the id has a default record here (placeholders excluded).
    bool HasDefault(uint16_t id) const;
    // Grows the block of a default read shorter than its later layout with
    // the default's bytes.
    void GrowToDefault(uint16_t id) { FullBody(id); }
    // The block now holding the default with this id, nullptr when none.
    TRecordBlock* DefaultBlock(uint16_t id) const;
    // The template block of a default slot, nullptr once it was placed.
    const TRecordBlock* TemplateAt(int slot) const { return templates[size_t(slot)]; }
    int SlotCount() const { return int(templates.size()); }

protected:
    struct TDefaultBody {
        uint16_t Id;
        std::vector<uint8_t> Body;
    };
    // The default set in template order.
    virtual const std::vector<TDefaultBody>& DefaultSet() const = 0;
    virtual bool IsPlaceholder(uint16_t id) const = 0;
    // A sheet stores every BOF it accepts under the BIFF8 id.
    virtual bool RenamesBOF() const = 0;

    void PlaceDefault(const TBIFFHeader& header, std::span<const uint8_t> data);
    int SlotOf(uint16_t id) const;

    // Accessor helpers. Reads past a short block answer the default's bytes;
    // writes grow the block first.
    uint16_t GetWord(uint16_t id, int offset) const;
    void SetWord(uint16_t id, int offset, uint16_t value);
    bool GetBool(uint16_t id) const { return GetWord(id, 0) == 1; }
    void SetBool(uint16_t id, bool value) { SetWord(id, 0, value ? 1 : 0); }
    double GetDouble(uint16_t id, int offset) const;
    void SetDouble(uint16_t id, int offset, double value);
    // The body of a default, grown to at least the default's length.
    std::span<uint8_t> FullBody(uint16_t id);
    // Grows the block of a default to at least size bytes.
    TRecordBlock& Ensure(uint16_t id, int size);

private:
    void ClearLists();

    // Template blocks live in the list's arena; a placed one's slot is null.
    std::deque<TRecordBlock> templateBlocks;
    std::vector<TRecordBlock*> templates;
    std::vector<TRecordBlock*> pointers;
};

// Records of later file versions that the model does not interpret, kept in
// the order in which they were read and written after the shared strings.
class TRecordStorageEx2007Unknown : public TBaseRecordStorage {
public:
    // The ids kept here: BOOKEXT, XFCRC, XFEXT, COMPAT12, TABLESTYLES,
    // STYLEEXT, THEME, MTRSETTINGS, COMPRESSPICTURES, FORCEFULLCALCULATION.
    static bool Keeps(uint16_t id);
};

} // namespace xls

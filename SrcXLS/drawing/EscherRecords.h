// The Office drawing record layer of BIFF8 sheets and the drawing group:
// the 8-byte record header, the property table of a shape, lists of records
// kept as read, and the two channels through which drawing records travel
// inside BIFF records (MSODRAWING, MSODRAWINGGROUP and their CONTINUEs).
#pragma once

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/XLSStream.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace xls {

namespace biff {
constexpr uint16_t NOTE = 0x001C;
constexpr uint16_t OBJ = 0x005D;
constexpr uint16_t IMDATA = 0x007F;
constexpr uint16_t MSODRAWING = 0x00EC;
constexpr uint16_t TXO = 0x01B6;
} // namespace biff

// Drawing record types.
namespace mso {
constexpr uint16_t DggContainer = 0xF000;
constexpr uint16_t BStoreContainer = 0xF001;
constexpr uint16_t DgContainer = 0xF002;
constexpr uint16_t SpgrContainer = 0xF003;
constexpr uint16_t SpContainer = 0xF004;
constexpr uint16_t Dgg = 0xF006;
constexpr uint16_t BSE = 0xF007;
constexpr uint16_t Dg = 0xF008;
constexpr uint16_t Spgr = 0xF009;
constexpr uint16_t Sp = 0xF00A;
constexpr uint16_t OPT = 0xF00B;
constexpr uint16_t ClientTextbox = 0xF00D;
constexpr uint16_t ChildAnchor = 0xF00F;
constexpr uint16_t ClientAnchor = 0xF010;
constexpr uint16_t ClientData = 0xF011;
constexpr uint16_t CLSID = 0xF016;
constexpr uint16_t BlipFirst = 0xF018;
constexpr uint16_t BlipLast = 0xF117;
constexpr uint16_t RegroupItems = 0xF118;
constexpr uint16_t ColorMRU = 0xF11A;
constexpr uint16_t SplitMenuColors = 0xF11E;
} // namespace mso

// Shape flags of the Sp record.
enum TShapeFlag : uint32_t {
    sfGroup = 0x0001,
    sfChild = 0x0002,
    sfPatriarch = 0x0004,
    sfFlipH = 0x0040,
    sfFlipV = 0x0080,
    sfHaveAnchor = 0x0200,
    sfHaveShapeType = 0x0800,
};

struct TMSOHeader {
    uint16_t Version = 0;
    uint16_t Instance = 0;
    uint16_t Type = 0;
    uint32_t Length = 0;

    bool IsContainer() const { return Version == 15; }
    static TMSOHeader Parse(const uint8_t* p);
    void AppendTo(std::vector<uint8_t>& out) const;
};

// One property of a shape: id bits 0x3FFF the number, 0x4000 a picture
// reference, 0x8000 complex (the value is the length of the data that
// follows all fixed parts).
struct TOPTItem {
    uint16_t Id = 0;
    uint32_t Value = 0;
    std::vector<uint8_t> Complex;

    int Number() const { return Id & 0x3FFF; }
    bool IsBlip() const { return (Id & 0x4000) != 0; }
    bool IsComplex() const { return (Id & 0x8000) != 0; }
};

// A shape's property table; the count written as the OPT instance is kept
// beside the list and fixed after the properties are set up.
class TOPT {
public:
    std::vector<TOPTItem> Items;
    uint16_t Count = 0;

    // A simple property, in ascending order of numbers.
    void Add(uint16_t id, uint32_t value);
    // A complex text: UTF-16 and two zero bytes.
    void AddComplexText(int number, std::u16string_view text);
    TOPTItem* Find(int number);
    const TOPTItem* Find(int number) const;
    // -1 when absent.
    int64_t Value(int number) const;
    // Nothing when absent.
    void SetValue(int number, uint32_t value);
    // Sets the value when present, else adds the property.
    void Put(uint16_t id, uint32_t value);
    void SetComplexText(int number, std::u16string_view text);
    std::u16string ComplexText(int number) const;
    // The first picture reference that is not complex; nullptr when none.
    TOPTItem* BlipRef();
    const TOPTItem* BlipRef() const;
    void FixCount() { Count = uint16_t(Items.size()); }
    void Clear();

    // 6 bytes per item and the complex data.
    uint32_t Size() const;
    // The body: fixed parts, then the complex data in item order.
    void AppendBody(std::vector<uint8_t>& out) const;
    // Reads count items from a body of exactly its length; a length that
    // does not come out at 0 raises.
    void Parse(std::span<const uint8_t> body, uint16_t count);
    // As Parse, but a table whose complex data cannot be split (or whose
    // fixed parts run past the body) keeps the simple properties that are
    // there and leaves the complex ones out, answering false.
    bool ParseKeeping(std::span<const uint8_t> body, uint16_t count);
    // The lengths a table of count items at the start of bytes gives itself
    // (fixed parts and complex data, as the items state it or with arrays
    // as long as their own headers say), those that fit in bytes.
    static std::vector<size_t> ContentLengths(std::span<const uint8_t> bytes, uint16_t count);

private:
    void Insert(TOPTItem item);
};

// Drawing records kept as read: each its header, and for a record that is
// not a container its body; a container's children follow as entries of
// their own.
class TMSORecords {
public:
    struct TRecord {
        TMSOHeader Header;
        std::vector<uint8_t> Body;
    };
    std::vector<TRecord> Records;

    void Add(const TMSOHeader& header, std::vector<uint8_t> body);
    uint32_t Size() const;
    bool Empty() const { return Records.empty(); }
    void AppendTo(std::vector<uint8_t>& out) const;
};

// Writes drawing records of a sheet: their bytes gather until a BIFF record
// has to go between them (OBJ, TXO, a chart), then leave as one MSODRAWING
// record, continued in CONTINUE records when it is longer than a record
// holds.
class TDrawingOut {
public:
    explicit TDrawingOut(TXLSStream& stream) : stream(stream) {}

    void Header(uint16_t version, uint16_t instance, uint16_t type, uint32_t length);
    void Bytes(std::span<const uint8_t> bytes);
    void U16(uint16_t v);
    void U32(uint32_t v);
    // The pending drawing bytes as one MSODRAWING record (none when empty).
    void Flush();
    // The stream, for a BIFF record between drawing records.
    TXLSStream& Biff();
    TXLSStream& Stream() { return stream; }
    // Drawing bytes written so far.
    uint64_t Total() const { return total; }

private:
    TXLSStream& stream;
    std::vector<uint8_t> pending;
    uint64_t total = 0;
};

// Reads drawing records that run across BIFF records: when the current
// MSODRAWING body is used up, the next one (or a CONTINUE) carries on.
// IMDATA records met between them are taken aside, to be kept.
class TDrawingIn {
public:
    // The stream stands after an MSODRAWING header of firstLength.
    TDrawingIn(TXLSStream& stream, uint32_t firstLength) : stream(stream), pieceLeft(firstLength) {}

    TMSOHeader ReadHeader();
    void Read(uint8_t* dst, size_t n);
    // A body of n bytes; n is checked against the bytes the stream still has.
    std::vector<uint8_t> ReadBody(uint32_t n);
    void Skip(uint32_t n);
    // True when the current MSODRAWING body is used up.
    bool PieceEmpty() const { return pieceLeft == 0 && pendingAt == pending.size(); }
    // Bytes of the current MSODRAWING body not read yet.
    uint32_t PieceLeft() const { return pieceLeft + uint32_t(pending.size() - pendingAt); }
    // Bytes read of the current body, given back to be read again first.
    void Unread(std::vector<uint8_t> bytes);
    // True when the next BIFF record may continue the drawing.
    bool NextIsDrawing();
    TXLSStream& Stream() { return stream; }

    struct TKeptRecord {
        uint16_t Id;
        std::vector<uint8_t> Body;
    };
    // IMDATA records and their CONTINUEs, as read.
    std::vector<TKeptRecord> Skipped;

private:
    void NextPiece();
    TXLSStream& stream;
    uint32_t pieceLeft;
    std::vector<uint8_t> pending; // given back by Unread
    size_t pendingAt = 0;
};

// The body of the BIFF record the stream stands at, when it has this id;
// raises message otherwise.
std::vector<uint8_t> ReadBiffRecord(TXLSStream& stream, uint16_t id, const char* message);

} // namespace xls

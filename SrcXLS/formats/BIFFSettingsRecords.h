// Bodies of the workbook and sheet settings records of a read BIFF file,
// decoded into plain values. Every field is read through a bounds-checked
// reader; list counts larger than the record holds are cut to what it holds,
// and cosmetic values out of range are clamped, so a damaged record never
// reads beyond its body.
#pragma once

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xls {

class TXFont;

// How the 8-bit text of a read file becomes UTF-16: Latin-1 in BIFF8, the
// file's code page below.
struct TFileText {
    TExcelVersion Version = TExcelVersion::xvExcel97;
    int CodePage = DefaultCodePage;

    bool Unicode() const { return Version >= TExcelVersion::xvExcel97; }
    std::u16string Decode8(std::span<const uint8_t> bytes) const;
    // count characters: in BIFF8 a flag byte (bit 0 set: UTF-16) and the
    // characters; below BIFF8 8-bit characters. A count of 0 reads nothing.
    std::u16string Chars(TByteReader& r, size_t count) const;
    // The same for a text that may go on in CONTINUE records, whose bodies
    // next hands out one by one (false when none follows). In BIFF8 every
    // piece starts with its own flag byte; below, the bytes just go on.
    // A byte left over from a split character is skipped.
    std::u16string ContinuedChars(TByteReader& r, size_t count,
                                  const std::function<bool(std::vector<uint8_t>&)>& next) const;
};

struct TBOFRecord {
    uint16_t Version = 0;
    uint16_t Type = 0;
    uint16_t Build = 0;
    uint16_t Year = 0;
    uint32_t History = 0;
    uint32_t Lowest = 0;
    bool Full = false; // the 16-byte BIFF8 body with history and lowest version
};

namespace bofType {
constexpr uint16_t Globals = 0x0005;
constexpr uint16_t VBModule = 0x0006;
constexpr uint16_t Worksheet = 0x0010;
constexpr uint16_t Chart = 0x0020;
constexpr uint16_t MacroSheet = 0x0040;
constexpr uint16_t Workspace = 0x0100;
} // namespace bofType

TBOFRecord DecodeBOF(std::span<const uint8_t> body);
bool IsBOFId(uint16_t id);

struct TBoundSheetEntry {
    std::u16string Name;
    int Visibility = 0;
    uint32_t Position = 0; // of the sheet's BOF in the stream
    uint8_t Type = 0;      // 0 worksheet, 1 macro sheet, 2 chart, 6 module
};
TBoundSheetEntry DecodeBoundSheet(std::span<const uint8_t> body, const TFileText& text);

struct TFormatEntry {
    int Index = 0;
    std::u16string Text;
};
// FORMAT 0x041E of BIFF4 to BIFF8.
TFormatEntry DecodeFormat(std::span<const uint8_t> body, const TFileText& text);
// The text of a BIFF2-BIFF4 FORMAT (0x001E, or 0x041E whose index field
// those versions leave unused): they number their formats by order.
std::u16string DecodeOldFormat(uint16_t id, std::span<const uint8_t> body, const TFileText& text);

// A BIFF2-BIFF4 font colour index as the pool holds it.
uint8_t OldFontColor(uint16_t color);
// FONT of BIFF2 (0x0031) and BIFF3/BIFF4 (0x0231) into a pool font; the
// BIFF5/BIFF8 layout is the font's own LoadFromRecord.
void LoadOldFont(TXFont& font, std::span<const uint8_t> body, TExcelVersion version, const TFileText& text);

// PALETTE colours for palette entries 8 on (at most 57).
std::vector<uint32_t> DecodePalette(std::span<const uint8_t> body);

// The user name of a WRITEACCESS below BIFF8 (count u8 and 8-bit text).
std::u16string DecodeOldWriteAccess(std::span<const uint8_t> body, const TFileText& text);
// A BIFF8 WRITEACCESS body, padded with blanks to its full 112 bytes.
std::vector<uint8_t> PadWriteAccess(std::span<const uint8_t> body);

// WINDOW2 in the 18-byte BIFF8 layout (a 10-byte body is extended with zeros).
std::vector<uint8_t> Window2ToBIFF8(std::span<const uint8_t> body);
// DIMENSIONS in the 14-byte BIFF8 layout (from the 10-byte BIFF5 one).
std::vector<uint8_t> DimensionsToBIFF8(std::span<const uint8_t> body);

// HEADER or FOOTER text; an empty body is an empty text.
std::u16string DecodeHeaderFooter(std::span<const uint8_t> body, const TFileText& text);

struct TSelectionArea {
    int Col1 = 0, Row1 = 0, Col2 = 0, Row2 = 0;
};
struct TSelectionRecord {
    int Pane = 3;
    int ActiveRow = 0;
    int ActiveCol = 0;
    int ActiveIndex = 0;
    std::vector<TSelectionArea> Areas;
};
TSelectionRecord DecodeSelection(std::span<const uint8_t> body);

struct TPaneRecord {
    int SplitColX = 0;
    int SplitRowY = 0;
    int TopRow = 0;
    int LeftCol = 0;
    int ActivePane = 3; // clamped to 0..3
};
TPaneRecord DecodePane(std::span<const uint8_t> body);

struct TPageBreakEntry {
    int Position = 0;
    int Start = 0;
    int End = 0;
};
// BIFF8 entries carry their start and end; BIFF5 ones only the position.
std::vector<TPageBreakEntry> DecodePageBreaks(std::span<const uint8_t> body, TExcelVersion version);

// MERGEDCELLS areas as (Col1, Row1, Col2, Row2).
std::vector<TSelectionArea> DecodeMergedCells(std::span<const uint8_t> body);

// The sheet protection flags of a FEATHDR for sheet protection (feature
// type 2 with its flags present); nothing for every other FEATHDR.
std::optional<uint16_t> DecodeFeatHdrProtection(std::span<const uint8_t> body);

// The tab colour index of a SHEETEXT, when the record holds it.
std::optional<uint8_t> DecodeSheetExtTabColor(std::span<const uint8_t> body);

// Kept STYLE record bodies.
class TStyles {
public:
    // Copies the body's style: 4 bytes for a built-in style, else with its
    // name, never more than the record holds. eightBit: the layout before
    // BIFF8, a u8 count and 8-bit characters, bit 15 marking a built-in
    // style.
    void Add(std::span<const uint8_t> body, bool eightBit = false);
    int Count() const { return int(items.size()); }
    const std::vector<uint8_t>& Items(int i) const { return items[size_t(i)]; }
    void Clear() { items.clear(); }

private:
    std::vector<std::vector<uint8_t>> items;
};

} // namespace xls

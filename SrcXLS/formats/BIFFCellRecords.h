// Bodies of the cell records of a read BIFF file (BIFF2 to BIFF8), decoded
// into plain cell values; formula records into their fields. Every field is
// read through a bounds-checked reader.
#pragma once

#include "SrcXLS/formats/BIFFSettingsRecords.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace xls {

namespace biff {
constexpr uint16_t BLANK2 = 0x0001;
constexpr uint16_t INTEGER2 = 0x0002;
constexpr uint16_t NUMBER2 = 0x0003;
constexpr uint16_t LABEL2 = 0x0004;
constexpr uint16_t BOOLERR2 = 0x0005;
constexpr uint16_t FORMULA = 0x0006;
constexpr uint16_t STRING2 = 0x0007;
constexpr uint16_t RK_OLD = 0x007E;
constexpr uint16_t MULRK = 0x00BD;
constexpr uint16_t MULBLANK = 0x00BE;
constexpr uint16_t SHRFMLA = 0x00BC;
constexpr uint16_t SHRFMLA_OLD = 0x04BC;
constexpr uint16_t RSTRING = 0x00D6;
constexpr uint16_t LABELSST = 0x00FD;
constexpr uint16_t BLANK = 0x0201;
constexpr uint16_t NUMBER = 0x0203;
constexpr uint16_t LABEL = 0x0204;
constexpr uint16_t BOOLERR = 0x0205;
constexpr uint16_t FORMULA3 = 0x0206;
constexpr uint16_t STRING = 0x0207;
constexpr uint16_t ARRAY = 0x0221;
constexpr uint16_t TABLE = 0x0236;
constexpr uint16_t RK = 0x027E;
constexpr uint16_t FORMULA4 = 0x0406;
} // namespace biff

enum class TReadCellKind : uint8_t { Blank, Number, Boolean, Error, Text, SharedText };

// One cell of a value record. Format is the XF index of the record; of a
// BIFF2 record the six bits its attributes hold (63: the IXFE's).
struct TReadCell {
    TReadCellKind Kind = TReadCellKind::Blank;
    uint16_t Col = 0;
    uint32_t Row = 0;
    int Format = 15;
    double Number = 0;
    uint8_t Code = 0;      // boolean value or BIFF error code
    uint32_t SSTIndex = 0; // LABELSST
    std::u16string Text;
};

// True for the ids DecodeValueCells handles.
bool IsValueCellRecord(uint16_t id);
// Appends the cells of one value record to out (MULRK and MULBLANK give
// several); out is not cleared. The text of a LABEL or RSTRING may go on in
// the CONTINUE records that next hands out.
using TNextPiece = std::function<bool(std::vector<uint8_t>&)>;
void DecodeValueCells(uint16_t id, std::span<const uint8_t> body, const TFileText& text,
                      std::vector<TReadCell>& out, const TNextPiece& next = {});

enum class TCachedResultKind : uint8_t { Number, String, Boolean, Error, EmptyString, Unknown };

// The 8 cached-result bytes of a FORMULA: a double unless bytes 6 and 7 are
// both 0xFF, then byte 0 is the kind (0 to 3, anything else Unknown) and
// byte 2 the boolean value or the BIFF error code.
struct TCachedResult {
    TCachedResultKind Kind = TCachedResultKind::Number;
    double Number = 0;
    uint8_t Value = 0;
};
TCachedResult DecodeCachedResult(std::span<const uint8_t, 8> bytes);

enum class TFormulaLayout : uint8_t { BIFF2, BIFF3, BIFF5 };

// The layout of a FORMULA record by its id, the file's version and the
// lowest-version field of the sheet's BOF.
TFormulaLayout FormulaLayout(uint16_t id, TExcelVersion version, uint32_t lowestVersion);

struct TFormulaRecord {
    uint32_t Row = 0;
    uint16_t Col = 0;
    int Format = 15;
    std::array<uint8_t, 8> Result{};
    uint16_t Options = 0;
    uint16_t Cce = 0;
    // The tokens and whatever follows them in the record.
    std::span<const uint8_t> Data;
};
// Raises when the record is shorter than its fixed part or its token
// length runs past the body.
TFormulaRecord DecodeFormula(std::span<const uint8_t> body, TFormulaLayout layout);

struct TSharedFormulaRange {
    uint16_t RowFirst = 0, RowLast = 0;
    uint8_t ColFirst = 0, ColLast = 0;
    bool Contains(int col, int row) const {
        return ColFirst <= col && col <= ColLast && RowFirst <= row && row <= RowLast;
    }
};
// SHRFMLA: its range and tokens (checked against the body), and the data
// after the tokens (the values of array constants).
struct TSharedFormulaRecord {
    TSharedFormulaRange Range;
    std::span<const uint8_t> Tokens;
    std::span<const uint8_t> Extra;
};
TSharedFormulaRecord DecodeSharedFormula(std::span<const uint8_t> body);
TSharedFormulaRange DecodeArrayRange(std::span<const uint8_t> body);

// STRING after a string-result FORMULA: BIFF8 a u16 count and flagged
// characters, BIFF3 to BIFF5 a u16 count and 8-bit characters, the BIFF2
// STRING (0x0007) a u8 count and 8-bit characters.
std::u16string DecodeFormulaString(uint16_t id, std::span<const uint8_t> body, const TFileText& text);

} // namespace xls

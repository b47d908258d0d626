#include "SrcXLS/formats/BIFFFormulaTokens.h"

#include "SrcXLS/XLSBytes.h"

namespace xls {

namespace {

constexpr uint16_t RowRelative = 0x8000;
constexpr uint16_t ColRelative = 0x4000;

// Moves one cell address from offsets to the cell col, row. BIFF8: row u16,
// column u16 carrying the relative flags; BIFF5: row u16 carrying the
// flags (14 bits of row), column u8. Offsets wrap like the addresses.
void Place(uint8_t* rowField, uint8_t* colField, bool biff8, int col, int row) {
    uint16_t r = GetU16(rowField);
    uint16_t flags = biff8 ? GetU16(colField) : r;
    if (biff8) {
        if (flags & RowRelative) PutU16(rowField, uint16_t(row + int16_t(r)));
        if (flags & ColRelative)
            PutU16(colField, uint16_t((flags & 0xC000) | ((col + int8_t(flags & 0xFF)) & 0xFF)));
        return;
    }
    if (flags & RowRelative) {
        int offset = r & 0x3FFF;
        if (offset & 0x2000) offset -= 0x4000;
        PutU16(rowField, uint16_t((r & 0xC000) | ((row + offset) & 0x3FFF)));
    }
    if (flags & ColRelative) *colField = uint8_t(col + int8_t(*colField));
}

// A reference: row, then column.
void PlaceRef(uint8_t* p, bool biff8, int col, int row) {
    Place(p, p + 2, biff8, col, row);
}

// An area: both rows, then both columns.
void PlaceArea(uint8_t* p, bool biff8, int col, int row) {
    Place(p, p + 4, biff8, col, row);
    Place(p + 2, p + (biff8 ? 6 : 5), biff8, col, row);
}

constexpr int Unwalkable = -1;

// Bytes after the token id of operand tokens 0x20-0x3F (any class), by
// BIFF8 / BIFF5; Unwalkable where the token needs more than its bytes.
struct TOperandSize {
    int Biff8, Biff5;
};
constexpr TOperandSize OperandSizes[32] = {
    {7, 7},                   // 0x20 tArray: its values after the tokens
    {2, 2},                   // 0x21 tFunc
    {3, 3},                   // 0x22 tFuncVar
    {4, 14},                  // 0x23 tName
    {4, 3},                   // 0x24 tRef
    {8, 6},                   // 0x25 tArea
    {Unwalkable, Unwalkable}, // 0x26 tMemArea: areas after the tokens
    {6, 6},                   // 0x27 tMemErr
    {6, 6},                   // 0x28 tMemNoMem
    {2, 2},                   // 0x29 tMemFunc
    {4, 3},                   // 0x2A tRefErr
    {8, 6},                   // 0x2B tAreaErr
    {4, 3},                   // 0x2C tRefN
    {8, 6},                   // 0x2D tAreaN
    {2, 2},                   // 0x2E tMemAreaN
    {2, 2},                   // 0x2F tMemNoMemN
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable}, // 0x30-0x38
    {6, 24},                  // 0x39 tNameX
    {6, 17},                  // 0x3A tRef3d
    {10, 20},                 // 0x3B tArea3d
    {6, 17},                  // 0x3C tRefErr3d
    {10, 20},                 // 0x3D tAreaErr3d
    {Unwalkable, Unwalkable},
    {Unwalkable, Unwalkable},
};

// Bytes after the id of the token at p (checked against end), or Unwalkable.
int TokenSize(const uint8_t* p, const uint8_t* end, bool biff8) {
    uint8_t id = p[0];
    auto need = [&](int n) { return end - p - 1 >= n; };
    if (id >= 0x20 && id < 0x80) {
        const TOperandSize& s = OperandSizes[id & 0x1F];
        return biff8 ? s.Biff8 : s.Biff5;
    }
    switch (id) {
    case 0x17: { // tStr
        if (!need(biff8 ? 2 : 1)) return Unwalkable;
        int chars = p[1];
        return biff8 ? 2 + chars * ((p[2] & 1) ? 2 : 1) : 1 + chars;
    }
    case 0x19: { // tAttr; tAttrChoose carries its jump table
        if (!need(3)) return Unwalkable;
        return (p[1] & 0x04) ? 3 + 2 * (GetU16(p + 2) + 1) : 3;
    }
    case 0x1C: // tErr
    case 0x1D: // tBool
        return 1;
    case 0x1E: // tInt
        return 2;
    case 0x1F: // tNum
        return 8;
    default: // operators, tParen and tMissArg have no data
        return id >= 0x03 && id <= 0x16 ? 0 : Unwalkable;
    }
}

} // namespace

std::optional<std::vector<uint8_t>> SharedFormulaToCell(std::span<const uint8_t> tokens,
                                                        std::span<const uint8_t> extra, TExcelVersion version,
                                                        int col, int row) {
    if (version < TExcelVersion::xvExcel50) return std::nullopt;
    const bool biff8 = version >= TExcelVersion::xvExcel97;
    std::vector<uint8_t> out(tokens.begin(), tokens.end());
    bool arrays = false;
    uint8_t* p = out.data();
    const uint8_t* end = out.data() + out.size();
    while (p < end) {
        int size = TokenSize(p, end, biff8);
        if (size == Unwalkable || end - p - 1 < size) return std::nullopt;
        uint8_t* data = p + 1;
        switch (p[0] >= 0x20 && p[0] < 0x80 ? (p[0] & 0x1F) | 0x20 : 0) {
        case 0x2C: // tRefN becomes tRef of the same class
            PlaceRef(data, biff8, col, row);
            p[0] = uint8_t(p[0] - 0x08);
            break;
        case 0x2D: // tAreaN becomes tArea
            PlaceArea(data, biff8, col, row);
            p[0] = uint8_t(p[0] - 0x08);
            break;
        case 0x3A: // tRef3d: the reference after the sheet part
            PlaceRef(data + (biff8 ? 2 : 14), biff8, col, row);
            break;
        case 0x3B: // tArea3d
            PlaceArea(data + (biff8 ? 2 : 14), biff8, col, row);
            break;
        case 0x20: // tArray: the values follow the tokens
            arrays = true;
            break;
        default:
            break;
        }
        p += 1 + size;
    }
    if (arrays) out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

} // namespace xls

// Formula token streams: the parsed-expression tokens of BIFF formulas in
// reverse Polish order, followed by the data of their array constants. One
// bounds-checked walker steps through a stream in any of the layouts; every
// reader of tokens (decoder, evaluator, reference rewriting, shared-formula
// conversion) goes through it, so none can read past the end.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace xls {

// Token identifiers. Operand tokens (0x20-0x3F) also come with the value
// class (+0x20) and the array class (+0x40).
namespace ptg {
constexpr uint8_t Exp = 0x01;
constexpr uint8_t Tbl = 0x02;
constexpr uint8_t Add = 0x03;
constexpr uint8_t Sub = 0x04;
constexpr uint8_t Mul = 0x05;
constexpr uint8_t Div = 0x06;
constexpr uint8_t Power = 0x07;
constexpr uint8_t Concat = 0x08;
constexpr uint8_t LT = 0x09;
constexpr uint8_t LE = 0x0A;
constexpr uint8_t EQ = 0x0B;
constexpr uint8_t GE = 0x0C;
constexpr uint8_t GT = 0x0D;
constexpr uint8_t NE = 0x0E;
constexpr uint8_t Isect = 0x0F;
constexpr uint8_t Union = 0x10;
constexpr uint8_t Range = 0x11;
constexpr uint8_t Uplus = 0x12;
constexpr uint8_t Uminus = 0x13;
constexpr uint8_t Percent = 0x14;
constexpr uint8_t Paren = 0x15;
constexpr uint8_t MissArg = 0x16;
constexpr uint8_t Str = 0x17;
constexpr uint8_t Extended = 0x18;
constexpr uint8_t Attr = 0x19;
constexpr uint8_t Sheet = 0x1A;
constexpr uint8_t EndSheet = 0x1B;
constexpr uint8_t Err = 0x1C;
constexpr uint8_t Bool = 0x1D;
constexpr uint8_t Int = 0x1E;
constexpr uint8_t Num = 0x1F;
constexpr uint8_t Array = 0x20;
constexpr uint8_t Func = 0x21;
constexpr uint8_t FuncVar = 0x22;
constexpr uint8_t Name = 0x23;
constexpr uint8_t Ref = 0x24;
constexpr uint8_t Area = 0x25;
constexpr uint8_t MemArea = 0x26;
constexpr uint8_t MemErr = 0x27;
constexpr uint8_t MemNoMem = 0x28;
constexpr uint8_t MemFunc = 0x29;
constexpr uint8_t RefErr = 0x2A;
constexpr uint8_t AreaErr = 0x2B;
constexpr uint8_t RefN = 0x2C;
constexpr uint8_t AreaN = 0x2D;
constexpr uint8_t MemAreaN = 0x2E;
constexpr uint8_t MemNoMemN = 0x2F;
constexpr uint8_t NameX = 0x39;
constexpr uint8_t Ref3d = 0x3A;
constexpr uint8_t Area3d = 0x3B;
constexpr uint8_t RefErr3d = 0x3C;
constexpr uint8_t AreaErr3d = 0x3D;
// Not a published token: the library's own marker that the rest of the
// stream uses the 2007 layout (32-bit rows, flags meaning absolute).
constexpr uint8_t Layout2007 = 0xFE;

constexpr uint8_t ClassRef = 0x20;
constexpr uint8_t ClassValue = 0x40;
constexpr uint8_t ClassArray = 0x60;

// Class variants folded onto the reference class; other ids as they are.
constexpr uint8_t BaseOf(uint8_t id) {
    return id >= 0x20 && id < 0x80 ? uint8_t((id & 0x1F) | 0x20) : id;
}
// The id of base with the class of id (0x20, 0x40 or 0x60).
constexpr uint8_t WithClassOf(uint8_t base, uint8_t id) {
    return uint8_t((base & 0x1F) | (id & 0x60));
}
} // namespace ptg

// attribute types of tAttr
namespace attr {
constexpr uint8_t Volatile = 0x01;
constexpr uint8_t If = 0x02;
constexpr uint8_t Choose = 0x04;
constexpr uint8_t Skip = 0x08;
constexpr uint8_t Sum = 0x10;
constexpr uint8_t Space = 0x40;
} // namespace attr

// The data layout of the version-dependent tokens.
enum class TTokenLayout : uint8_t { BIFF2, BIFF3, BIFF4, BIFF5, BIFF8, X2007 };

// The argument count of a tFuncVar: 7 bits in the files (bit 7 asks the
// user), the whole byte in the 2007 layout, whose calls take up to 255.
inline int FuncVarCount(uint8_t countByte, TTokenLayout layout) {
    return layout == TTokenLayout::X2007 ? countByte : countByte & 0x7F;
}
constexpr int MaxFileArguments = 127;
constexpr int Max2007Arguments = 255;

// The layout a stream of a file version starts in: BIFF5 for BIFF5/7,
// BIFF8 from BIFF8 on (a 2007 stream switches at its leading marker).
TTokenLayout TokenLayoutOf(TExcelVersion version);

struct TToken {
    size_t Pos = 0;  // of the identifier byte
    size_t Size = 0; // with the identifier
    uint8_t Id = 0;
    uint8_t Base = 0; // ptg::BaseOf(Id)
    TTokenLayout Layout = TTokenLayout::BIFF8;
    const uint8_t* Data = nullptr; // the bytes after the identifier
};

enum class TWalkStatus : uint8_t {
    Token,     // a token that fits the stream
    End,       // no bytes left
    Unknown,   // an identifier outside the size table (or 0x00)
    Truncated, // a token whose data runs past the end
};

// Steps through the tokens of a stream. A 2007 marker switches the layout
// and is passed over (unless marker is false: then it is an unknown
// identifier, as in the tokens of a file). The sub-expressions of the
// memory tokens are walked as ordinary tokens, so references inside them
// are seen too.
class TTokenWalker;

// The number a function call token (tFunc, tFuncVar) carries: a byte before
// BIFF4, 16 bits from then on. A tFuncVar whose number has bit 15 set calls
// a command of macro sheets (numbered apart from the functions), which is
// none of the table's functions.
struct TFunctionCall {
    int Number = 0;
    bool Command = false;
};
TFunctionCall FunctionCallOf(const TToken& token);

class TTokenWalker {
public:
    TTokenWalker(std::span<const uint8_t> tokens, TTokenLayout layout, bool marker = true)
        : tokens(tokens), layout(layout), marker(marker) {}

    // On Unknown and Truncated, token holds the position and the identifier.
    TWalkStatus Next(TToken& token);
    size_t Position() const { return pos; }
    TTokenLayout Layout() const { return layout; }

private:
    std::span<const uint8_t> tokens;
    size_t pos = 0;
    TTokenLayout layout;
    bool marker;
};

// The byte size of the data that follows the tokens (array constants and
// the area lists of memory tokens), read from data, which holds the tokens
// (tokenLength bytes) and then that data. Raises "Unknown ptg[%.2X] in
// Shared Formula" at an unknown identifier and XLSError when the tokens or
// their data run past the end of data.
size_t FormulaArrayDataSize(std::span<const uint8_t> data, size_t tokenLength,
                            TTokenLayout layout = TTokenLayout::BIFF8);

// One value of an array constant.
struct TArrayValue {
    enum TKind : uint8_t {
        avEmpty = 0x00,
        avNumber = 0x01,
        avString = 0x02,
        avBoolean = 0x04,
        avError = 0x10
    };
    TKind Kind = avEmpty;
    double Number = 0;
    std::u16string Text;
    uint8_t Code = 0; // boolean value or BIFF error code
};

struct TArrayConstant {
    int Cols = 0;
    int Rows = 0;
    std::vector<TArrayValue> Values; // row by row
};

// Reads one array constant at pos of data, moving pos past it. The BIFF8
// and 2007 layouts hold the column and row counts less one and strings with
// a u16 count and a flag byte; the older layouts the counts themselves (0
// for 256 columns or 65536 rows) and strings with a u8 count and 8-bit
// characters in codePage. Raises XLSError at a bad element or when the
// constant runs past the end.
TArrayConstant ReadArrayConstant(std::span<const uint8_t> data, size_t& pos, TTokenLayout layout,
                                 int codePage = DefaultCodePage);
// Appends an array constant in the BIFF8 layout, or in the BIFF5 layout
// (the counts themselves, 8-bit strings in codePage); false when a string has no such form
// (a character the code page lacks, more than 255 bytes).
bool WriteArrayConstant(const TArrayConstant& array, std::vector<uint8_t>& out,
                        TTokenLayout layout = TTokenLayout::BIFF8, int codePage = DefaultCodePage);

// "Unknown ptg[%.2X]" style texts with the identifier in two hex digits.
std::string TokenMessage(const char* head, uint8_t id, const char* tail = "");

// One cell address of a reference token: row and column with their
// relative flags.
struct TRefAddress {
    int64_t Row = 0;
    int64_t Col = 0;
    bool RowRel = false;
    bool ColRel = false;
};

// Reads the row and column fields at rowField and colField in the layout.
TRefAddress ReadRefAddress(const uint8_t* rowField, const uint8_t* colField, TTokenLayout layout);
// Reads the two corners of an area token's fields starting at p: rows
// first, then columns, in the layout's widths.
void ReadAreaAddresses(const uint8_t* p, TTokenLayout layout, TRefAddress& first, TRefAddress& last);
// A relative part of tRefN/tAreaN holds an offset from the base cell (a
// negative base counts as 0); the result wraps around the sheet.
void ResolveRefAddress(TRefAddress& a, TTokenLayout layout, int baseRow, int baseCol);

} // namespace xls

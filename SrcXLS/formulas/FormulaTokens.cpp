#include "SrcXLS/formulas/FormulaTokens.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"

#include <cstdio>

namespace xls {

namespace {

using L = TTokenLayout;

constexpr int Unknown = -1;
constexpr int NeedsData = -2;

// Data bytes after the identifier of operand tokens 0x20-0x3F by layout:
// BIFF2-BIFF4, BIFF5/7, BIFF8, 2007.
struct TOperandSize {
    int8_t Old, Biff5, Biff8, X2007;
};
constexpr TOperandSize OperandSizes[32] = {
    {7, 7, 7, 7},                                 // 0x20 tArray: its values after the tokens
    {NeedsData, 2, 2, 2},                         // 0x21 tFunc (u8 number before BIFF4)
    {NeedsData, 3, 3, 3},                         // 0x22 tFuncVar (u8 number before BIFF4)
    {10, 14, 4, 4},                               // 0x23 tName (BIFF2: 7)
    {3, 3, 4, 6},                                 // 0x24 tRef
    {6, 6, 8, 12},                                // 0x25 tArea
    {6, 6, 6, 6},                                 // 0x26 tMemArea: its sub-expression follows
    {6, 6, 6, 6},                                 // 0x27 tMemErr
    {6, 6, 6, 6},                                 // 0x28 tMemNoMem
    {2, 2, 2, 2},                                 // 0x29 tMemFunc
    {3, 3, 4, 6},                                 // 0x2A tRefErr
    {6, 6, 8, 12},                                // 0x2B tAreaErr
    {3, 3, 4, 6},                                 // 0x2C tRefN
    {6, 6, 8, 12},                                // 0x2D tAreaN
    {2, 2, 2, 2},                                 // 0x2E tMemAreaN
    {2, 2, 2, 2},                                 // 0x2F tMemNoMemN
    {Unknown, Unknown, Unknown, Unknown},         // 0x30
    {Unknown, Unknown, Unknown, Unknown},         // 0x31
    {Unknown, Unknown, Unknown, Unknown},         // 0x32
    {Unknown, Unknown, Unknown, Unknown},         // 0x33
    {Unknown, Unknown, Unknown, Unknown},         // 0x34
    {Unknown, Unknown, Unknown, Unknown},         // 0x35
    {Unknown, Unknown, Unknown, Unknown},         // 0x36
    {Unknown, Unknown, Unknown, Unknown},         // 0x37
    {NeedsData, NeedsData, NeedsData, NeedsData}, // 0x38: 0x58 and 0x78 only
    {24, 24, 6, 6},                               // 0x39 tNameX
    {17, 17, 6, 8},                               // 0x3A tRef3d
    {20, 20, 10, 14},                             // 0x3B tArea3d
    {17, 17, 6, 8},                               // 0x3C tRefErr3d
    {20, 20, 10, 14},                             // 0x3D tAreaErr3d
    {Unknown, Unknown, Unknown, Unknown},         // 0x3E
    {Unknown, Unknown, Unknown, Unknown},         // 0x3F
};

bool Before(L layout, L other) {
    return uint8_t(layout) < uint8_t(other);
}

// Data bytes of the extended token by its type byte; the unknown types
// consume nothing more than the identifier.
int ExtendedSize(uint8_t type) {
    switch (type) {
    case 1:
    case 2:
    case 3:
    case 6:
    case 7:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 0x1D:
        return 5;
    case 10:
    case 11:
        return 14;
    default:
        return 0;
    }
}

} // namespace

TFunctionCall FunctionCallOf(const TToken& t) {
    if (Before(t.Layout, L::BIFF4)) return {t.Base == ptg::Func ? t.Data[0] : t.Data[1], false};
    if (t.Base == ptg::Func) return {GetU16(t.Data), false};
    const uint16_t number = GetU16(t.Data + 1);
    return {number & 0x7FFF, (number & 0x8000) != 0};
}

TTokenLayout TokenLayoutOf(TExcelVersion version) {
    switch (version) {
    case TExcelVersion::xvExcel21:
        return L::BIFF2;
    case TExcelVersion::xvExcel30:
        return L::BIFF3;
    case TExcelVersion::xvExcel40:
        return L::BIFF4;
    case TExcelVersion::xvExcel50:
        return L::BIFF5;
    default:
        return L::BIFF8;
    }
}

TWalkStatus TTokenWalker::Next(TToken& token) {
    for (;;) {
        if (pos >= tokens.size()) return TWalkStatus::End;
        const uint8_t* p = tokens.data() + pos;
        const size_t left = tokens.size() - pos - 1; // bytes after the identifier
        const uint8_t id = p[0];
        token.Pos = pos;
        token.Id = id;
        token.Base = ptg::BaseOf(id);
        token.Layout = layout;
        token.Data = p + 1;
        token.Size = 1;
        if (id == ptg::Layout2007 && marker) {
            layout = L::X2007;
            ++pos;
            continue;
        }
        const bool biff8 = !Before(layout, L::BIFF8);
        int size = Unknown;
        auto need = [&](size_t n) { return left >= n; };
        if (id >= 0x20 && id < 0x80) {
            const TOperandSize& s = OperandSizes[id & 0x1F];
            size = Before(layout, L::BIFF5)   ? s.Old
                   : Before(layout, L::BIFF8) ? s.Biff5
                   : layout == L::BIFF8       ? s.Biff8
                                              : s.X2007;
            if (size == NeedsData) {
                switch (token.Base) {
                case ptg::Func:
                    size = layout == L::BIFF4 ? 2 : 1;
                    break;
                case ptg::FuncVar:
                    size = layout == L::BIFF4 ? 3 : 2;
                    break;
                default: // 0x38: stepped over as two data bytes in the value and array classes
                    size = id == 0x38 ? Unknown : 2;
                    break;
                }
            }
            // A BIFF2 name holds the number and five bytes more.
            if (token.Base == ptg::Name && layout == L::BIFF2) size = 7;
            if (size != Unknown) {
                switch (token.Base) {
                case ptg::MemArea:
                case ptg::MemErr:
                case ptg::MemNoMem:
                    // The sub-expression (its length at offset 4) must fit as well.
                    if (need(6) && GetU16(p + 5) > left - 6) return TWalkStatus::Truncated;
                    break;
                case ptg::MemFunc:
                case ptg::MemAreaN:
                case ptg::MemNoMemN:
                    if (need(2) && GetU16(p + 1) > left - 2) return TWalkStatus::Truncated;
                    break;
                default:
                    break;
                }
            }
        } else if (id >= ptg::Add && id <= ptg::MissArg) {
            size = 0;
        } else {
            switch (id) {
            case ptg::Exp:
            case ptg::Tbl:
                size = 4;
                break;
            case ptg::Str:
                if (biff8) {
                    if (!need(2)) return TWalkStatus::Truncated;
                    size = 2 + p[1] * ((p[2] & 1) ? 2 : 1);
                } else {
                    if (!need(1)) return TWalkStatus::Truncated;
                    size = 1 + p[1];
                }
                break;
            case ptg::Extended:
                if (!need(1)) return TWalkStatus::Truncated;
                size = ExtendedSize(p[1]);
                break;
            case ptg::Attr: {
                const int data = layout == L::BIFF2 ? 1 : 2;
                if (!need(size_t(1 + data))) return TWalkStatus::Truncated;
                size = 1 + data;
                if (p[1] & attr::Choose) {
                    const int count = layout == L::BIFF2 ? p[2] : GetU16(p + 2);
                    size += data * (count + 1);
                }
                break;
            }
            case ptg::Sheet:
                size = Before(layout, L::BIFF5) ? 10 : 0;
                break;
            case ptg::EndSheet:
                size = Before(layout, L::BIFF5) ? 4 : 0;
                break;
            case ptg::Err:
            case ptg::Bool:
                size = 1;
                break;
            case ptg::Int:
                size = 2;
                break;
            case ptg::Num:
                size = 8;
                break;
            default:
                break;
            }
        }
        if (size == Unknown) return TWalkStatus::Unknown;
        if (!need(size_t(size))) return TWalkStatus::Truncated;
        token.Size = size_t(size) + 1;
        pos += token.Size;
        return TWalkStatus::Token;
    }
}

std::string TokenMessage(const char* head, uint8_t id, const char* tail) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s[%.2X]%s", head, unsigned(id), tail);
    return buf;
}

TArrayConstant ReadArrayConstant(std::span<const uint8_t> data, size_t& pos, TTokenLayout layout,
                                 int codePage) {
    TByteReader r(data.subspan(pos));
    TArrayConstant a;
    const bool biff8 = !Before(layout, L::BIFF8);
    const int cols = r.U8("array columns"), rows = r.U16("array rows");
    a.Cols = biff8 ? cols + 1 : cols ? cols : 256;
    a.Rows = biff8 ? rows + 1 : rows ? rows : 65536;
    // Each value takes at least 2 bytes (an empty 8-bit string): a count past
    // what is left is refused before anything is reserved.
    const size_t count = size_t(a.Cols) * size_t(a.Rows);
    r.Need(count * 2, "array constant");
    a.Values.resize(count);
    for (TArrayValue& v : a.Values) {
        const uint8_t kind = r.U8("array element");
        switch (kind) {
        case TArrayValue::avEmpty:
            r.Skip(8, "array element");
            break;
        case TArrayValue::avNumber:
            v.Number = r.F64("array number");
            break;
        case TArrayValue::avString:
            if (biff8) {
                const size_t n = r.U16("array string");
                const bool wide = r.U8("array string") & 1;
                auto bytes = r.Bytes(n * (wide ? 2 : 1), "array string");
                for (size_t i = 0; i < n; ++i)
                    v.Text.push_back(wide ? char16_t(GetU16(bytes.data() + 2 * i)) : char16_t(bytes[i]));
            } else {
                const size_t n = r.U8("array string");
                const auto bytes = r.Bytes(n, "array string");
                v.Text = CodePageToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), n),
                                        codePage);
            }
            break;
        case TArrayValue::avBoolean:
        case TArrayValue::avError:
            v.Code = r.U8("array element");
            r.Skip(7, "array element");
            break;
        default:
            throw XLSError("Bad element ID#" + std::to_string(kind) + " in array");
        }
        v.Kind = TArrayValue::TKind(kind);
    }
    pos += r.Position();
    return a;
}

bool WriteArrayConstant(const TArrayConstant& array, std::vector<uint8_t>& out, TTokenLayout layout,
                        int codePage) {
    TByteWriter w(out);
    const int less = Before(layout, L::BIFF8) ? 0 : 1;
    w.U8(uint8_t(array.Cols - less));
    w.U16(uint16_t(array.Rows - less));
    for (const TArrayValue& v : array.Values) {
        w.U8(v.Kind);
        switch (v.Kind) {
        case TArrayValue::avNumber:
            w.Bytes(&v.Number, 8);
            break;
        case TArrayValue::avString:
            if (!Before(layout, L::BIFF8)) {
                w.U16(uint16_t(v.Text.size()));
                w.U8(1);
                for (char16_t c : v.Text) w.U16(c);
            } else {
                std::string bytes;
                try {
                    bytes = WideToCodePage(v.Text, codePage);
                } catch (const XLSError&) {
                    return false;
                }
                if (bytes.size() > 255) return false;
                w.U8(uint8_t(bytes.size()));
                w.Bytes(bytes.data(), bytes.size());
            }
            break;
        case TArrayValue::avBoolean:
        case TArrayValue::avError:
            w.U8(v.Code);
            for (int i = 0; i < 7; ++i) w.U8(0);
            break;
        default:
            for (int i = 0; i < 8; ++i) w.U8(0);
        }
    }
    return true;
}

size_t FormulaArrayDataSize(std::span<const uint8_t> data, size_t tokenLength, TTokenLayout layout) {
    if (tokenLength > data.size()) throw XLSError("Formula tokens beyond the end");
    TTokenWalker walker(data.first(tokenLength), layout);
    TToken t;
    size_t pos = tokenLength;
    for (;;) {
        const TWalkStatus s = walker.Next(t);
        if (s == TWalkStatus::End) break;
        if (s == TWalkStatus::Unknown)
            throw XLSError(TokenMessage("Unknown ptg", t.Id, " in Shared Formula"));
        if (s == TWalkStatus::Truncated) throw XLSError("Formula tokens beyond the end");
        if (t.Base == ptg::Array) {
            ReadArrayConstant(data, pos, t.Layout);
        } else if (t.Base == ptg::MemArea) {
            // The areas the memory token caches: a count and the areas.
            TByteReader r(data.subspan(pos));
            const size_t areas = r.U16("memory areas");
            const size_t each = Before(t.Layout, L::BIFF8) ? 6 : 8;
            r.Skip(areas * each, "memory areas");
            pos += r.Position();
        }
    }
    return pos - tokenLength;
}

// ---- reference addresses

// Reads the row and column fields at rowField and colField in the layout.
TRefAddress ReadRefAddress(const uint8_t* rowField, const uint8_t* colField, TTokenLayout layout) {
    TRefAddress a;
    if (layout == TTokenLayout::X2007) {
        const uint32_t r = GetU32(rowField);
        const uint16_t c = GetU16(colField);
        a.Row = r & 0x7FFFFFFF;
        a.RowRel = !(r & 0x80000000u);
        a.Col = c & 0x7FFF;
        a.ColRel = !(c & 0x8000);
    } else if (layout == TTokenLayout::BIFF8) {
        const uint16_t c = GetU16(colField);
        a.Row = GetU16(rowField);
        a.Col = c & 0x3FFF;
        a.RowRel = c & 0x8000;
        a.ColRel = c & 0x4000;
    } else {
        const uint16_t r = GetU16(rowField);
        a.Row = r & 0x3FFF;
        a.RowRel = r & 0x8000;
        a.ColRel = r & 0x4000;
        a.Col = *colField;
    }
    return a;
}

void ReadAreaAddresses(const uint8_t* p, TTokenLayout layout, TRefAddress& first, TRefAddress& last) {
    switch (layout) {
    case TTokenLayout::X2007:
        first = ReadRefAddress(p, p + 8, layout);
        last = ReadRefAddress(p + 4, p + 10, layout);
        break;
    case TTokenLayout::BIFF8:
        first = ReadRefAddress(p, p + 4, layout);
        last = ReadRefAddress(p + 2, p + 6, layout);
        break;
    default:
        first = ReadRefAddress(p, p + 4, layout);
        last = ReadRefAddress(p + 2, p + 5, layout);
        break;
    }
}

static int64_t Wrap(int64_t v, int64_t size) {
    v %= size;
    return v < 0 ? v + size : v;
}

// A relative part of tRefN/tAreaN holds an offset from the base cell.
void ResolveRefAddress(TRefAddress& a, TTokenLayout layout, int baseRow, int baseCol) {
    const int64_t row = baseRow < 0 ? 0 : baseRow, col = baseCol < 0 ? 0 : baseCol;
    if (layout == TTokenLayout::X2007) {
        if (a.RowRel) a.Row = Wrap(row + (int32_t(uint32_t(a.Row) << 1) >> 1), 1048576);
        if (a.ColRel) a.Col = Wrap(col + (int16_t(uint16_t(a.Col << 1)) >> 1), 16384);
        return;
    }
    if (a.RowRel) {
        const int64_t offset =
            layout == TTokenLayout::BIFF8 ? int16_t(uint16_t(a.Row)) : ((int(a.Row) ^ 0x2000) - 0x2000);
        a.Row = Wrap(row + offset, layout == TTokenLayout::BIFF8 ? 65536 : 16384);
    }
    if (a.ColRel) a.Col = Wrap(col + int8_t(uint8_t(a.Col)), 256);
}

} // namespace xls

#include "SrcXLS/formats/BIFFCellRecords.h"

#include "SrcXLS/XLSValues.h"

#include <cstring>

namespace xls {

namespace {

// Row, column and XF index at the start of every BIFF3-BIFF8 cell record.
TReadCell CellHeader(TByteReader& r, TReadCellKind kind) {
    TReadCell c;
    c.Kind = kind;
    c.Row = r.U16("cell row");
    c.Col = r.U16("cell column");
    c.Format = r.U16("cell format");
    return c;
}

// BIFF2: row, column and three attribute bytes, the first holding the XF
// index in its low six bits.
TReadCell Cell2Header(TByteReader& r, TReadCellKind kind) {
    TReadCell c;
    c.Kind = kind;
    c.Row = r.U16("cell row");
    c.Col = r.U16("cell column");
    c.Format = r.U8("cell attributes") & 0x3F;
    r.Skip(2, "cell attributes");
    return c;
}

void SetBoolErr(TReadCell& c, uint8_t value, uint8_t isError) {
    c.Kind = isError ? TReadCellKind::Error : TReadCellKind::Boolean;
    c.Code = value;
}

} // namespace

bool IsValueCellRecord(uint16_t id) {
    using namespace biff;
    switch (id) {
    case BLANK2:
    case INTEGER2:
    case NUMBER2:
    case LABEL2:
    case BOOLERR2:
    case BLANK:
    case NUMBER:
    case LABEL:
    case BOOLERR:
    case RK:
    case RK_OLD:
    case MULRK:
    case MULBLANK:
    case LABELSST:
    case RSTRING:
        return true;
    default:
        return false;
    }
}

void DecodeValueCells(uint16_t id, std::span<const uint8_t> body, const TFileText& text,
                      std::vector<TReadCell>& out, const TNextPiece& next) {
    using namespace biff;
    TByteReader r(body);
    switch (id) {
    case BLANK:
        out.push_back(CellHeader(r, TReadCellKind::Blank));
        break;
    case NUMBER: {
        TReadCell c = CellHeader(r, TReadCellKind::Number);
        c.Number = r.F64("cell value");
        out.push_back(c);
        break;
    }
    case RK:
    case RK_OLD: {
        TReadCell c = CellHeader(r, TReadCellKind::Number);
        c.Number = DecodeRK(r.U32("cell value"));
        out.push_back(c);
        break;
    }
    case BOOLERR: {
        TReadCell c = CellHeader(r, TReadCellKind::Boolean);
        uint8_t value = r.U8("cell value");
        SetBoolErr(c, value, r.U8("error flag"));
        out.push_back(c);
        break;
    }
    case LABELSST: {
        TReadCell c = CellHeader(r, TReadCellKind::SharedText);
        c.SSTIndex = r.U32("string index");
        out.push_back(c);
        break;
    }
    case LABEL:
    case RSTRING: {
        // The formatting runs of RSTRING after the text are not kept.
        TReadCell c = CellHeader(r, TReadCellKind::Text);
        size_t count = r.U16("text length");
        c.Text = next ? text.ContinuedChars(r, count, next) : text.Chars(r, count);
        out.push_back(std::move(c));
        break;
    }
    case MULRK:
    case MULBLANK: {
        bool rk = id == MULRK;
        uint32_t row = r.U16("cell row");
        uint16_t col = r.U16("first column");
        size_t entry = rk ? 6 : 2;
        if (body.size() < 6) throw XLSError("Record too short: cell list");
        size_t count = (body.size() - 6) / entry;
        for (size_t i = 0; i < count; ++i) {
            TReadCell c;
            c.Kind = rk ? TReadCellKind::Number : TReadCellKind::Blank;
            c.Row = row;
            if (col + i > 0xFFFF) throw XLSError("Cell column out of range");
            c.Col = uint16_t(col + i);
            c.Format = r.U16();
            if (rk) c.Number = DecodeRK(r.U32());
            out.push_back(c);
        }
        break;
    }
    case BLANK2:
        out.push_back(Cell2Header(r, TReadCellKind::Blank));
        break;
    case INTEGER2: {
        TReadCell c = Cell2Header(r, TReadCellKind::Number);
        c.Number = r.U16("cell value");
        out.push_back(c);
        break;
    }
    case NUMBER2: {
        TReadCell c = Cell2Header(r, TReadCellKind::Number);
        c.Number = r.F64("cell value");
        out.push_back(c);
        break;
    }
    case BOOLERR2: {
        TReadCell c = Cell2Header(r, TReadCellKind::Boolean);
        uint8_t value = r.U8("cell value");
        SetBoolErr(c, value, r.U8("error flag"));
        out.push_back(c);
        break;
    }
    case LABEL2: {
        TReadCell c = Cell2Header(r, TReadCellKind::Text);
        size_t count = r.U8("text length");
        c.Text = text.Decode8(r.Bytes(count, "text"));
        out.push_back(std::move(c));
        break;
    }
    default:
        break;
    }
}

TCachedResult DecodeCachedResult(std::span<const uint8_t, 8> b) {
    TCachedResult res;
    if (b[6] == 0xFF && b[7] == 0xFF) {
        static constexpr TCachedResultKind kinds[4] = {TCachedResultKind::String, TCachedResultKind::Boolean,
                                                       TCachedResultKind::Error,
                                                       TCachedResultKind::EmptyString};
        res.Kind = b[0] < 4 ? kinds[b[0]] : TCachedResultKind::Unknown;
        res.Value = b[2];
        return res;
    }
    res.Kind = TCachedResultKind::Number;
    std::memcpy(&res.Number, b.data(), 8);
    return res;
}

TFormulaLayout FormulaLayout(uint16_t id, TExcelVersion version, uint32_t lowestVersion) {
    if (id == biff::FORMULA)
        return version <= TExcelVersion::xvExcel21 ? TFormulaLayout::BIFF2 : TFormulaLayout::BIFF5;
    return lowestVersion == 6 ? TFormulaLayout::BIFF5 : TFormulaLayout::BIFF3;
}

TFormulaRecord DecodeFormula(std::span<const uint8_t> body, TFormulaLayout layout) {
    TByteReader r(body);
    TFormulaRecord f;
    f.Row = r.U16("formula row");
    f.Col = r.U16("formula column");
    if (layout == TFormulaLayout::BIFF2) {
        f.Format = r.U8("cell attributes") & 0x3F;
        r.Skip(2, "cell attributes");
    } else
        f.Format = r.U16("formula format");
    auto result = r.Bytes(8, "formula result");
    std::memcpy(f.Result.data(), result.data(), 8);
    switch (layout) {
    case TFormulaLayout::BIFF2:
        f.Options = r.U8("formula options");
        f.Cce = r.U8("formula length");
        break;
    case TFormulaLayout::BIFF3:
        f.Options = r.U16("formula options");
        f.Cce = r.U16("formula length");
        break;
    case TFormulaLayout::BIFF5:
        f.Options = r.U16("formula options");
        r.Skip(4, "formula options");
        f.Cce = r.U16("formula length");
        break;
    }
    f.Data = body.subspan(r.Position());
    if (f.Cce > f.Data.size()) throw XLSError("Record too short: formula tokens beyond the end");
    return f;
}

TSharedFormulaRange DecodeArrayRange(std::span<const uint8_t> body) {
    TByteReader r(body);
    TSharedFormulaRange range;
    range.RowFirst = r.U16("range");
    range.RowLast = r.U16("range");
    range.ColFirst = r.U8("range");
    range.ColLast = r.U8("range");
    return range;
}

TSharedFormulaRecord DecodeSharedFormula(std::span<const uint8_t> body) {
    TSharedFormulaRecord s;
    s.Range = DecodeArrayRange(body);
    TByteReader r(body);
    r.Skip(8, "shared formula range");
    size_t cce = r.U16("formula length");
    s.Tokens = r.Bytes(cce, "formula tokens");
    s.Extra = r.Bytes(r.Remaining());
    return s;
}

std::u16string DecodeFormulaString(uint16_t id, std::span<const uint8_t> body, const TFileText& text) {
    TByteReader r(body);
    if (id == biff::STRING2) {
        size_t count = r.U8("text length");
        return text.Decode8(r.Bytes(count, "text"));
    }
    size_t count = r.U16("text length");
    return text.Chars(r, count);
}

} // namespace xls

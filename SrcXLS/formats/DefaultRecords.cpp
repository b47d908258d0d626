#include "SrcXLS/formats/DefaultRecords.h"

#include <cstring>

namespace xls {

namespace {

// Builds a default body field by field, little-endian.
class TBody {
public:
    TBody& W(uint16_t v) {
        TByteWriter(bytes).U16(v);
        return *this;
    }
    TBody& D(uint32_t v) {
        TByteWriter(bytes).U32(v);
        return *this;
    }
    TBody& B(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    TBody& F(double v) {
        uint8_t b[8];
        std::memcpy(b, &v, 8);
        bytes.insert(bytes.end(), b, b + 8);
        return *this;
    }
    TBody& Fill(size_t n, uint8_t v) {
        bytes.insert(bytes.end(), n, v);
        return *this;
    }
    operator std::vector<uint8_t>() const { return bytes; }

private:
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Word(uint16_t v) {
    return TBody().W(v);
}

constexpr size_t WriteAccessSize = 112;
constexpr size_t UserNameChars8 = 109;
constexpr size_t UserNameChars16 = (WriteAccessSize - 3) / 2;

} // namespace

using namespace biff;

const std::vector<TRecordStorageDefault::TDefaultBody>& TRecordStorageGlobals::DefaultSet() const {
    static const std::vector<TDefaultBody> set = {
        {BOF, TBody().W(0x0600).W(0x0005).W(0x1002).W(0x07CD).D(0x000080C9).D(0x00000106)},
        // An empty user name: count 0, 8-bit, blanks.
        {WRITEACCESS, TBody().W(0).B(0).Fill(UserNameChars8, 0x20)},
        {CODEPAGE, Word(0x04B0)},
        {DSF, Word(0)},
        {TABID, {}},
        {FNGROUPCOUNT, Word(0x000E)},
        {WINDOWPROTECT, Word(0)},
        {PROTECT, Word(0)},
        {PASSWORD, Word(0)},
        {PROT4REV, Word(0)},
        {WINDOW1, TBody().W(100).W(100).W(10000).W(7000).W(0x0038).W(0).W(0).W(1).W(600)},
        {BACKUP, Word(0)},
        {HIDEOBJ, Word(0)},
        {DATEMODE, Word(0)},
        {PRECISION, Word(1)},
        {REFRESHALL, Word(0)},
        {BOOKBOOL, Word(0)},
        {placeholder::Formats, {}},
        {placeholder::BoundSheets, {}},
        {COUNTRY, TBody().W(1).W(46)},
        {RECALCID, TBody().W(0x01C1).W(0).D(0x00FFFFFF)},
        {placeholder::Names, {}},
        {placeholder::DrawingGroup, {}},
        {placeholder::SST, {}},
        {EOF_RECORD, {}},
    };
    return set;
}

const std::vector<TRecordStorageDefault::TDefaultBody>& TRecordStorageSheet::DefaultSet() const {
    static const std::vector<TDefaultBody> set = {
        {BOF, TBody().W(0x0600).W(0x0010).W(0x18AF).W(0x07CD).D(0x000080C9).D(0x00000106)},
        {CALCMODE, Word(1)},
        {CALCCOUNT, Word(100)},
        {REFMODE, Word(1)},
        {ITERATION, Word(0)},
        {DELTA, TBody().F(0.001)},
        {SAVERECALC, Word(1)},
        {PRINTGRIDLINES, Word(0)},
        {PRINTHEADERS, Word(0)},
        {GRIDSET, Word(1)},
        {GUTS, TBody().Fill(8, 0)},
        {DEFAULTROWHEIGHT, TBody().W(0).W(255)},
        {WSBOOL, Word(0x04C1)},
        {placeholder::PageBreaks, {}},
        {placeholder::HeaderFooter, {}},
        {placeholder::Margins, {}},
        {HCENTER, Word(0)},
        {VCENTER, Word(0)},
        // Paper, scale, start page, fit width and height, options,
        // resolutions, header and footer margins, copies.
        {SETUP, TBody().W(0).W(100).W(1).W(1).W(1).W(0x06B6).W(600).W(600).F(0.5).F(0.5).W(0)},
        {PROTECT, Word(0)},
        {DEFCOLWIDTH, Word(8)},
        {DIMENSIONS, TBody().D(0).D(0).W(0).W(0).W(0)},
        {placeholder::ColInfo, {}},
        {placeholder::Cells, {}},
        // Options, top row, left column, grid-line colour, zooms, reserved.
        {WINDOW2, TBody().W(0x04B6).W(0).W(0).D(0x00000040).W(0).W(0).D(0)},
        {placeholder::SheetTail, {}},
        // Pane 3, active cell, active range, one range of one cell.
        {SELECTION, TBody().B(3).W(1).W(1).W(0).W(1).W(1).W(1).B(1).B(1)},
        {EOF_RECORD, {}},
    };
    return set;
}

// The name is taken from the characters after the flag byte; a UTF-16 name
// (flag 1) is read by its count, an 8-bit one as the blank-padded field.
std::u16string TRecordStorageGlobals::GetUserName() const {
    const TRecordBlock& b = *DefaultBlock(WRITEACCESS);
    std::u16string name;
    if (b.Length() > 3 && b.Data()[2] == 1) {
        size_t count = std::min<size_t>(GetU16(b.Data()), (b.Length() - 3) / 2);
        for (size_t i = 0; i < count; ++i) name += char16_t(GetU16(b.Data() + 3 + 2 * i));
    } else {
        for (size_t i = 3; i < b.Length() && i < 3 + UserNameChars8; ++i) name += char16_t(b.Data()[i]);
    }
    size_t first = 0, last = name.size();
    while (first < last && name[first] <= 0x20) ++first;
    while (last > first && name[last - 1] <= 0x20) --last;
    return name.substr(first, last - first);
}

// 8-bit when every character fits, else UTF-16 (fewer characters fit).
void TRecordStorageGlobals::SetUserName(std::u16string_view name) {
    bool wide = false;
    for (char16_t c : name) wide = wide || c > 0xFF;
    std::vector<uint8_t> body(WriteAccessSize, 0x20);
    size_t count = std::min(name.size(), wide ? UserNameChars16 : UserNameChars8);
    PutU16(body.data(), uint16_t(count));
    body[2] = wide ? 1 : 0;
    for (size_t i = 0; i < count; ++i) {
        if (wide)
            PutU16(body.data() + 3 + 2 * i, name[i]);
        else
            body[3 + i] = uint8_t(name[i]);
    }
    Assign(*DefaultBlock(WRITEACCESS), body);
}

} // namespace xls

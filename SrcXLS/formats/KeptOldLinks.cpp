#include "SrcXLS/formats/KeptOldLinks.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/BIFFRecords.h"
#include "SrcXLS/formulas/DefinedNames.h"
#include "SrcXLS/formulas/ExternalNames.h"

namespace xls {

namespace {

// BIFF5 NAME: options, key, name length, token length, ixals, sheet
// number, four text lengths, the name's 8-bit characters, the tokens.
constexpr size_t NameHead = 14;

struct TKeptName {
    TRecordBlock* Block;
    // Its tokens may go on in the next record: they stay as they are.
    bool Continued;
};

// The NAME records of the list in order.
std::vector<TKeptName> KeptNames(TBaseRecordStorage& globals) {
    std::vector<TKeptName> out;
    for (int i = 0; i < globals.Count(); ++i) {
        TRecordBlock& block = globals.GetItem(i);
        if (block.Id() != NameRecordId) continue;
        out.push_back({&block, i + 1 < globals.Count() && globals.GetItem(i + 1).Id() == biff::CONTINUE});
    }
    return out;
}

// The record with its tokens as follow leaves them.
void Follow(TBaseRecordStorage& globals, const TKeptName& name, const TKeptNameFollow& follow) {
    TRecordBlock& block = *name.Block;
    const std::span<const uint8_t> body = block.Body();
    if (name.Continued || body.size() < NameHead) return;
    const size_t tokensAt = NameHead + body[3];
    size_t length = GetU16(body.data() + 4);
    if (tokensAt + length > body.size()) return;
    std::vector<uint8_t> data(body.begin() + std::ptrdiff_t(tokensAt), body.end());
    if (!follow(data, length) || tokensAt + data.size() > 0xFFFF) return;
    std::vector<uint8_t> out(body.begin(), body.begin() + std::ptrdiff_t(tokensAt));
    PutU16(out.data() + 4, uint16_t(length));
    out.insert(out.end(), data.begin(), data.end());
    globals.Assign(block, out);
}

} // namespace

void KeptOldNameDeleted(TBaseRecordStorage& globals, int position, const TKeptNameFollow& follow) {
    std::vector<TKeptName> names = KeptNames(globals);
    if (position < 0 || size_t(position) >= names.size()) return;
    // Its CONTINUE records go with it.
    names[size_t(position)].Block->SetId(placeholder::Dropped);
    names.erase(names.begin() + position);
    for (const TKeptName& name : names) Follow(globals, name, follow);
}

void KeptOldSheetDeleted(TBaseRecordStorage& globals, int index, const TKeptNameFollow& follow) {
    for (const TKeptName& name : KeptNames(globals)) {
        if (name.Block->Length() < NameHead) continue;
        // The sheet of a local name, and the same number in ixals.
        for (size_t at : {size_t(6), size_t(8)}) {
            const uint16_t sheet = GetU16(name.Block->Data() + at);
            if (sheet > index + 1) PutU16(name.Block->Data() + at, uint16_t(sheet - 1));
        }
        Follow(globals, name, follow);
    }
}

void KeptOldSheetNamed(TBaseRecordStorage& list, std::u16string_view name, const std::u16string* newName,
                       int codePage) {
    // u8 length, the type (3: a sheet of this workbook by name), the name;
    // the length counts the name alone after type 3, the type byte else.
    constexpr uint8_t OwnSheet = 3, OwnBook = 4;
    const std::u16string upper = UpperCaseWide(name);
    std::vector<uint8_t> body = {1, OwnBook};
    if (newName) {
        try {
            const std::string bytes = WideToCodePage(std::u16string_view(*newName).substr(0, 255), codePage);
            body = {uint8_t(bytes.size()), OwnSheet};
            body.insert(body.end(), bytes.begin(), bytes.end());
        } catch (const XLSError&) {
        }
    }
    for (int i = 0; i < list.Count(); ++i) {
        TRecordBlock& block = list.GetItem(i);
        const std::span<const uint8_t> b = block.Body();
        if (block.Id() != externrec::EXTERNSHEET || b.size() < 2 || b[1] != OwnSheet || b[0] < 1 ||
            size_t(b[0]) + 2 != b.size())
            continue;
        const std::string_view text(reinterpret_cast<const char*>(b.data()) + 2, b.size() - 2);
        if (UpperCaseWide(CodePageToWide(text, codePage)) == upper) list.Assign(block, body);
    }
}

} // namespace xls

#include "SrcXLS/formulas/DefinedNames.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FormulaValues.h"

#include <algorithm>
#include <array>

namespace xls {

namespace {

constexpr std::array<std::u16string_view, BuiltInNameCount> BuiltInTexts = {
    u"Consolidate_Area", u"Auto_Open",       u"Auto_Close",   u"Extract",         u"Database",
    u"Criteria",         u"Print_Area",      u"Print_Titles", u"Recorder",        u"Data_Form",
    u"Auto_Activate",    u"Auto_Deactivate", u"Sheet_Title",  u"_FilterDatabase",
};

constexpr std::u16string_view BuiltInPrefix = u"_xlnm.";
constexpr size_t MaxNameChars = 255;

} // namespace

std::u16string_view BuiltInNameText(int code) {
    return code >= 0 && code < BuiltInNameCount ? BuiltInTexts[size_t(code)] : std::u16string_view();
}

int BuiltInNameCode(std::u16string_view text) {
    const std::u16string upper = UpperCaseWide(text);
    for (int i = 0; i < BuiltInNameCount; ++i)
        if (UpperCaseWide(BuiltInTexts[size_t(i)]) == upper) return i;
    return NoBuiltIn;
}

int TInternalName::GetBuiltInCode() const {
    return name.size() == 2 && name[0] == 0 && name[1] < BuiltInNameCount ? name[1] : NoBuiltIn;
}

std::u16string TInternalName::GetName() const {
    const int code = GetBuiltInCode();
    if (code != NoBuiltIn) return std::u16string(BuiltInNameText(code));
    return BIFFStrText(name);
}

void TInternalName::SetName(std::u16string_view text) {
    if (owner) owner->NamesChanged();
    if (text.substr(0, BuiltInPrefix.size()) == BuiltInPrefix) {
        Options |= noBuiltIn;
        text.remove_prefix(BuiltInPrefix.size());
        if (const int code = BuiltInNameCode(text); code != NoBuiltIn) {
            SetBuiltInCode(code);
            return;
        }
    }
    if (text.empty()) throw XLSError("Name is empty");
    if (text.size() > MaxNameChars) throw XLSError("Name is too long");
    name.assign(1, 1);
    for (char16_t c : text) {
        name.push_back(uint8_t(c));
        name.push_back(uint8_t(c >> 8));
    }
}

bool TInternalName::IsFunctionCall() const {
    if ((Options & (noHidden | noFunction | noVBAProcedure)) != (noHidden | noFunction)) return false;
    return FormulaText.empty() && TokenLength == 2 && Data.size() >= 2 && Data[0] == ptg::Err &&
           Data[1] == ErrorIndexToCode(fe::Name);
}

void TInternalName::SetBuiltInCode(int code) {
    if (owner) owner->NamesChanged();
    Options |= noBuiltIn;
    name = {0, uint8_t(code)};
}

void TInternalName::SetVBAMacro(bool on) {
    Options = uint16_t(on ? Options | noVBAProcedure : Options & ~noVBAProcedure);
}

void TInternalName::SetFunctionGroup(int group) {
    Options = uint16_t((Options & ~noFunctionGroup) | ((group << 6) & noFunctionGroup));
}

std::vector<uint8_t> TInternalName::RecordBody(const TNameFormula* instead) const {
    const std::vector<uint8_t>& data = instead ? instead->Data : Data;
    std::vector<uint8_t> body;
    TByteWriter w(body);
    w.U16(Options);
    w.U8(Shortcut);
    w.U8(uint8_t(BIFFStrCharCount(name)));
    w.U16(instead ? instead->TokenLength : TokenLength);
    w.U16(Ixals);
    w.U16(SheetNumber);
    for (const std::u16string& t : Texts) w.U8(uint8_t(std::min<size_t>(t.size(), MaxNameChars)));
    w.Bytes(name.data(), name.size());
    w.Bytes(data.data(), data.size());
    for (const std::u16string& t : Texts) {
        if (t.empty()) continue;
        w.U8(1);
        for (char16_t c : std::u16string_view(t).substr(0, MaxNameChars)) w.U16(c);
    }
    return body;
}

std::vector<uint8_t> TInternalName::OldRecordBody(std::span<const uint8_t> tokens, size_t tokenLength,
                                                  int codePage, TExcelVersion version) const {
    const int code = GetBuiltInCode();
    const std::string text =
        code != NoBuiltIn ? std::string(1, char(code)) : WideToCodePage(GetName(), codePage);
    if (text.empty() || text.size() > MaxNameChars) throw XLSError("Name is too long");
    // BIFF3 and BIFF4 files have one sheet and no texts besides the name.
    const bool biff5 = version >= TExcelVersion::xvExcel50;
    std::string texts[4];
    for (int i = 0; i < 4 && biff5; ++i) {
        try {
            texts[i] = WideToCodePage(Texts[i], codePage).substr(0, MaxNameChars);
        } catch (const XLSError&) {
        }
    }
    std::vector<uint8_t> body;
    TByteWriter w(body);
    // The bits after the function group are BIFF8's.
    w.U16(Options & 0x0FFF);
    w.U8(Shortcut);
    w.U8(uint8_t(text.size()));
    w.U16(uint16_t(tokenLength));
    if (biff5) {
        w.U16(SheetNumber);
        w.U16(SheetNumber);
        for (const std::string& t : texts) w.U8(uint8_t(t.size()));
    }
    w.Bytes(text.data(), text.size());
    w.Bytes(tokens.data(), tokens.size());
    for (const std::string& t : texts) w.Bytes(t.data(), t.size());
    return body;
}

// ---------------------------------------------------------------------------

TInternalName& TInternalNames::Add() {
    items.push_back(std::make_unique<TInternalName>());
    items.back()->owner = this;
    indexed = false;
    return *items.back();
}

int TInternalNames::IndexOfName(std::u16string_view text, int sheet) const {
    if (!indexed) {
        index.clear();
        for (size_t i = 0; i < items.size(); ++i) index[items[i]->GetName()].push_back(int(i));
        indexed = true;
    }
    auto found = index.find(text);
    if (found == index.end()) return -1;
    const std::vector<int>& positions = found->second;
    if (sheet < 0) return positions.front();
    int global = -1;
    for (int i : positions) {
        if (items[size_t(i)]->SheetNumber == sheet + 1) return i;
        if (items[size_t(i)]->SheetNumber == 0 && global < 0) global = i;
    }
    return global >= 0 ? global : positions.front();
}

TInternalName* TInternalNames::FindBuiltInName(int code, int sheetIndex) const {
    for (const auto& n : items)
        if (n->GetBuiltInCode() == code && n->SheetNumber == sheetIndex + 1) return n.get();
    return nullptr;
}

// Some writers give a sheet two names of one code (one of them hidden):
// every one goes.
void TInternalNames::DeleteBuiltInName(int code, int sheetNumber) {
    for (size_t i = items.size(); i-- > 0;)
        if (items[i]->GetBuiltInCode() == code && items[i]->SheetNumber == sheetNumber) Delete(int(i));
}

void TInternalNames::Delete(int position) {
    if (position < 0 || position >= Count()) throw XLSError("Name index out of range");
    items.erase(items.begin() + position);
    indexed = false;
    if (OnNameDeleted) OnNameDeleted(position);
}

void TInternalNames::ReadName(std::span<const uint8_t> body) {
    TByteReader r(body);
    auto n = std::make_unique<TInternalName>();
    n->Options = r.U16("NAME options");
    n->Shortcut = r.U8("NAME shortcut");
    const size_t chars = r.U8("NAME length");
    n->TokenLength = r.U16("NAME formula length");
    n->Ixals = r.U16("NAME");
    n->SheetNumber = r.U16("NAME sheet");
    size_t textChars[4];
    bool texts = false;
    for (size_t& t : textChars) {
        t = r.U8("NAME text length");
        texts = texts || t > 0;
    }
    n->name = ReadBIFFStr(r, chars, "NAME text");
    const std::span<const uint8_t> rest = body.subspan(r.Position());
    if (n->TokenLength > rest.size()) throw XLSError("Record too short: NAME formula beyond the end");
    // The array data behind the tokens is measured only when texts follow
    // it; otherwise the rest of the record is the formula's.
    const size_t data = texts ? n->TokenLength + FormulaArrayDataSize(rest, n->TokenLength) : rest.size();
    n->Data.assign(rest.begin(), rest.begin() + std::ptrdiff_t(data));
    r.Skip(data);
    for (int i = 0; i < 4; ++i)
        if (textChars[i]) n->Texts[i] = BIFFStrText(ReadBIFFStr(r, textChars[i], "NAME text"));
    n->Loaded = true;
    n->owner = this;
    items.push_back(std::move(n));
    indexed = false;
}

// The older layouts: BIFF2 a byte each for the lengths after three bytes
// that mean nothing to the later versions; BIFF3 and BIFF4 the option word,
// the shortcut and the lengths; BIFF5 the BIFF8 fields, with 8-bit texts
// that have no flag byte.
TInternalName& TInternalNames::ReadOldName(std::span<const uint8_t> body, TExcelVersion version, int codePage,
                                           std::vector<uint8_t>& tokens, size_t& tokenLength) {
    TByteReader r(body);
    auto n = std::make_unique<TInternalName>();
    size_t chars = 0;
    size_t textChars[4] = {};
    if (version <= TExcelVersion::xvExcel21) {
        r.Skip(3);
        chars = r.U8("NAME length");
        tokenLength = r.U8("NAME formula length");
    } else {
        n->Options = r.U16("NAME options");
        n->Shortcut = r.U8("NAME shortcut");
        chars = r.U8("NAME length");
        tokenLength = r.U16("NAME formula length");
        if (version >= TExcelVersion::xvExcel50) {
            r.U16("NAME");
            n->SheetNumber = r.U16("NAME sheet");
            for (size_t& t : textChars) t = r.U8("NAME text length");
        }
    }
    const std::span<const uint8_t> text = r.Bytes(chars, "NAME text");
    auto decode = [codePage](std::span<const uint8_t> bytes) {
        return CodePageToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                              codePage);
    };
    if ((n->Options & noBuiltIn) && chars == 1) {
        n->name = {0, text[0]};
    } else {
        n->name.assign(1, 1);
        for (char16_t c : decode(text)) {
            n->name.push_back(uint8_t(c));
            n->name.push_back(uint8_t(c >> 8));
        }
    }
    const std::span<const uint8_t> rest = body.subspan(r.Position());
    if (tokenLength > rest.size()) throw XLSError("Record too short: NAME formula beyond the end");
    tokens.assign(rest.begin(), rest.end());
    if (std::any_of(std::begin(textChars), std::end(textChars), [](size_t t) { return t > 0; })) {
        // The texts follow the array data behind the tokens; a name whose
        // data cannot be measured keeps its formula without them.
        try {
            r.Skip(tokenLength + FormulaArrayDataSize(rest, tokenLength, TokenLayoutOf(version)));
            for (int i = 0; i < 4; ++i)
                if (textChars[i]) n->Texts[i] = decode(r.Bytes(textChars[i], "NAME text"));
        } catch (const XLSError&) {
            for (std::u16string& t : n->Texts) t.clear();
        }
    }
    n->Loaded = true;
    n->owner = this;
    items.push_back(std::move(n));
    indexed = false;
    return *items.back();
}

void TInternalNames::WriteNames(const TRecordSink& sink, const TNameFormulas* instead) const {
    for (size_t i = 0; i < items.size(); ++i) {
        const TInternalName& n = *items[i];
        if (!n.Loaded && n.name.empty()) continue;
        const auto other = instead ? instead->find(int(i)) : TNameFormulas::const_iterator();
        const std::vector<uint8_t> body =
            n.RecordBody(instead && other != instead->end() ? &other->second : nullptr);
        sink(NameRecordId, body);
    }
}

} // namespace xls

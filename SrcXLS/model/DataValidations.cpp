#include "SrcXLS/model/DataValidations.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/formulas/FormulaText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/model/FormulaServices.h"
#include "SrcXLS/model/RangeFormulaContext.h"

#include <algorithm>

namespace xls {

namespace {

constexpr size_t MaxExpression = 512;
constexpr size_t MaxBody = 8224;
constexpr uint8_t tStr = 0x17;
// tArray in its three classes (0x20, 0x40, 0x60).
constexpr uint8_t tArrayClasses = 0x60;
// The validation type of lists, and the option bit of a list given item by item.
constexpr uint32_t ListType = 3;
constexpr uint32_t ExplicitList = 0x80;

// Option word bits of each option.
constexpr uint32_t OptionBits[4] = {0x100, 0x200, 0x40000, 0x80000};

// Characters below 33 at either end go: the one NUL that stands for an
// empty text reads as empty.
std::u16string Trimmed(std::u16string text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] < 33) ++b;
    while (e > b && text[e - 1] < 33) --e;
    return text.substr(b, e - b);
}

// emptyFlag: an empty string is its zero count and a flag byte, as some
// writers put it, rather than the count alone.
std::u16string ReadDVString(TByteReader& r, bool emptyFlag) {
    const uint16_t count = r.U16("string length");
    if (count == 0) {
        if (emptyFlag) r.U8("string flag");
        return {};
    }
    const uint8_t flag = r.U8("string flag");
    if (flag > 1) throw XLSError("Unhandled string in DV");
    std::u16string text(count, u'\0');
    if (flag == 1) {
        auto bytes = r.Bytes(2 * size_t(count), "string");
        for (size_t i = 0; i < count; ++i) text[i] = char16_t(GetU16(bytes.data() + 2 * i));
    } else {
        text = Latin1ToWide(r.Bytes(count, "string"));
    }
    return Trimmed(std::move(text));
}

void WriteDVString(TByteWriter& w, std::u16string_view text) {
    if (text.empty()) {
        w.U16(1);
        w.U8(0);
        w.U8(0);
        return;
    }
    w.U16(uint16_t(text.size()));
    w.U8(1);
    for (char16_t c : text) w.U16(c);
}

char16_t ListSeparator() {
    return TFormulaSyntax::Display(LibState().Locale).ListSeparator;
}

// The explicit list an array constant of a list validation gives (some
// writers list the items so): one string token, items NUL-separated.
std::vector<uint8_t> ListOfArray(const TArrayConstant& array) {
    std::u16string items;
    for (const TArrayValue& v : array.Values) {
        if (!items.empty()) items += u'\0';
        switch (v.Kind) {
        case TArrayValue::avString:
            items += v.Text;
            break;
        case TArrayValue::avNumber:
            items += FormulaNumberText(v.Number, u'.', true);
            break;
        case TArrayValue::avBoolean:
            items += v.Code ? u"TRUE" : u"FALSE";
            break;
        default:
            throw XLSError("A list of a data validation holds an error or an empty value");
        }
    }
    if (items.size() > 255) throw XLSError("A list of a data validation is longer than 255 characters");
    std::vector<uint8_t> tokens = {tStr, uint8_t(items.size()), 1};
    for (char16_t c : items) tokens.insert(tokens.end(), {uint8_t(c), uint8_t(c >> 8)});
    return tokens;
}

// A formula of a DV record; an array constant's data follows its tokens.
// A list of one array constant becomes the explicit list it stands for;
// other formulas with array constants leave the validation out.
std::vector<uint8_t> ReadExpression(TByteReader& r, bool list, bool& listed) {
    const uint16_t size = r.U16("formula size");
    r.Skip(2, "formula");
    auto tokens = r.Bytes(size, "formula");
    const std::span<const uint8_t> whole(tokens.data(), tokens.size() + r.Remaining());
    size_t extra = 0;
    try {
        extra = FormulaArrayDataSize(whole, size);
    } catch (const XLSError&) {
        // Tokens the walker does not know are kept as they are.
    }
    if (extra == 0) return std::vector<uint8_t>(tokens.begin(), tokens.end());
    if (!list || tokens.size() != 8 || (tokens[0] & 0x1F) != 0 || !(tokens[0] & tArrayClasses))
        throw XLSError("A formula of a data validation holds an array constant");
    size_t pos = size;
    const TArrayConstant array = ReadArrayConstant(whole, pos, TTokenLayout::BIFF8);
    r.Skip(pos - size, "array constant");
    listed = true;
    return ListOfArray(array);
}

// The fields of a DV body.
struct TDVFields {
    uint32_t Options = 0;
    std::u16string Texts[4];
    std::vector<uint8_t> Expressions[2];
    std::vector<std::span<const uint8_t>> Areas;
};

// Reads the fields in one of the two layouts of empty strings; true when
// they fill the record to its end. Raises when a field runs past the end.
bool ReadDVFields(std::span<const uint8_t> body, bool emptyFlag, TDVFields& f) {
    TByteReader r(body);
    f.Options = r.U32("options");
    for (auto& text : f.Texts) text = ReadDVString(r, emptyFlag);
    // A list's items as an array constant: an explicit list (its option bit).
    bool listed = false;
    for (auto& tokens : f.Expressions) tokens = ReadExpression(r, (f.Options & 0x0F) == ListType, listed);
    if (listed) f.Options |= ExplicitList;
    uint16_t areas = r.U16("range count");
    if (areas >= 4096) areas = 0;
    if (size_t(areas) * 8 > r.Remaining()) throw XLSError("Record too short: ranges beyond the end");
    for (uint16_t i = 0; i < areas; ++i) f.Areas.push_back(r.Bytes(8, "range"));
    return r.Remaining() == 0;
}

} // namespace

// An explicit list is one string token whose items a NUL separates; as
// text the items stand between the user's list separators. Swaps one
// separator for the other in such a token.
std::vector<uint8_t> SwapListSeparator(std::vector<uint8_t> tokens, char16_t from, char16_t to) {
    if (tokens.size() < 3 || tokens[0] != tStr) return tokens;
    const size_t chars = tokens[1];
    const bool wide = tokens[2] & 1;
    if (tokens.size() != 3 + chars * (wide ? 2 : 1)) return tokens;
    for (size_t i = 0; i < chars; ++i) {
        if (wide) {
            uint8_t* p = tokens.data() + 3 + 2 * i;
            if (GetU16(p) == from) PutU16(p, to);
        } else if (tokens[3 + i] == from && to <= 0xFF) {
            tokens[3 + i] = uint8_t(to);
        }
    }
    return tokens;
}

// ---- a validation

void TDataValidation::SetValidationType(TValidationType v) {
    type = v;
    changed = true;
}

void TDataValidation::SetValidationStyle(TValidationStyle v) {
    style = v;
    changed = true;
}

void TDataValidation::SetValidationOperator(TValidationOperator v) {
    op = v;
    changed = true;
}

void TDataValidation::SetOptions(uint8_t v) {
    options = v;
    changed = true;
}

void TDataValidation::SetInputTitle(std::u16string_view v) {
    inputTitle = v;
    changed = true;
}

void TDataValidation::SetErrorTitle(std::u16string_view v) {
    errorTitle = v;
    changed = true;
}

void TDataValidation::SetInputMsg(std::u16string_view v) {
    inputMsg = v;
    changed = true;
}

void TDataValidation::SetErrorMsg(std::u16string_view v) {
    errorMsg = v;
    changed = true;
}

IFormulaServices& TDataValidation::Services() const {
    if (!Context) throw XLSError("No formula services");
    return Context->Services();
}

int TDataValidation::SheetOf() const {
    return Context ? Context->Sheet() : -1;
}

// Relative references are offsets from the first area's top-left cell.
void TDataValidation::BaseCell(int& row, int& col) const {
    row = col = 0;
    if (Areas.Count() == 0) return;
    const TCellArea& a = Areas.GetItem(0);
    row = int(std::min(a.Row1, a.Row2));
    col = int(std::min(a.Col1, a.Col2));
}

std::u16string TDataValidation::ExpressionText(const std::vector<uint8_t>& tokens) const {
    if (tokens.empty()) return {};
    int row = 0, col = 0;
    BaseCell(row, col);
    return Services().RangeFormulaText(SheetOf(), SwapListSeparator(tokens, u'\0', ListSeparator()), row,
                                       col);
}

std::vector<uint8_t> TDataValidation::ExpressionTokens(std::u16string_view text) const {
    if (text.empty()) return {};
    int row = 0, col = 0;
    BaseCell(row, col);
    return SwapListSeparator(Services().RangeFormulaTokens(SheetOf(), text, 0x20, MaxExpression, row, col),
                             ListSeparator(), u'\0');
}

std::u16string TDataValidation::GetExpression1() const {
    return ExpressionText(Expression1Tokens);
}

std::u16string TDataValidation::GetExpression2() const {
    return ExpressionText(Expression2Tokens);
}

void TDataValidation::SetExpression1(std::u16string_view text) {
    Expression1Tokens = ExpressionTokens(text);
    changed = true;
}

void TDataValidation::SetExpression2(std::u16string_view text) {
    Expression2Tokens = ExpressionTokens(text);
    changed = true;
}

void TDataValidation::Assign(const TCollectionItemMoveCopy& source) {
    TAreaBoundItem::Assign(source);
    if (auto* s = dynamic_cast<const TDataValidation*>(&source)) {
        type = s->type;
        style = s->style;
        op = s->op;
        options = s->options;
        inputTitle = s->inputTitle;
        errorTitle = s->errorTitle;
        inputMsg = s->inputMsg;
        errorMsg = s->errorMsg;
        Expression1Tokens = s->Expression1Tokens;
        Expression2Tokens = s->Expression2Tokens;
        optionWord = s->optionWord;
    }
    changed = true;
}

void TDataValidation::Read(std::span<const uint8_t> body) {
    // The layout whose fields fill the record is the file's; a record that
    // fits neither is read as it stands, its faults raised.
    TDVFields f;
    bool fits = false;
    for (bool emptyFlag : {false, true}) {
        f = {};
        try {
            fits = ReadDVFields(body, emptyFlag, f);
        } catch (const XLSError&) {
        }
        if (fits) break;
    }
    if (!fits) {
        f = {};
        ReadDVFields(body, false, f);
    }
    optionWord = f.Options;
    type = TValidationType(std::min<uint32_t>(optionWord & 0x0F, 7));
    style = TValidationStyle(std::min<uint32_t>((optionWord >> 4) & 0x07, 2));
    op = TValidationOperator((optionWord >> 20) & 0x07);
    options = 0;
    for (int i = 0; i < 4; ++i)
        if (optionWord & OptionBits[i]) options |= uint8_t(1 << i);
    inputTitle = std::move(f.Texts[0]);
    errorTitle = std::move(f.Texts[1]);
    inputMsg = std::move(f.Texts[2]);
    errorMsg = std::move(f.Texts[3]);
    Expression1Tokens = std::move(f.Expressions[0]);
    Expression2Tokens = std::move(f.Expressions[1]);
    Areas.Clear();
    for (const auto& area : f.Areas) Areas.AddRef8(area);
    changed = false;
}

std::vector<uint8_t> TDataValidation::Body() const {
    uint32_t word = optionWord;
    if (changed) {
        word = uint32_t(type) + 16 * uint32_t(style) + 0x100000 * uint32_t(op);
        for (int i = 0; i < 4; ++i)
            if (options & (1 << i)) word += OptionBits[i];
        if (type == TValidationType::vtList && !Expression1Tokens.empty() && Expression1Tokens[0] == tStr)
            word |= ExplicitList;
    }
    std::vector<uint8_t> body;
    TByteWriter w(body);
    w.U32(word);
    for (const auto* text : {&inputTitle, &errorTitle, &inputMsg, &errorMsg}) WriteDVString(w, *text);
    for (const auto* tokens : {&Expression1Tokens, &Expression2Tokens}) {
        w.U16(uint16_t(tokens->size()));
        w.U16(0);
        w.Bytes(tokens->data(), tokens->size());
    }
    const auto areas = BIFF8Areas(Areas);
    w.U16(uint16_t(areas.size()));
    for (const auto& a : areas)
        for (uint16_t v : a) w.U16(v);
    return body;
}

// ---- the collection

TDataValidations::TDataValidations() {
    PutU32(DValBody.data() + 10, 0xFFFFFFFF);
}

TDataValidation& TDataValidations::Add() {
    return static_cast<TDataValidation&>(Insert(NewItem()));
}

std::unique_ptr<TCollectionItemMoveCopy> TDataValidations::NewItem() const {
    auto item = std::make_unique<TDataValidation>();
    item->Context = &Context;
    return item;
}

void TDataValidations::Assign(const TDataValidations& source) {
    Clear();
    DValBody = source.DValBody;
    FromFile = source.FromFile;
    for (int i = 0; i < source.Count(); ++i) Add().Assign(source.Items(i));
}

void TDataValidations::Clear() {
    TCollectionMoveCopy::Clear();
    FromFile = false;
    DValBody.fill(0);
    PutU32(DValBody.data() + 10, 0xFFFFFFFF);
}

TDataValidations::TDValRead
TDataValidations::ReadDVal(std::span<const uint8_t> body,
                           const std::function<bool(std::vector<uint8_t>&)>& nextDV) {
    TByteReader r(body);
    auto kept = r.Bytes(DValBody.size(), "validation list");
    FromFile = true;
    std::copy(kept.begin(), kept.end(), DValBody.begin());
    TDValRead result;
    result.Count = GetU32(DValBody.data() + 14);
    std::vector<uint8_t> dv;
    for (uint32_t i = 0; i < result.Count; ++i) {
        if (!nextDV(dv)) {
            result.Missing = result.Count - i;
            break;
        }
        // A validation that does not read costs itself.
        auto validation = NewItem();
        try {
            static_cast<TDataValidation&>(*validation).Read(dv);
        } catch (const XLSError&) {
            ++result.Damaged;
            continue;
        }
        Insert(std::move(validation));
    }
    return result;
}

void TDataValidations::WriteDVal(TXLSStream& stream) const {
    if (Count() == 0 && !FromFile) return;
    std::array<uint8_t, 18> dval = DValBody;
    PutU32(dval.data() + 14, uint32_t(Count()));
    stream.WriteHeader(dval::DVAL, uint16_t(dval.size()));
    stream.WriteRecordData(dval.data(), dval.size());
    for (int i = 0; i < Count(); ++i) {
        const std::vector<uint8_t> body = Items(i).Body();
        if (body.size() > MaxBody) throw XLSError("Data validation too long");
        stream.WriteHeader(dval::DV, uint16_t(body.size()));
        stream.WriteRecordData(body.data(), body.size());
    }
}

} // namespace xls

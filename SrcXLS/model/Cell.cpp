#include "SrcXLS/model/Cell.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"

namespace xls {

TCell::TCell(TCellFormats* pool, int formatIndex, int col, int row)
    : TFormattedObject(pool, formatIndex), Col(uint16_t(col)), Row(uint32_t(row)) {
    AcquireFormat();
}

TCell::~TCell() {
    DropFormat();
}

void TCell::operator delete(TCell* cell, std::destroying_delete_t) {
    const size_t bytes = size_t(cell->spare & UnitsMask) * 8;
    // The pool is read while the cell still points into it.
    TArena* arena = bytes ? cell->Pool()->CellArena : nullptr;
    cell->~TCell();
    if (arena)
        arena->Free(cell, bytes);
    else
        ::operator delete(cell);
}

void TCell::Dispose(TCell* cell) noexcept {
    const size_t bytes = size_t(cell->spare & UnitsMask) * 8;
    if (bytes == 0 || cell->HoldsMore()) {
        delete cell;
        return;
    }
    TArena* arena = cell->Pool()->CellArena;
    // What the destructors would do: the string cell's use, then the format's.
    if (cell->CellType() == ctString) {
        const auto* text = static_cast<const TStringCell*>(cell);
        text->Strings()->Release(text->Entry());
    }
    cell->DropFormat();
    arena->Free(cell, bytes);
}

std::unique_ptr<TCell> TBlankCell::MakeCopy() const {
    return NewCell<TBlankCell>(Pool(), GetFormatIndex(), Col, Row);
}

std::unique_ptr<TCell> TIntegerCell::MakeCopy() const {
    return NewCell<TIntegerCell>(Pool(), GetFormatIndex(), Col, Row, Value);
}

std::unique_ptr<TCell> TFloatCell::MakeCopy() const {
    return NewCell<TFloatCell>(Pool(), GetFormatIndex(), Col, Row, Value);
}

TStringCell::~TStringCell() {
    strings->Release(entry);
}

std::unique_ptr<TCell> TStringCell::MakeCopy() const {
    strings->AddUse(entry);
    return NewCell<TStringCell>(Pool(), GetFormatIndex(), Col, Row, strings, entry);
}

std::unique_ptr<TCell> TBooleanCell::MakeCopy() const {
    return NewCell<TBooleanCell>(Pool(), GetFormatIndex(), Col, Row, Value);
}

namespace {
int CheckedErrorIndex(int index) {
    // The error texts have entries 1..7 only.
    if (index < 1 || index >= ErrorIndexCount) throw XLSError("Invalid cell error value");
    return index;
}
} // namespace

TErrorCell::TErrorCell(TCellFormats* pool, int formatIndex, int col, int row, int errorIndex)
    : TCell(pool, formatIndex, col, row), ErrorIndex(uint8_t(CheckedErrorIndex(errorIndex))) {}

std::unique_ptr<TCell> TErrorCell::MakeCopy() const {
    return NewCell<TErrorCell>(Pool(), GetFormatIndex(), Col, Row, ErrorIndex);
}

std::u16string TErrorCell::GetErrorText() const {
    return std::u16string(ErrorDisplayText(ErrorIndex));
}

TFormulaCell::TFormulaCell(TCellFormats* pool, int formatIndex, int col, int row, int tokenLength,
                           std::span<const uint8_t> data)
    : TCell(pool, formatIndex, col, row), data(data.begin(), data.end()), tokenLength(tokenLength) {
    spare |= HoldsMoreBit;
    if (tokenLength < 0 || size_t(tokenLength) > data.size()) throw XLSError("Invalid formula length");
}

TFormulaCell::TFormulaCell(TCellFormats* pool, int formatIndex, int col, int row, std::string_view text,
                           uint16_t sharedLink, uint8_t options)
    : TCell(pool, formatIndex, col, row), data(text.begin(), text.end()), tokenLength(int(text.size())),
      sharedLink(sharedLink), textFlag(true), options(options) {
    spare |= HoldsMoreBit;
}

void TFormulaCell::SetFormula(std::span<const uint8_t> tokens) {
    SetFormula(tokens, tokens.size());
}

void TFormulaCell::SetFormula(std::span<const uint8_t> newData, size_t newTokenLength) {
    if (newTokenLength > newData.size()) throw XLSError("Invalid formula length");
    data.assign(newData.begin(), newData.end());
    tokenLength = int(newTokenLength);
    sharedLink = NoSharedFormula;
    textFlag = false;
    tokenVersion = TExcelVersion::xvExcel97;
}

void TFormulaCell::SetFormulaText(std::u16string_view text) {
    const std::string utf8 = WideToUtf8(text);
    data.assign(utf8.begin(), utf8.end());
    tokenLength = int(data.size());
    textFlag = true;
}

std::u16string TFormulaCell::GetFormulaText() const {
    if (!textFlag) return {};
    return Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

// A formula kept as text stays text in the copy: relabelled as tokens its
// bytes would be written as garbage.
void TFormulaCell::CopyFormula(const TFormulaCell& source) {
    data = source.data;
    tokenLength = source.tokenLength;
    textFlag = source.textFlag;
    options = source.options;
    tokenVersion = source.tokenVersion;
    sharedLink = NoSharedFormula;
}

namespace {
// A plain formula's copy: the formula, not the cached result.
template <class T> std::unique_ptr<TCell> CopyOf(const T& cell) {
    auto copy =
        NewCell<T>(cell.Pool(), cell.GetFormatIndex(), cell.Col, cell.Row, 0, std::span<const uint8_t>());
    copy->CopyFormula(cell);
    copy->NoResult = true;
    return copy;
}
} // namespace

std::unique_ptr<TCell> TNumberFormulaCell::MakeCopy() const {
    return CopyOf(*this);
}
std::unique_ptr<TCell> TStringFormulaCell::MakeCopy() const {
    return CopyOf(*this);
}
std::unique_ptr<TCell> TBooleanFormulaCell::MakeCopy() const {
    return CopyOf(*this);
}
std::unique_ptr<TCell> TErrorFormulaCell::MakeCopy() const {
    return CopyOf(*this);
}

std::u16string TErrorFormulaCell::GetErrorText() const {
    return std::u16string(ErrorDisplayText(Value));
}

TBaseArrayFormulaCell::TBaseArrayFormulaCell(TCellFormats* pool, int formatIndex, int col, int row,
                                             int tokenLength, std::span<const uint8_t> data,
                                             uint8_t arrayOptions, std::span<const uint8_t> array)
    : TFormulaCell(pool, formatIndex, col, row, tokenLength, data), ArrayOptions(arrayOptions),
      arrayData(array.begin(), array.end()) {
    if (arrayData.size() < ArrayHeadSize ||
        size_t(GetU16(arrayData.data() + 12)) > arrayData.size() - ArrayHeadSize)
        throw XLSError("Invalid ARRAY record");
}

std::span<const uint8_t> TBaseArrayFormulaCell::GetArrayTokens() const {
    return std::span<const uint8_t>(arrayData).subspan(ArrayHeadSize, size_t(GetArrayTokenLength()));
}

int TBaseArrayFormulaCell::GetArrayTokenLength() const {
    return GetU16(arrayData.data() + 12);
}

void TBaseArrayFormulaCell::SetArrayFormula(std::span<const uint8_t> data, size_t tokenLength) {
    arrayData.resize(ArrayHeadSize);
    arrayData.insert(arrayData.end(), data.begin(), data.end());
    PutU16(arrayData.data() + 12, uint16_t(tokenLength));
}

std::unique_ptr<TCell> TNumberArrayFormulaCell::MakeCopy() const {
    auto copy = NewCell<TNumberArrayFormulaCell>(Pool(), GetFormatIndex(), Col, Row, TokenLength(), Data(),
                                                 ArrayOptions, ArrayData());
    copy->CopyFormula(*this);
    copy->NoResult = NoResult;
    copy->Stale = Stale;
    copy->Value = Value;
    copy->ResultKind = ResultKind;
    copy->ResultCode = ResultCode;
    return copy;
}

std::u16string TNumberArrayFormulaCell::ResultText() const {
    if (ResultKind == fvBoolean) return ResultCode ? LibState().StrTRUE : LibState().StrFALSE;
    if (ResultKind == fvError) return std::u16string(ErrorDisplayText(ResultCode));
    return {};
}

std::unique_ptr<TCell> TStringArrayFormulaCell::MakeCopy() const {
    auto copy = NewCell<TStringArrayFormulaCell>(Pool(), GetFormatIndex(), Col, Row, TokenLength(), Data(),
                                                 ArrayOptions, ArrayData());
    copy->CopyFormula(*this);
    copy->NoResult = NoResult;
    copy->Stale = Stale;
    copy->Value = Value;
    return copy;
}

TFormulaValue FormulaCellResult(const TFormulaCell& cell) {
    TFormulaValue v;
    switch (cell.CellType()) {
    case ctNumberFormula:
        SetFormulaValueFloat(v, static_cast<const TNumberFormulaCell&>(cell).Value);
        break;
    case ctStringFormula:
        SetFormulaValueString(v, static_cast<const TStringFormulaCell&>(cell).Value);
        break;
    case ctStringArrayFormula:
        SetFormulaValueString(v, static_cast<const TStringArrayFormulaCell&>(cell).Value);
        break;
    case ctBooleanFormula:
        SetFormulaValueBoolean(v, static_cast<const TBooleanFormulaCell&>(cell).Value != 0);
        break;
    case ctNumberArrayFormula: {
        const auto& a = static_cast<const TNumberArrayFormulaCell&>(cell);
        if (a.ResultKind == fvBoolean)
            SetFormulaValueBoolean(v, a.ResultCode != 0);
        else if (a.ResultKind == fvError)
            SetFormulaValueError(v, a.ResultCode);
        else
            SetFormulaValueFloat(v, a.Value);
        break;
    }
    default:
        SetFormulaValueError(v, static_cast<const TErrorFormulaCell&>(cell).Value);
        break;
    }
    return v;
}

} // namespace xls

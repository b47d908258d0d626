// A sheet's data validations: for a set of cell areas, which values a cell
// may take (a type, an operator and one or two formulas), the input prompt
// and the error alert; read from and written to the DVAL record and the DV
// records after it.
#pragma once

#include "SrcXLS/model/CollectionMoveCopy.h"
#include "SrcXLS/model/RangeFormulaContext.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace xls {

class TXLSStream;

namespace dval {
constexpr uint16_t DVAL = 0x01B2;
constexpr uint16_t DV = 0x01BE;
} // namespace dval

enum class TValidationType : uint8_t {
    vtAny,
    vtInteger,
    vtNumber,
    vtList,
    vtDate,
    vtTime,
    vtTextLength,
    vtCustom
};
enum class TValidationStyle : uint8_t { vsStop, vsWarning, vsInfo };
enum class TValidationOperator : uint8_t {
    vopBetween,
    vopNotBetween,
    vopEqual,
    vopNotEqual,
    vopGreater,
    vopLess,
    vopGreateEqual,
    vopLessEqual,
};
enum TValidationOption : uint8_t {
    voAllowEmptyCells = 0x01,
    voSupressDropDown = 0x02,
    voShowPromptBox = 0x04,
    voShowErrorBox = 0x08,
};

// An explicit list is one string token whose items a NUL separates; as
// text the items stand between list separators. Swaps one separator for the
// other in such a token; other tokens as they are.
std::vector<uint8_t> SwapListSeparator(std::vector<uint8_t> tokens, char16_t from, char16_t to);

class TDataValidation : public TAreaBoundItem {
public:
    TValidationType GetValidationType() const { return type; }
    void SetValidationType(TValidationType v);
    TValidationStyle GetValidationStyle() const { return style; }
    void SetValidationStyle(TValidationStyle v);
    TValidationOperator GetValidationOperator() const { return op; }
    void SetValidationOperator(TValidationOperator v);
    uint8_t GetOptions() const { return options; } // TValidationOption bits
    void SetOptions(uint8_t v);
    const std::u16string& GetInputTitle() const { return inputTitle; }
    void SetInputTitle(std::u16string_view v);
    const std::u16string& GetErrorTitle() const { return errorTitle; }
    void SetErrorTitle(std::u16string_view v);
    const std::u16string& GetInputMsg() const { return inputMsg; }
    void SetInputMsg(std::u16string_view v);
    const std::u16string& GetErrorMsg() const { return errorMsg; }
    void SetErrorMsg(std::u16string_view v);
    // The formulas as text (relative to the first area's top-left cell); a
    // text that does not compile raises and leaves the formula as it was.
    std::u16string GetExpression1() const;
    void SetExpression1(std::u16string_view text);
    std::u16string GetExpression2() const;
    void SetExpression2(std::u16string_view text);

    std::vector<uint8_t> Expression1Tokens, Expression2Tokens;
    bool Changed() const { return changed; }
    uint32_t OptionWord() const { return optionWord; }
    // The cell the formulas' relative references count from: the first
    // area's top-left cell.
    void BaseCell(int& row, int& col) const;

    void Assign(const TCollectionItemMoveCopy& source) override;
    // Its collection's formula services and sheet.
    const TRangeFormulaContext* Context = nullptr;
    // A DV body; a malformed one raises XLSError.
    void Read(std::span<const uint8_t> body);
    std::vector<uint8_t> Body() const;

private:
    std::u16string ExpressionText(const std::vector<uint8_t>& tokens) const;
    std::vector<uint8_t> ExpressionTokens(std::u16string_view text) const;
    IFormulaServices& Services() const;
    int SheetOf() const;

    TValidationType type = TValidationType::vtNumber;
    TValidationStyle style = TValidationStyle::vsStop;
    TValidationOperator op = TValidationOperator::vopEqual;
    uint8_t options = voAllowEmptyCells | voShowPromptBox | voShowErrorBox;
    std::u16string inputTitle, errorTitle, inputMsg, errorMsg;
    uint32_t optionWord = 0;
    bool changed = false;
};

class TDataValidations : public TCollectionMoveCopy {
public:
    TRangeFormulaContext Context;
    TDataValidations();
    TDataValidation& Add();
    TDataValidation& Items(int index) const { return static_cast<TDataValidation&>(GetItem(index)); }
    void Assign(const TDataValidations& source);
    void Clear();

    // flags, horizontal and vertical position, drop-down object, DV count.
    std::array<uint8_t, 18> DValBody{};
    // A DVAL was read: it is written back even without validations.
    bool FromFile = false;

    // A DVAL body; next gives the body of the record that follows when it is
    // a DV (false otherwise).
    // What a DVAL read left out: the DV records it counts that are not
    // there, and those that do not read.
    struct TDValRead {
        uint32_t Count = 0, Missing = 0, Damaged = 0;
    };
    TDValRead ReadDVal(std::span<const uint8_t> body,
                       const std::function<bool(std::vector<uint8_t>&)>& nextDV);
    // Nothing without validations; else DVAL and one DV each.
    void WriteDVal(TXLSStream& stream) const;

protected:
    std::unique_ptr<TCollectionItemMoveCopy> NewItem() const override;
};

} // namespace xls

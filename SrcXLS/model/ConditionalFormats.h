// A sheet's conditional formats: up to three conditions, each a comparison
// or a formula with the font, border and pattern changes to apply, bound to
// a set of cell areas; read from and written to CONDFMT and CF records. The
// changes are kept as the blocks of the CF record and edited through typed
// properties.
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
class TConditionalFormat;

namespace condfmt {
constexpr uint16_t CONDFMT = 0x01B0;
constexpr uint16_t CF = 0x01B1;
// Blocks a CF record carries, by flag.
constexpr uint32_t NumberBlock = 0x02000000;
constexpr uint32_t FontBlock = 0x04000000;
constexpr uint32_t AlignmentBlock = 0x08000000;
constexpr uint32_t BorderBlock = 0x10000000;
constexpr uint32_t PatternBlock = 0x20000000;
constexpr uint32_t ProtectionBlock = 0x40000000;
} // namespace condfmt

enum class TConditionOperator : uint8_t {
    coNoComparision,
    coBetween,
    coNotBetween,
    coEqual,
    coNotEqual,
    coGreater,
    coLess,
    coGreateEqual,
    coLessEqual,
};

enum class TXUnderline : uint8_t { xulNone, xulSingle, xulDouble, xulSingleAccount, xulDoubleAccount };

// The font block: colour and height "not set" unless given.
class TCondFmtFont {
public:
    TCondFmtFont();
    std::array<uint8_t, 118> Block{};
    bool Used = false;

    int GetColor() const; // 64 when not set
    void SetColor(int color);
    uint8_t GetFontStyle() const; // TXFontStyleBits
    void SetFontStyle(uint8_t style);
    uint32_t GetHeight20() const; // twips, 0 when not set
    void SetHeight20(uint32_t height);
    uint16_t GetEscapment() const;
    void SetEscapment(uint16_t escapement);
    TXUnderline GetUnderline() const;
    void SetUnderline(TXUnderline underline);
};

// Line styles and colours of the four sides; sides: 0 left, 1 right, 2 top,
// 3 bottom.
class TCondFmtBorder {
public:
    TCondFmtBorder();
    std::array<uint8_t, 8> Block{};
    std::array<bool, 4> UsedSides{}; // left, right, top, bottom

    uint8_t GetStyle(int side) const;
    void SetStyle(int side, uint8_t style);
    int GetColor(int side) const;
    void SetColor(int side, int color);
    bool Used() const { return UsedSides[0] || UsedSides[1] || UsedSides[2] || UsedSides[3]; }
};

class TCondFmtPattern {
public:
    std::array<uint8_t, 4> Block{};
    bool UsedPattern = false, UsedBack = false, UsedFore = false;

    uint8_t GetFillPattern() const;
    void SetFillPattern(uint8_t pattern);
    int GetBackColor() const;
    void SetBackColor(int color);
    int GetForeColor() const;
    void SetForeColor(int color);
    bool Used() const { return UsedPattern || UsedBack || UsedFore; }
};

// One condition: the 12-byte CF header, its formulas and the blocks.
class TCondFmtData {
public:
    TCondFmtData();
    std::array<uint8_t, 12> Header{};
    std::vector<uint8_t> Formula1Tokens, Formula2Tokens;
    TCondFmtFont FmtFont;
    TCondFmtBorder FmtBorder;
    TCondFmtPattern FmtPattern;
    // Blocks kept as read: number format, alignment, protection.
    std::vector<uint8_t> NumberFormat, Alignment, Protection;

    bool GetCompareCell() const { return Header[0] == 1; }
    void SetCompareCell(bool compare) { Header[0] = compare ? 1 : 2; }
    TConditionOperator GetCompOperator() const { return TConditionOperator(Header[1] <= 8 ? Header[1] : 0); }
    void SetCompOperator(TConditionOperator op) { Header[1] = uint8_t(op); }
    uint32_t Flags() const;
    // The formulas as text, written for the top-left cell of the format's
    // areas (set the areas first); an empty text removes a formula, one
    // that does not compile raises and leaves it as it was.
    std::u16string GetFormula1() const;
    void SetFormula1(std::u16string_view text);
    std::u16string GetFormula2() const;
    void SetFormula2(std::u16string_view text);
    // The format whose areas give the base cell.
    const TConditionalFormat* Owner = nullptr;
    void BaseCell(int& row, int& col) const;
    IFormulaServices& Formulas() const;
    int Sheet() const;

    bool Used() const;
    // Read from a file: written back even without a format change.
    bool FromFile = false;
    bool Written() const { return Used() || FromFile; }
    void Assign(const TCondFmtData& source) {
        const TConditionalFormat* owner = Owner;
        *this = source;
        Owner = owner;
    }
    // A CF body; a malformed one raises XLSError.
    void Read(std::span<const uint8_t> body);
    std::vector<uint8_t> Body() const;
};

class TConditionalFormat : public TAreaBoundItem {
public:
    TConditionalFormat() { Condition1.Owner = Condition2.Owner = Condition3.Owner = this; }
    TConditionalFormat(const TConditionalFormat&) = delete;
    TConditionalFormat& operator=(const TConditionalFormat&) = delete;
    TCondFmtData Condition1, Condition2, Condition3;
    TCondFmtData& Condition(int i) { return i == 0 ? Condition1 : i == 1 ? Condition2 : Condition3; }
    const TCondFmtData& Condition(int i) const {
        return i == 0 ? Condition1 : i == 1 ? Condition2 : Condition3;
    }
    void Assign(const TCollectionItemMoveCopy& source) override;
    // Its collection's formula services and sheet.
    const TRangeFormulaContext* Context = nullptr;
};

class TConditionalFormats : public TCollectionMoveCopy {
public:
    TRangeFormulaContext Context;
    TConditionalFormat& Add();
    TConditionalFormat& Items(int index) const { return static_cast<TConditionalFormat&>(GetItem(index)); }
    void Assign(const TConditionalFormats& source);

    // What a CONDFMT brought that the model does not hold.
    struct TCondFmtRead {
        int Count = 0;   // the CF records it names
        int Missing = 0; // of those, not present: what some writers put in
                         // place of conditions BIFF8 cannot hold
        // The conditions past the third (some writers put up to five on one
        // range), read and described, e.g. "cell value between 3 and 4".
        std::vector<std::u16string> Beyond;
    };
    // A CONDFMT body; next gives the body of the record that follows when it
    // is a CF (false otherwise). A format left without any condition (none
    // present, or a count of 0) is not added.
    TCondFmtRead ReadCondFmt(std::span<const uint8_t> body,
                             const std::function<bool(std::vector<uint8_t>&)>& nextCF);
    // CONDFMT and CF records of every format with a used condition and an
    // area; areas beyond the BIFF8 limits are clipped or left out.
    void WriteCondFmts(TXLSStream& stream) const;

protected:
    std::unique_ptr<TCollectionItemMoveCopy> NewItem() const override;
};

} // namespace xls

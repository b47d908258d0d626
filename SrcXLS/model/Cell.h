// The cells of a sheet: one object per stored cell, each kind with its fixed
// type code. A cell counts one use of its format entry while it lives; a
// string cell also one use of its entry in the shared string table.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/model/FormattedObject.h"
#include "SrcXLS/model/SST.h"

#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace xls {

enum TCellType : uint8_t {
    ctNone = 0,
    ctBlank = 1,
    ctInteger = 3,
    ctFloat = 4,
    ctString = 5,
    ctBoolean = 6,
    ctError = 7,
    ctNumberFormula = 8,
    ctStringFormula = 9,
    ctBooleanFormula = 10,
    ctErrorFormula = 11,
    ctNumberArrayFormula = 12,
    ctStringArrayFormula = 13,
};

constexpr uint16_t NoSharedFormula = 0xFFFF;
// The option of a formula kept as .xlsx text that is an array formula.
constexpr uint8_t KeptArrayFormula = 0x80;

class TCell : public TFormattedObject {
public:
    // An index not below the pool's count gives the default format.
    TCell(TCellFormats* pool, int formatIndex, int col, int row);
    ~TCell() override;
    TCell(const TCell&) = delete;
    TCell& operator=(const TCell&) = delete;

    // A cell made by NewCell goes back to the arena of its pool, any other to
    // the heap.
    static void operator delete(TCell* cell, std::destroying_delete_t);
    // Cells whose going frees more than themselves (formula data).
    bool HoldsMore() const { return spare & HoldsMoreBit; }
    // Frees a cell as delete does; a plain cell of the arena gives back its
    // string and format uses and its block without the destructors' calls
    // (a store emptied at once).
    static void Dispose(TCell* cell) noexcept;

    uint16_t Col;
    uint32_t Row;

    virtual TCellType CellType() const = 0;
    // Same class, position, format and value; the copy counts its own uses.
    virtual std::unique_ptr<TCell> MakeCopy() const = 0;
    void SetPosition(int col, int row) {
        Col = uint16_t(col);
        Row = uint32_t(row);
    }
    bool IsFormula() const { return CellType() >= ctNumberFormula; }
    // The number of integer, float and number-formula cells.
    virtual bool GetNumber(double&) const { return false; }

protected:
    static constexpr uint8_t HoldsMoreBit = 0x80;

private:
    template <class C, class... A> friend std::unique_ptr<C> NewCell(TCellFormats* pool, A&&... args);
    // The low bits of spare: the arena block's size in 8-byte units, 0 for a heap cell.
    static constexpr uint8_t UnitsMask = 0x7F;
};

class TBlankCell final : public TCell {
public:
    using TCell::TCell;
    TCellType CellType() const override { return ctBlank; }
    std::unique_ptr<TCell> MakeCopy() const override;
};

class TIntegerCell final : public TCell {
public:
    TIntegerCell(TCellFormats* pool, int formatIndex, int col, int row, int32_t value)
        : TCell(pool, formatIndex, col, row), Value(value) {}
    TCellType CellType() const override { return ctInteger; }
    std::unique_ptr<TCell> MakeCopy() const override;
    bool GetNumber(double& v) const override {
        v = Value;
        return true;
    }
    int32_t Value;
};

class TFloatCell final : public TCell {
public:
    TFloatCell(TCellFormats* pool, int formatIndex, int col, int row, double value)
        : TCell(pool, formatIndex, col, row), Value(value) {}
    TCellType CellType() const override { return ctFloat; }
    std::unique_ptr<TCell> MakeCopy() const override;
    bool GetNumber(double& v) const override {
        v = Value;
        return true;
    }
    double Value;
};

class TStringCell final : public TCell {
public:
    // Takes over one use of entry, counted by the caller.
    TStringCell(TCellFormats* pool, int formatIndex, int col, int row, TSST2* strings, TSSTEntry* entry)
        : TCell(pool, formatIndex, col, row), strings(strings), entry(entry) {}
    // Gives its use of the entry back.
    ~TStringCell() override;
    TCellType CellType() const override { return ctString; }
    std::unique_ptr<TCell> MakeCopy() const override;

    TSSTEntry* Entry() const { return entry; }
    TSST2* Strings() const { return strings; }
    std::u16string Text() const { return entry->Text(); }

private:
    TSST2* strings;
    TSSTEntry* entry;
};

class TBooleanCell final : public TCell {
public:
    TBooleanCell(TCellFormats* pool, int formatIndex, int col, int row, uint8_t value)
        : TCell(pool, formatIndex, col, row), Value(value) {}
    TCellType CellType() const override { return ctBoolean; }
    std::unique_ptr<TCell> MakeCopy() const override;
    bool GetValue() const { return Value != 0; }
    uint8_t Value;
};

class TErrorCell final : public TCell {
public:
    // Error index 1..7; anything else raises "Invalid cell error value".
    TErrorCell(TCellFormats* pool, int formatIndex, int col, int row, int errorIndex);
    TCellType CellType() const override { return ctError; }
    std::unique_ptr<TCell> MakeCopy() const override;
    std::u16string GetErrorText() const;
    uint8_t ErrorIndex;
};

// Formula data: BIFF token bytes (the parsed expression, then additional
// data), or, with the text flag, the formula text of an .xlsx file.
class TFormulaCell : public TCell {
public:
    // From tokens: tokenLength bytes of expression within data.
    TFormulaCell(TCellFormats* pool, int formatIndex, int col, int row, int tokenLength,
                 std::span<const uint8_t> data);
    // From .xlsx text.
    TFormulaCell(TCellFormats* pool, int formatIndex, int col, int row, std::string_view text,
                 uint16_t sharedLink, uint8_t options);

    std::span<const uint8_t> Data() const { return data; }
    int DataLength() const { return int(data.size()); }
    int TokenLength() const { return tokenLength; }
    bool IsText() const { return textFlag; }
    uint8_t Options() const { return options; }
    uint16_t SharedLink() const { return sharedLink; }
    bool Calculated = false;
    // The cell holds no result of its formula (set without one, copied or
    // moved here, or read without one): a write computes it.
    bool NoResult = false;
    // An edit changed what the formula computes from: the result it holds
    // is out of date, and a write computes it too.
    bool Stale = false;
    // When the cell was put by an edit (the workbook's count of cell
    // changes; 0: read or made before any): later changes can make its
    // result stale, earlier ones not.
    uint32_t Placed = 0;
    // The version whose token layout the formula is in: BIFF2-BIFF5 for
    // tokens read from files of those versions, else BIFF8 (the 2007 layout
    // after its leading marker).
    TExcelVersion TokenVersion() const { return tokenVersion; }
    void SetTokenVersion(TExcelVersion v) { tokenVersion = v; }

    // New tokens: data and token length both cover the whole block.
    void SetFormula(std::span<const uint8_t> tokens);
    // New tokens (tokenLength bytes) followed by their array data.
    void SetFormula(std::span<const uint8_t> data, size_t tokenLength);
    // A new text of a formula kept as .xlsx text (the sheets it names
    // renamed or deleted); its shared formula and options stay.
    void SetFormulaText(std::u16string_view text);
    // The kept .xlsx text (UTF-8) as wide text, "" for token formulas.
    std::u16string GetFormulaText() const;
    // Copies formula data (tokens or text with their flags) from source.
    void CopyFormula(const TFormulaCell& source);

private:
    std::vector<uint8_t> data;
    int tokenLength = 0;
    uint16_t sharedLink = NoSharedFormula;
    bool textFlag = false;
    uint8_t options = 0;
    TExcelVersion tokenVersion = TExcelVersion::xvExcel97;
};

class TNumberFormulaCell final : public TFormulaCell {
public:
    using TFormulaCell::TFormulaCell;
    TCellType CellType() const override { return ctNumberFormula; }
    std::unique_ptr<TCell> MakeCopy() const override;
    bool GetNumber(double& v) const override {
        v = Value;
        return true;
    }
    double Value = 0;
};

class TStringFormulaCell final : public TFormulaCell {
public:
    using TFormulaCell::TFormulaCell;
    TCellType CellType() const override { return ctStringFormula; }
    std::unique_ptr<TCell> MakeCopy() const override;
    std::u16string Value;
};

class TBooleanFormulaCell final : public TFormulaCell {
public:
    using TFormulaCell::TFormulaCell;
    TCellType CellType() const override { return ctBooleanFormula; }
    std::unique_ptr<TCell> MakeCopy() const override;
    bool GetValue() const { return Value != 0; }
    uint8_t Value = 0;
};

class TErrorFormulaCell final : public TFormulaCell {
public:
    using TFormulaCell::TFormulaCell;
    TCellType CellType() const override { return ctErrorFormula; }
    std::unique_ptr<TCell> MakeCopy() const override;
    // The file's text ("#N/A") for a formula kept as text, else the display text.
    std::u16string GetErrorText() const;
    uint8_t Value = 7;
};

// The ARRAY record data: a 14-byte head (rows, columns, options, reserved,
// token length) and the array formula's tokens.
class TBaseArrayFormulaCell : public TFormulaCell {
public:
    static constexpr int ArrayHeadSize = 14;
    // Raises "Invalid ARRAY record" for data shorter than its head says.
    TBaseArrayFormulaCell(TCellFormats* pool, int formatIndex, int col, int row, int tokenLength,
                          std::span<const uint8_t> data, uint8_t arrayOptions,
                          std::span<const uint8_t> arrayData);

    std::span<const uint8_t> ArrayData() const { return arrayData; }
    std::span<const uint8_t> GetArrayTokens() const;
    int GetArrayTokenLength() const;
    // New tokens of the array formula (tokenLength bytes, then their array
    // data), the head kept.
    void SetArrayFormula(std::span<const uint8_t> data, size_t tokenLength);
    // 0 for the cell that carries the array.
    uint8_t ArrayOptions;

private:
    std::vector<uint8_t> arrayData;
};

// Its cached result is a number, or, read from a file, a boolean or an
// error as the array formula computed it.
class TNumberArrayFormulaCell final : public TBaseArrayFormulaCell {
public:
    using TBaseArrayFormulaCell::TBaseArrayFormulaCell;
    TCellType CellType() const override { return ctNumberArrayFormula; }
    std::unique_ptr<TCell> MakeCopy() const override;
    bool GetNumber(double& v) const override {
        v = Value;
        return ResultKind == fvFloat;
    }
    // The boolean or error result as a text; empty for a number.
    std::u16string ResultText() const;
    double Value = 0;
    // fvFloat (the result is Value), fvBoolean (ResultCode 0 or 1) or
    // fvError (ResultCode the error index).
    TFormulaValueType ResultKind = fvFloat;
    uint8_t ResultCode = 0;
};

class TStringArrayFormulaCell final : public TBaseArrayFormulaCell {
public:
    using TBaseArrayFormulaCell::TBaseArrayFormulaCell;
    TCellType CellType() const override { return ctStringArrayFormula; }
    std::unique_ptr<TCell> MakeCopy() const override;
    std::u16string Value;
};

// The result a formula cell holds (as read, or as set): a number, text,
// boolean or error value.
TFormulaValue FormulaCellResult(const TFormulaCell& cell);

// A cell in the arena of its pool's workbook (on the heap when the pool has
// none), with one ownership as make_unique gives.
template <class C, class... A> std::unique_ptr<C> NewCell(TCellFormats* pool, A&&... args) {
    TArena* arena = pool ? pool->CellArena : nullptr;
    constexpr size_t units = (sizeof(C) + 7) / 8;
    if (!arena || units > TCell::UnitsMask) return std::make_unique<C>(pool, std::forward<A>(args)...);
    void* block = arena->Allocate(sizeof(C));
    C* cell;
    try {
        cell = ::new (block) C(pool, std::forward<A>(args)...);
    } catch (...) {
        arena->Free(block, sizeof(C));
        throw;
    }
    cell->spare = uint8_t((cell->spare & ~TCell::UnitsMask) | units);
    return std::unique_ptr<C>(cell);
}

} // namespace xls

// The workbook's defined names: named ranges, named formulas, macro names
// and the built-in names. Formula tokens refer to a name by its 1-based
// position in the list, so the list's order is part of the file's meaning.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formulas/FormulaText.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace xls {

// Receives the records a model part writes: id and body (a body past the
// record size goes on in CONTINUE records, the writer's business).
using TRecordSink = std::function<void(uint16_t id, std::span<const uint8_t> body)>;

constexpr uint16_t NameRecordId = 0x0018;

// The formula a write gives a name in place of its own: tokens, then their
// array data.
struct TNameFormula {
    std::vector<uint8_t> Data;
    uint16_t TokenLength = 0;
};
// By the name's position in the list.
using TNameFormulas = std::unordered_map<int, TNameFormula>;

// NAME option bits.
enum TNameOption : uint16_t {
    noHidden = 0x0001,
    noFunction = 0x0002,
    noVBAProcedure = 0x0004,
    noMacro = 0x0008,
    noComplex = 0x0010,
    noBuiltIn = 0x0020,
    noFunctionGroup = 0x0FC0,
    noPublished = 0x1000,
};

// The codes of the built-in names (Print_Area and the others); NoBuiltIn
// for a name that holds a text.
constexpr int BuiltInNameCount = 14;
constexpr int NoBuiltIn = 14;
constexpr int FilterDatabaseCode = 13;
std::u16string_view BuiltInNameText(int code); // "Print_Area"; "" for NoBuiltIn
int BuiltInNameCode(std::u16string_view text); // any letter case; NoBuiltIn when none

class TInternalNames;

class TInternalName {
public:
    // The option word of the NAME record; the function group in 0x0FC0.
    uint16_t Options = 0;
    uint8_t Shortcut = 0;
    uint16_t Ixals = 0;
    // 0 for a global name, else the 1-based number of its sheet.
    uint16_t SheetNumber = 0;
    // The tokens (TokenLength bytes) and their array data.
    std::vector<uint8_t> Data;
    uint16_t TokenLength = 0;
    // Custom menu, description, help and status bar texts.
    std::u16string Texts[4];
    // XLSX only.
    std::u16string FormulaText;
    std::u16string Comment;
    std::u16string ShortcutKey;
    bool Xlm = false, PublishToServer = false, WorkbookParameter = false;
    bool Loaded = false;

    // The code byte of a built-in name, NoBuiltIn for a name with a text.
    int GetBuiltInCode() const;
    // The text: the published text of a built-in code ("Print_Area").
    std::u16string GetName() const;
    // "_xlnm." before a text sets the built-in flag, and a published text
    // after it stores its code. Raises "Name is empty" for no text and
    // "Name is too long" past 255 characters.
    void SetName(std::u16string_view text);
    void SetBuiltInCode(int code);
    void SetVBAMacro(bool on);
    int GetFunctionGroup() const { return (Options & noFunctionGroup) >> 6; }
    void SetFunctionGroup(int group);
    bool IsBuiltIn() const { return Options & noBuiltIn; }
    // A hidden function name (no VBA procedure) whose value is #NAME?: it
    // only names a function a binary workbook calls through it.
    bool IsFunctionCall() const;
    // The raw name: flag byte (0 8-bit, 1 UTF-16LE) and characters.
    const std::vector<uint8_t>& NameBytes() const { return name; }

    // The NAME record body (BIFF8), with the formula given in place of its own.
    std::vector<uint8_t> RecordBody(const TNameFormula* instead = nullptr) const;
    // The NAME record body of BIFF5 with the given tokens (tokenLength bytes,
    // then their array data, BIFF5 layout): 8-bit texts in codePage, a local
    // name's sheet given as its EXTERNSHEET record too. A text the code page
    // lacks characters of is left out; raises XLSError for a name's. For
    // BIFF3 and BIFF4 (version) the body of their NAME record, which has
    // neither the sheet nor the texts.
    std::vector<uint8_t> OldRecordBody(std::span<const uint8_t> tokens, size_t tokenLength, int codePage,
                                       TExcelVersion version = TExcelVersion::xvExcel50) const;

private:
    friend class TInternalNames;
    std::vector<uint8_t> name;
    TInternalNames* owner = nullptr; // told when the text changes
};

class TInternalNames {
public:
    // Called after a name was deleted, with its 0-based position.
    std::function<void(int position)> OnNameDeleted;

    TInternalName& Add();
    int Count() const { return int(items.size()); }
    TInternalName& Items(int i) const { return *items[size_t(i)]; }
    // The position of the first name of that text in any letter case, -1
    // when none. With sheet >= 0 a name local to that sheet (0-based)
    // comes first, then a global one. Names are indexed by text.
    int IndexOfName(std::u16string_view text, int sheet = -1) const;
    TInternalName* FindBuiltInName(int code, int sheetIndex) const;
    void DeleteBuiltInName(int code, int sheetNumber);
    // Removes the name at position; OnNameDeleted follows.
    void Delete(int position);
    void Clear() {
        items.clear();
        indexed = false;
    }

    // A NAME record body of a BIFF8 file. Raises XLSError when its lengths
    // run past the body.
    void ReadName(std::span<const uint8_t> body);
    // A NAME record body of a BIFF2-BIFF5 file (8-bit text in codePage): the
    // name is added without a formula; its tokens, in the layout of the
    // file's version, go to tokens (tokenLength bytes, then what follows
    // them in the record). Raises XLSError when its lengths run past the body.
    TInternalName& ReadOldName(std::span<const uint8_t> body, TExcelVersion version, int codePage,
                               std::vector<uint8_t>& tokens, size_t& tokenLength);
    // One NAME record per name, in list order; a name listed in instead
    // with the formula given there.
    void WriteNames(const TRecordSink& sink, const TNameFormulas* instead = nullptr) const;

    // The text of a name changed: lookups index the texts again.
    void NamesChanged() { indexed = false; }

private:
    std::vector<std::unique_ptr<TInternalName>> items;
    // Positions by upper-case text, ascending; rebuilt after a change.
    mutable std::unordered_map<std::u16string, std::vector<int>, TNoCaseHash, TNoCaseEqual> index;
    mutable bool indexed = false;
};

} // namespace xls

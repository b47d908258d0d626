// The pieces of formula text both directions share: the separators of a
// syntax, numbers, string literals and sheet names as formulas write them.
#pragma once

#include "SrcXLS/XLSLocale.h"
#include "SrcXLS/XLSText.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace xls {

// The separators formula text is written and read with. File syntax (the
// text of .xlsx files and of GetAsFormula) is fixed; display syntax follows
// the user's regional settings.
struct TFormulaSyntax {
    char16_t ListSeparator = u',';
    char16_t DecimalSeparator = u'.';
    char16_t ArrayColSeparator = u',';
    char16_t ArrayRowSeparator = u';';
    // Numbers in the shortest text that reads back to the same double
    // (files), or in up to 15 significant digits as the user sees them.
    bool ExactNumbers = true;

    static TFormulaSyntax File() { return {}; }
    // The locale's list and decimal separators; array constants separate
    // their columns by the list separator, or by "\" when that is ";".
    static TFormulaSyntax Display(const TXLSLocale& locale);
};

// Up to 15 significant digits, as the general number format shows them;
// with exact, more where 15 do not read back to the same double (the
// shortest text that does). Exponents are written "1E+20", "1.5E-07".
std::u16string FormulaNumberText(double value, char16_t decimalSeparator, bool exact = false);

// A string literal in double quotes, inner quotes doubled.
std::u16string QuoteFormulaString(std::u16string_view text);

// A sheet name as the sheet part of a reference: in single quotes (inner
// quotes doubled) unless it is made of letters, digits, "_" and "." only,
// starts with a letter or "_", and cannot be read as a reference.
std::u16string QuoteSheetName(std::u16string_view name);
// A range of sheets "First:Last", in quotes as a whole when either name
// has characters that need them (a name that only reads as a cell does not).
std::u16string QuoteSheetRange(std::u16string_view first, std::u16string_view last);

// Names, sheets and functions are the same in any letter case: hashing and
// comparing of texts as UpperCaseWide gives them, without making the upper
// case copies (maps keyed by text find views of it).
struct TNoCaseHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view text) const {
        size_t h = 14695981039346656037u;
        for (char16_t c : text) h = (h ^ UpperCaseChar(c)) * 1099511628211u;
        return h;
    }
};
struct TNoCaseEqual {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i] != b[i] && UpperCaseChar(a[i]) != UpperCaseChar(b[i])) return false;
        return true;
    }
};

} // namespace xls

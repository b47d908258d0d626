// External references: the EXTERNSHEET table through which 3-D references
// and external names in BIFF8 formulas go, and the supporting books it
// points at (the workbook itself, the add-in functions, other workbooks
// with their sheets, external names and cached values). Other workbooks
// are never opened: their values come from the cached CRN records.
#pragma once

#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formulas/DefinedNames.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TByteReader;
struct TArrayValue;

// The records of external references.
namespace externrec {
constexpr uint16_t EXTERNSHEET = 0x0017;
constexpr uint16_t EXTERNNAME = 0x0023;
constexpr uint16_t XCT = 0x0059;
constexpr uint16_t CRN = 0x005A;
constexpr uint16_t SUPBOOK = 0x01AE;
} // namespace externrec

constexpr uint16_t SupBookSelf = 0x0401;
constexpr uint16_t SupBookAddIn = 0x3A01;
constexpr uint16_t SupBookOther = 0;
// First and last sheet of an entry that stands for no sheet.
constexpr uint16_t NoSheetEntry = 0xFFFE;

struct TExtSheet {
    uint32_t Book = 0;
    uint16_t First = 0;
    uint16_t Last = 0;
};

class TExtName {
public:
    enum TKind : uint8_t { enName = 0, enDDE = 1, enOLE = 2 };
    uint16_t Options = 0;
    std::vector<uint8_t> Reserved = std::vector<uint8_t>(4, 0); // the 4 bytes after the options
    std::vector<uint8_t> Name;                                  // flag byte and characters
    std::vector<uint8_t> Tokens;                                // enName only
    std::vector<uint8_t> Rest;                                  // DDE and OLE: what follows the name, as read

    TKind Kind() const { return Options < 2 ? enName : (Options & 0x0010) ? enOLE : enDDE; }
    std::u16string Text() const;
    std::vector<uint8_t> RecordBody() const;
};

struct TCRN {
    uint8_t FirstCol = 0;
    uint8_t LastCol = 0;
    uint16_t Row = 0;
    std::vector<uint8_t> Values;
};

struct TSupBookSheet {
    std::vector<uint8_t> Name; // flag byte and characters
    std::vector<TCRN> CRNs;
    bool XCT = false; // an XCT was read for it (written back even without CRNs)
    std::u16string Text() const;
};

struct TSupBook {
    uint32_t SheetCount = 0;
    uint16_t Kind = SupBookOther;
    std::vector<uint8_t> Path; // encoded path: flag byte and characters
    std::vector<TSupBookSheet> Sheets;
    std::vector<TExtName> Names;
};

class TExternalNames {
public:
    // Reading (BIFF8); each raises XLSError for a body its lengths do not fit.
    void ReadSupBook(std::span<const uint8_t> body);
    void ReadExternName(std::span<const uint8_t> body);
    // An XCT and the CRN records that follow it: the sheet index within the
    // last book read. Raise "No SUPBOOK for CRN" and "Invalid SUPBOOK Sheet Index".
    void ReadXCT(int sheet);
    void ReadCRN(int sheet, std::span<const uint8_t> body);
    void ReadExternSheet(std::span<const uint8_t> body);

    // Every own book takes the workbook's number of sheets before a write.
    void SetSelfSheetCount(int count);
    // SUPBOOK, its EXTERNNAMEs and XCT/CRN per book, then EXTERNSHEET.
    void WriteRecords(const TRecordSink& sink) const;
    bool Empty() const { return books.empty() && entries.empty(); }
    void Clear();

    int EntryCount() const { return int(entries.size()); }
    const TExtSheet& Entry(int index) const { return entries[size_t(index)]; }
    int BookCount() const { return int(books.size()); }
    const TSupBook& Book(int index) const { return books[size_t(index)]; }
    // The book of an entry, nullptr for an index out of range.
    const TSupBook* BookOf(int entry) const;

    // The entry for sheets first..last of this workbook (0xFFFE: none),
    // found or added.
    int GetSelfSheetIndex(int first, int last, int sheetCount);
    // The sheets of the workbook as they stand once its sheet at index sheet
    // is deleted: first..last (a range of sheets of an entry) without it;
    // false when none of them is left (then both are 0xFFFF, no sheet).
    // Entries of no sheet and of the names (0xFFFE) stay as they are.
    static bool SheetsWithout(uint16_t& first, uint16_t& last, int sheet);
    // The entries of the own book follow that deletion; gone tells which
    // named that sheet alone.
    void SelfSheetDeleted(int sheet, std::vector<bool>& gone);
    // The first sheet of an entry of the own book, -1 otherwise.
    int GetSelfSheet(int entry) const;
    // An entry of another book's sheet: found, or added with its book (an
    // empty path and the file "n" name link n of a package).
    int FindExternSheet(std::u16string_view path, std::u16string_view file, std::u16string_view sheet) const;
    int AddExternSheet(std::u16string_view path, std::u16string_view file, std::u16string_view sheet);
    // An external name of a book (an add-in when path and file are empty;
    // link n of a package for an empty path and the file "n"): its entry and
    // 1-based number, false when none.
    bool FindExternName(std::u16string_view path, std::u16string_view file, std::u16string_view name,
                        int& entry, int& number);
    // An external name of the add-in book (a function of the Analysis
    // ToolPak): found, or added with the book and an entry for it.
    void AddAddInName(std::u16string_view name, int& entry, int& number);
    // Text of a reference through entry: nameNumber >= 1 an external
    // name, else the sheet part of another book's reference ("'path[file]sheet'!").
    std::u16string GetExternSheetText(int entry, int nameNumber) const;
    // The cached value of an external name; raises the library's messages
    // for what has no value.
    void GetNameValue(int entry, int nameNumber, TFormulaValue& value) const;

    // The path text of a book as formulas write it.
    std::u16string DecodeSupBookPath(const TSupBook& book) const;

    // Another workbook a package links to (its n-th external link, n from 1,
    // "[n]" in formula text): appended as a book, with its sheets, names and
    // cached values.
    void AddLinkedBook(TSupBook book);
    // A link that is no other workbook (a DDE or OLE link) or does not read:
    // it counts, but names no book.
    void AddUnreadLink() { links.push_back(-1); }
    // The book of link n, -1 when there is none. A workbook not read from a
    // package numbers its other workbooks' books in order (those with a file
    // name and no DDE or OLE items).
    int LinkedBook(int n) const;
    // The link number of a book ("[n]"), 0 for one that is not another workbook.
    int LinkNumber(int book) const;

private:
    // The book an empty path and a file "n" name: link n; -1 when they name none.
    int BookOfLink(std::u16string_view path, std::u16string_view file) const;

    std::vector<TSupBook> books;
    std::vector<TExtSheet> entries;
    // Books of a package's external links, in the package's order.
    std::vector<int> links;
    bool sheetListRead = false; // an EXTERNSHEET, even an empty one, is written back
};

// The cached value of the cell at (row, col) of another workbook's sheet:
// the value of its own column in a CRN of several columns; #VALUE! when no
// CRN holds it.
void CRNValue(const TSupBookSheet& sheet, int row, int col, TFormulaValue& value);
// The next value of a CRN's values (a type byte and its data); false at
// their end. Raises XLSError for a value cut short.
bool NextCRNValue(TByteReader& r, TArrayValue& v);

// The path text of an encoded path (formula text) and its form for lookups.
std::u16string DecodeSupBookPath(std::u16string_view encoded, bool hasSheets);
std::u16string DecodeSupBookPathAlt(std::u16string_view encoded);

} // namespace xls

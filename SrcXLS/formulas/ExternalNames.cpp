#include "SrcXLS/formulas/ExternalNames.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FormulaValues.h"

#include <cstring>

namespace xls {

namespace {

using namespace externrec;

// A string with a u16 count, as SUPBOOK writes it: an empty one is the
// count alone.
void WriteCounted(TByteWriter& w, const std::vector<uint8_t>& flagged) {
    w.U16(uint16_t(BIFFStrCharCount(flagged)));
    if (BIFFStrCharCount(flagged) > 0) w.Bytes(flagged.data(), flagged.size());
}

} // namespace

std::u16string TExtName::Text() const {
    return BIFFStrText(Name);
}

std::vector<uint8_t> TExtName::RecordBody() const {
    std::vector<uint8_t> body;
    TByteWriter w(body);
    w.U16(Options);
    w.Bytes(Reserved.data(), 4);
    w.U8(uint8_t(BIFFStrCharCount(Name)));
    w.Bytes(Name.data(), Name.size());
    if (Kind() == enName) {
        w.U16(uint16_t(Tokens.size()));
        w.Bytes(Tokens.data(), Tokens.size());
    } else {
        w.Bytes(Rest.data(), Rest.size());
    }
    return body;
}

std::u16string TSupBookSheet::Text() const {
    return BIFFStrText(Name);
}

// ---------------------------------------------------------------------------
// Reading and writing

void TExternalNames::ReadSupBook(std::span<const uint8_t> body) {
    TByteReader r(body);
    TSupBook b;
    b.SheetCount = r.U16("SUPBOOK sheets");
    const uint16_t kind = r.U16("SUPBOOK");
    if (kind == SupBookSelf || kind == SupBookAddIn) {
        b.Kind = kind;
        books.push_back(std::move(b));
        return;
    }
    b.Path = ReadBIFFStr(r, kind, "SUPBOOK path");
    // The sheet names: never more than the record can hold.
    for (uint32_t i = 0; i < b.SheetCount && !r.AtEnd(); ++i) {
        const size_t n = r.U16("SUPBOOK sheet");
        TSupBookSheet s;
        s.Name = n ? ReadBIFFStr(r, n, "SUPBOOK sheet") : std::vector<uint8_t>{0};
        b.Sheets.push_back(std::move(s));
    }
    books.push_back(std::move(b));
}

void TExternalNames::ReadExternName(std::span<const uint8_t> body) {
    if (books.empty()) throw XLSError("No SUPBOOK for EXTERNNAME");
    TByteReader r(body);
    TExtName n;
    n.Options = r.U16("EXTERNNAME");
    auto reserved = r.Bytes(4, "EXTERNNAME");
    n.Reserved.assign(reserved.begin(), reserved.end());
    const size_t chars = r.U8("EXTERNNAME length");
    n.Name = ReadBIFFStr(r, chars, "EXTERNNAME text");
    if (n.Kind() == TExtName::enName) {
        if (r.Remaining() >= 2) {
            const size_t length = r.U16("EXTERNNAME formula");
            auto tokens = r.Bytes(std::min(length, r.Remaining()), "EXTERNNAME formula");
            n.Tokens.assign(tokens.begin(), tokens.end());
        }
    } else {
        auto rest = r.Bytes(r.Remaining());
        n.Rest.assign(rest.begin(), rest.end());
    }
    books.back().Names.push_back(std::move(n));
}

void TExternalNames::ReadXCT(int sheet) {
    if (books.empty()) throw XLSError("No SUPBOOK for CRN");
    TSupBook& b = books.back();
    if (sheet < 0 || size_t(sheet) >= b.Sheets.size()) throw XLSError("Invalid SUPBOOK Sheet Index");
    b.Sheets[size_t(sheet)].XCT = true;
}

void TExternalNames::ReadCRN(int sheet, std::span<const uint8_t> body) {
    ReadXCT(sheet);
    TSupBook& b = books.back();
    TByteReader r(body);
    TCRN c;
    c.LastCol = r.U8("CRN");
    c.FirstCol = r.U8("CRN");
    c.Row = r.U16("CRN");
    auto values = r.Bytes(r.Remaining());
    c.Values.assign(values.begin(), values.end());
    b.Sheets[size_t(sheet)].CRNs.push_back(std::move(c));
}

void TExternalNames::ReadExternSheet(std::span<const uint8_t> body) {
    TByteReader r(body);
    sheetListRead = true;
    const size_t count = r.U16("EXTERNSHEET count");
    r.Need(count * 6, "EXTERNSHEET entries");
    for (size_t i = 0; i < count; ++i) {
        TExtSheet e;
        e.Book = r.U16();
        e.First = r.U16();
        e.Last = r.U16();
        entries.push_back(e);
    }
}

void TExternalNames::SetSelfSheetCount(int count) {
    for (TSupBook& b : books)
        if (b.Kind == SupBookSelf) b.SheetCount = uint32_t(count);
}

void TExternalNames::WriteRecords(const TRecordSink& sink) const {
    std::vector<uint8_t> body;
    for (const TSupBook& b : books) {
        body.clear();
        TByteWriter w(body);
        w.U16(uint16_t(b.SheetCount));
        if (b.Kind != SupBookOther) {
            w.U16(b.Kind);
        } else {
            w.U16(uint16_t(BIFFStrCharCount(b.Path)));
            w.Bytes(b.Path.data(), b.Path.size());
            for (const TSupBookSheet& s : b.Sheets) WriteCounted(w, s.Name);
        }
        sink(SUPBOOK, body);
        for (const TExtName& n : b.Names) sink(EXTERNNAME, n.RecordBody());
        for (size_t s = 0; s < b.Sheets.size(); ++s) {
            const auto& crns = b.Sheets[s].CRNs;
            if (crns.empty() && !b.Sheets[s].XCT) continue;
            const uint8_t xct[4] = {uint8_t(crns.size()), uint8_t(crns.size() >> 8), uint8_t(s),
                                    uint8_t(s >> 8)};
            sink(XCT, xct);
            for (const TCRN& c : crns) {
                body.clear();
                TByteWriter cw(body);
                cw.U8(c.LastCol);
                cw.U8(c.FirstCol);
                cw.U16(c.Row);
                cw.Bytes(c.Values.data(), c.Values.size());
                sink(CRN, body);
            }
        }
    }
    if (entries.empty() && !sheetListRead) return;
    body.clear();
    TByteWriter w(body);
    w.U16(uint16_t(entries.size()));
    for (const TExtSheet& e : entries) {
        w.U16(uint16_t(e.Book));
        w.U16(e.First);
        w.U16(e.Last);
    }
    sink(EXTERNSHEET, body);
}

void TExternalNames::Clear() {
    books.clear();
    entries.clear();
    links.clear();
    sheetListRead = false;
}

// ---------------------------------------------------------------------------
// Formula services

const TSupBook* TExternalNames::BookOf(int entry) const {
    if (entry < 0 || size_t(entry) >= entries.size()) return nullptr;
    const uint32_t b = entries[size_t(entry)].Book;
    return b < books.size() ? &books[b] : nullptr;
}

int TExternalNames::GetSelfSheetIndex(int first, int last, int sheetCount) {
    int self = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
        const TExtSheet& e = entries[i];
        if (e.Book >= books.size() || books[e.Book].Kind != SupBookSelf) continue;
        if (e.First == first && e.Last == last) return int(i);
        if (self < 0) self = int(e.Book);
    }
    if (self < 0) {
        for (size_t b = 0; b < books.size() && self < 0; ++b)
            if (books[b].Kind == SupBookSelf) self = int(b);
    }
    if (self < 0) {
        TSupBook b;
        b.SheetCount = uint32_t(sheetCount);
        b.Kind = SupBookSelf;
        books.push_back(std::move(b));
        self = int(books.size()) - 1;
    }
    entries.push_back({uint32_t(self), uint16_t(first), uint16_t(last)});
    return int(entries.size()) - 1;
}

bool TExternalNames::SheetsWithout(uint16_t& first, uint16_t& last, int sheet) {
    if (first >= NoSheetEntry || last >= NoSheetEntry || first > last) return true;
    const int f = first > sheet ? first - 1 : first;
    const int l = last >= sheet ? last - 1 : last;
    if (f > l) {
        first = last = 0xFFFF;
        return false;
    }
    first = uint16_t(f);
    last = uint16_t(l);
    return true;
}

void TExternalNames::SelfSheetDeleted(int sheet, std::vector<bool>& gone) {
    gone.assign(entries.size(), false);
    for (size_t i = 0; i < entries.size(); ++i) {
        TExtSheet& e = entries[i];
        if (e.Book >= books.size() || books[e.Book].Kind != SupBookSelf) continue;
        gone[i] = !SheetsWithout(e.First, e.Last, sheet);
    }
}

int TExternalNames::GetSelfSheet(int entry) const {
    const TSupBook* b = BookOf(entry);
    if (!b || b->Kind != SupBookSelf) return -1;
    return entries[size_t(entry)].First;
}

std::u16string TExternalNames::DecodeSupBookPath(const TSupBook& book) const {
    return xls::DecodeSupBookPath(BIFFStrText(book.Path), !book.Sheets.empty());
}

int TExternalNames::BookOfLink(std::u16string_view path, std::u16string_view file) const {
    if (!path.empty() || file.empty() || file.size() > 6) return -1;
    int n = 0;
    for (char16_t c : file) {
        if (c < u'0' || c > u'9') return -1;
        n = n * 10 + (c - u'0');
    }
    return LinkedBook(n);
}

void TExternalNames::AddLinkedBook(TSupBook book) {
    book.Kind = SupBookOther;
    books.push_back(std::move(book));
    links.push_back(int(books.size()) - 1);
}

namespace {
// Another workbook a package can link to: a file name, names of cells (not
// DDE or OLE items).
bool Linkable(const TSupBook& book) {
    if (book.Kind != SupBookOther) return false;
    bool named = false;
    for (char16_t c : BIFFStrText(book.Path)) named = named || c >= 0x20;
    for (const TExtName& n : book.Names) named = named && n.Kind() == TExtName::enName;
    return named;
}
} // namespace

int TExternalNames::LinkedBook(int n) const {
    if (!links.empty()) return n >= 1 && size_t(n) <= links.size() ? links[size_t(n) - 1] : -1;
    for (size_t b = 0; b < books.size(); ++b)
        if (Linkable(books[b]) && --n == 0) return int(b);
    return -1;
}

int TExternalNames::LinkNumber(int book) const {
    if (book < 0 || size_t(book) >= books.size() || books[size_t(book)].Kind != SupBookOther) return 0;
    if (!links.empty()) {
        for (size_t n = 0; n < links.size(); ++n)
            if (links[n] == book) return int(n) + 1;
        return 0;
    }
    if (!Linkable(books[size_t(book)])) return 0;
    int n = 0;
    for (int b = 0; b <= book; ++b) n += Linkable(books[size_t(b)]);
    return n;
}

int TExternalNames::FindExternSheet(std::u16string_view path, std::u16string_view file,
                                    std::u16string_view sheet) const {
    const std::u16string wanted = std::u16string(path) + std::u16string(file);
    const int linked = BookOfLink(path, file);
    const TNoCaseEqual same;
    for (size_t i = 0; i < entries.size(); ++i) {
        const TSupBook* b = BookOf(int(i));
        if (!b || b->Kind != SupBookOther) continue;
        if (linked >= 0 ? int(entries[i].Book) != linked
                        : !same(DecodeSupBookPathAlt(BIFFStrText(b->Path)), wanted))
            continue;
        const uint16_t first = entries[i].First;
        if (first < b->Sheets.size() && entries[i].Last == first && same(b->Sheets[first].Text(), sheet))
            return int(i);
    }
    return -1;
}

int TExternalNames::AddExternSheet(std::u16string_view path, std::u16string_view file,
                                   std::u16string_view sheet) {
    if (const int found = FindExternSheet(path, file, sheet); found >= 0) return found;
    // A sheet of a book there is (a linked one by its number): an entry for
    // it, the book as it is.
    const int linked = BookOfLink(path, file);
    const std::u16string wanted = std::u16string(path) + std::u16string(file);
    for (size_t k = 0; k < books.size(); ++k) {
        const TSupBook& b = books[k];
        if (linked >= 0 ? int(k) != linked
                        : b.Kind != SupBookOther ||
                              !TNoCaseEqual()(DecodeSupBookPathAlt(BIFFStrText(b.Path)), wanted))
            continue;
        for (size_t s = 0; s < b.Sheets.size(); ++s)
            if (TNoCaseEqual()(b.Sheets[s].Text(), sheet)) {
                entries.push_back({uint32_t(k), uint16_t(s), uint16_t(s)});
                return int(entries.size()) - 1;
            }
    }
    if (linked >= 0) return -1;
    std::u16string dir(path);
    if (!dir.empty() && dir.back() == u'\\') dir.pop_back();
    TSupBook b;
    b.SheetCount = 1;
    // A file without a folder is its name alone: the folder mark would read as one.
    b.Path = WideStringToBIFFStr(dir.empty() ? std::u16string(file) : dir + u'\x03' + std::u16string(file));
    TSupBookSheet s;
    s.Name = WideStringToBIFFStr(sheet);
    b.Sheets.push_back(std::move(s));
    books.push_back(std::move(b));
    entries.push_back({uint32_t(books.size() - 1), 0, 0});
    return int(entries.size()) - 1;
}

bool TExternalNames::FindExternName(std::u16string_view path, std::u16string_view file,
                                    std::u16string_view name, int& entry, int& number) {
    const std::u16string wantedPath = std::u16string(path) + std::u16string(file);
    const TNoCaseEqual same;
    const bool addIn = path.empty() && file.empty();
    const int linked = BookOfLink(path, file);
    for (size_t b = 0; b < books.size(); ++b) {
        const TSupBook& book = books[b];
        if (addIn         ? book.Kind != SupBookAddIn
            : linked >= 0 ? int(b) != linked
                          : book.Kind != SupBookOther ||
                                !same(DecodeSupBookPathAlt(BIFFStrText(book.Path)), wantedPath))
            continue;
        for (size_t n = 0; n < book.Names.size(); ++n) {
            if (!same(book.Names[n].Text(), name)) continue;
            // Its entry: one that stands for the book as a whole.
            for (size_t e = 0; e < entries.size(); ++e)
                if (entries[e].Book == b && entries[e].First == NoSheetEntry) {
                    entry = int(e);
                    number = int(n) + 1;
                    return true;
                }
            entries.push_back({uint32_t(b), NoSheetEntry, NoSheetEntry});
            entry = int(entries.size()) - 1;
            number = int(n) + 1;
            return true;
        }
    }
    return false;
}

void TExternalNames::AddAddInName(std::u16string_view name, int& entry, int& number) {
    if (FindExternName({}, {}, name, entry, number)) return;
    size_t b = 0;
    while (b < books.size() && books[b].Kind != SupBookAddIn) ++b;
    if (b == books.size()) {
        TSupBook book;
        book.SheetCount = 1;
        book.Kind = SupBookAddIn;
        books.push_back(std::move(book));
    }
    TExtName n;
    n.Name = WideStringToBIFFStr(name);
    // The value of a function's name is #REF!.
    n.Tokens = {ptg::Err, ErrorIndexToCode(fe::Ref)};
    books[b].Names.push_back(std::move(n));
    FindExternName({}, {}, name, entry, number);
}

std::u16string TExternalNames::GetExternSheetText(int entry, int nameNumber) const {
    const TSupBook* b = BookOf(entry);
    if (!b) return u"#REF!";
    const std::u16string text = DecodeSupBookPath(*b);
    if (nameNumber >= 1) {
        if (size_t(nameNumber) > b->Names.size()) return u"#NAME?";
        return text + b->Names[size_t(nameNumber) - 1].Text();
    }
    const uint16_t first = entries[size_t(entry)].First;
    if (first >= b->Sheets.size()) return u"#REF!";
    const std::u16string sheet = text + b->Sheets[first].Text();
    // Quoted unless it is made of letters, digits, "_" and "." besides the brackets.
    bool plain = true;
    for (char16_t c : sheet)
        plain = plain && (c == u'[' || c == u']' || c == u'_' || c == u'.' || (c >= u'0' && c <= u'9') ||
                          (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 0x100);
    if (plain) return sheet + u"!";
    std::u16string out = u"'";
    for (char16_t c : sheet) {
        if (c == u'\'') out.push_back(u'\'');
        out.push_back(c);
    }
    return out + u"'!";
}

void TExternalNames::GetNameValue(int entry, int nameNumber, TFormulaValue& value) const {
    const TSupBook* b = BookOf(entry);
    if (!b) throw XLSError("Extrensheet index out of range.");
    const TExtSheet& e = entries[size_t(entry)];
    if (e.First <= 255 || e.Last <= 255) throw XLSError("Extern name is a reference.");
    if (nameNumber < 1 || size_t(nameNumber) > b->Names.size()) {
        SetFormulaValueError(value, 5);
        return;
    }
    const TExtName& n = b->Names[size_t(nameNumber) - 1];
    if (n.Kind() == TExtName::enDDE) throw XLSError("Can not access DDE values.");
    if (n.Kind() == TExtName::enOLE) throw XLSError("Can not access OLE values.");
    if (n.Tokens.size() < 7 || (n.Tokens[0] & 0x9F) != 0x1A) {
        SetFormulaValueString(value, n.Text());
        return;
    }
    // Excel writes the first and last sheet before the cell (9 bytes).
    const size_t cell = n.Tokens.size() >= 9 ? 5 : 3;
    const size_t sheet = GetU16(n.Tokens.data() + 1);
    const int row = GetU16(n.Tokens.data() + cell);
    const int col = GetU16(n.Tokens.data() + cell + 2) & 0x3FFF;
    if (sheet >= b->Sheets.size()) {
        SetFormulaValueError(value, 3);
        return;
    }
    CRNValue(b->Sheets[sheet], row, col, value);
}

bool NextCRNValue(TByteReader& r, TArrayValue& v) {
    if (r.AtEnd()) return false;
    v.Kind = TArrayValue::TKind(r.U8("CRN value"));
    switch (v.Kind) {
    case TArrayValue::avNumber:
        v.Number = r.F64("CRN value");
        break;
    case TArrayValue::avString: {
        const size_t n = r.U16("CRN value");
        const bool wide = r.U8("CRN value") & 1;
        auto bytes = r.Bytes(n * (wide ? 2 : 1), "CRN value");
        v.Text.clear();
        for (size_t i = 0; i < n; ++i)
            v.Text.push_back(wide ? char16_t(GetU16(bytes.data() + 2 * i)) : char16_t(bytes[i]));
        break;
    }
    case TArrayValue::avBoolean:
    case TArrayValue::avError:
        v.Code = r.U8("CRN value");
        r.Skip(7, "CRN value");
        break;
    default:
        r.Skip(8, "CRN value");
        break;
    }
    return true;
}

void CRNValue(const TSupBookSheet& sheet, int row, int col, TFormulaValue& value) {
    SetFormulaValueError(value, 3);
    for (const TCRN& c : sheet.CRNs) {
        if (c.Row != row || col < c.FirstCol || col > c.LastCol) continue;
        // The values of the columns before it are stepped over; values
        // shorter than their columns give none.
        TByteReader r(c.Values);
        TArrayValue v;
        try {
            for (int k = c.FirstCol; NextCRNValue(r, v); ++k) {
                if (k < col) continue;
                switch (v.Kind) {
                case TArrayValue::avNumber:
                    SetFormulaValueFloat(value, v.Number);
                    break;
                case TArrayValue::avString:
                    SetFormulaValueString(value, v.Text);
                    break;
                case TArrayValue::avBoolean:
                    SetFormulaValueBoolean(value, v.Code != 0);
                    break;
                case TArrayValue::avError:
                    SetFormulaValueError(value, ErrorCodeToIndex(v.Code) ? ErrorCodeToIndex(v.Code) : 3);
                    break;
                default:
                    break;
                }
                return;
            }
        } catch (const XLSError&) {
        }
        return;
    }
}

// ---------------------------------------------------------------------------
// Encoded paths

namespace {
std::u16string DecodePath(std::u16string_view s, bool formulaText, bool hasSheets) {
    std::u16string out;
    size_t i = 0;
    if (!s.empty() && (s[0] == 1 || s[0] == 2)) i = 1;
    // Where the file name starts: after the last directory mark.
    size_t fileAt = std::u16string::npos;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == 1 && i + 1 < s.size()) {
            if (s[i + 1] == u'@') {
                out += u"\\\\";
            } else {
                out.push_back(s[i + 1]);
                out += u":\\";
            }
            ++i;
        } else if (c == 2 || c == 3) {
            out.push_back(u'\\');
            fileAt = out.size();
        } else if (c == 4) {
            out += u"..\\";
        } else if (c >= 5 && c <= 8) {
            // Marks without text.
        } else {
            out.push_back(c);
        }
    }
    if (!formulaText) return out;
    if (!hasSheets) {
        if (fileAt != std::u16string::npos) out[fileAt - 1] = u'|';
        return out + u"!";
    }
    // A book with sheets: its file name in brackets, the directory before it.
    const size_t at = fileAt == std::u16string::npos ? 0 : fileAt;
    out.insert(at, 1, u'[');
    return out + u"]";
}
} // namespace

std::u16string DecodeSupBookPath(std::u16string_view encoded, bool hasSheets) {
    return DecodePath(encoded, true, hasSheets);
}

std::u16string DecodeSupBookPathAlt(std::u16string_view encoded) {
    return DecodePath(encoded, false, false);
}

} // namespace xls

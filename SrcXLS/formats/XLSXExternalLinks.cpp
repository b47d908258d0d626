#include "SrcXLS/formats/XLSXExternalLinks.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formats/XLSXml.h"
#include "SrcXLS/formulas/FormulaText.h"
#include "SrcXLS/formulas/FormulaTokens.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

namespace xls {

namespace {

// What a CRN record can address.
constexpr int MaxCachedCol = 255;
constexpr int MaxCachedRow = 65535;

// The marks of an encoded path.
constexpr char16_t PathEncoded = 1;
constexpr char16_t PathDrive = 1;
constexpr char16_t PathRoot = 2;
constexpr char16_t PathSeparator = 3;
constexpr char16_t PathParent = 4;

// A sheet name, a name's text: flag byte and characters.
std::vector<uint8_t> FlaggedText(std::u16string_view text) {
    return WideStringToBIFFStr(text.substr(0, 255));
}

// "=Sheet!$A$1", "[1]'My Sheet'!A1:B2" as the tokens of an external name,
// as Excel writes them: a 3-D reference or area whose first and last sheet
// are the book's own sheet indexes.
std::vector<uint8_t> NameTokens(std::u16string_view text, const TSupBook& book) {
    if (!text.empty() && text.front() == u'=') text.remove_prefix(1);
    if (!text.empty() && text.front() == u'[') {
        const size_t close = text.find(u']');
        if (close == text.npos) return {};
        text.remove_prefix(close + 1);
    }
    const size_t bang = text.rfind(u'!');
    if (bang == text.npos || bang == 0) return {};
    std::u16string sheet(text.substr(0, bang));
    if (sheet.size() >= 2 && sheet.front() == u'\'' && sheet.back() == u'\'') {
        std::u16string plain;
        for (size_t i = 1; i + 1 < sheet.size(); ++i) {
            plain.push_back(sheet[i]);
            if (sheet[i] == u'\'' && i + 2 < sheet.size() && sheet[i + 1] == u'\'') ++i;
        }
        sheet = plain;
    }
    int index = -1;
    for (size_t s = 0; s < book.Sheets.size() && index < 0; ++s)
        if (TNoCaseEqual()(book.Sheets[s].Text(), sheet)) index = int(s);
    if (index < 0) return {};
    const std::u16string_view ref = text.substr(bang + 1);
    auto field = [](int col, const TRefFlags& f) {
        return uint16_t(col | (f.AbsRow ? 0 : 0x8000) | (f.AbsCol ? 0 : 0x4000));
    };
    std::vector<uint8_t> tokens;
    TByteWriter w(tokens);
    int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
    TRefFlags f1, f2;
    const bool area = ref.find(u':') != ref.npos;
    if (area ? !AreaStrToColRow(ref, c1, r1, c2, r2, f1, f2)
             : !RefStrToColRow(ref, c1, r1, f1.AbsCol, f1.AbsRow))
        return {};
    if (!area) c2 = c1, r2 = r1;
    // A reference a binary workbook cannot hold would wrap.
    if (std::max(c1, c2) > MaxCachedCol || std::max(r1, r2) > MaxCachedRow) return {};
    w.U8(area ? ptg::Area3d : ptg::Ref3d);
    w.U16(uint16_t(index));
    w.U16(uint16_t(index));
    w.U16(uint16_t(r1));
    if (area) w.U16(uint16_t(r2));
    w.U16(field(c1, f1));
    if (area) w.U16(field(c2, f2));
    return tokens;
}

// The text of an external name's tokens, when they are one reference or
// area of the book's sheets (Excel's layout with first and last sheet, or
// one sheet field).
std::u16string NameText(const std::vector<uint8_t>& tokens, const TSupBook& book) {
    if (tokens.empty()) return {};
    const uint8_t base = ptg::BaseOf(tokens[0]);
    const bool area = base == ptg::Area3d;
    if (base != ptg::Ref3d && !area) return {};
    const size_t plain = area ? 11 : 7;
    const size_t at = tokens.size() == plain + 2 ? 5 : tokens.size() == plain ? 3 : 0;
    if (at == 0) return {};
    const size_t sheet = GetU16(tokens.data() + 1);
    if (sheet >= book.Sheets.size()) return {};
    auto corner = [](uint16_t row, uint16_t col) {
        return ColRowToRefStr(col & 0x3FFF, row, !(col & 0x4000), !(col & 0x8000));
    };
    const uint8_t* p = tokens.data() + at;
    const std::u16string ref =
        area ? corner(GetU16(p), GetU16(p + 4)) + u":" + corner(GetU16(p + 2), GetU16(p + 6))
             : corner(GetU16(p), GetU16(p + 2));
    return u"=" + QuoteSheetName(book.Sheets[sheet].Text()) + u"!" + ref;
}

// Names and formulas are read as they stand: characters XML 1.0 cannot
// carry (from binary files' texts) are replaced.
void AppendAttr(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendPackageUtf8(out, value);
    out += '"';
}

} // namespace

// ---------------------------------------------------------------------------
// Reading

void TExternalLinkReader::Read(std::string_view text, std::string_view partName, TSupBook& target,
                               std::string& relation) {
    book = &target;
    relationId = &relation;
    seenBook = false;
    ReadPartAndDrop(text, partName);
    if (!seenBook) throw XLSError("No external book in " + std::string(partName));
}

bool TExternalLinkReader::OnTag(int id, TExXMLTag& tag) {
    switch (id) {
    case etexternalBook:
        seenBook = true;
        *relationId = tag.GetTextUtf8(ear_id);
        return true;
    case etsheetName:
        if (!tag.Parent || tag.Parent->Id != etsheetNames) return false;
        // Sheets past the count a SUPBOOK can hold are left out.
        if (book->Sheets.size() < 0xFFFF) {
            TSupBookSheet s;
            s.Name = FlaggedText(tag.GetTextW(eaval));
            book->Sheets.push_back(std::move(s));
            book->SheetCount = uint32_t(book->Sheets.size());
        }
        return true;
    case etdefinedName:
        if (!tag.Parent || tag.Parent->Id != etdefinedNames) return false;
        ReadName(tag);
        return true;
    case etcell: {
        const TExXMLTag* row = tag.Parent;
        const TExXMLTag* data = row ? row->Parent : nullptr;
        if (!row || row->Id != etrow || !data || data->Id != etsheetData) return false;
        ReadCell(tag, int(data->GetInt(easheetId, -1)), int(row->GetInt(ear, 0)) - 1);
        return true;
    }
    case etrow:
        return tag.Parent && tag.Parent->Id == etsheetData;
    case etsheetData:
        if (tag.Parent && tag.Parent->Id == etsheetDataSet) {
            const int64_t sheet = tag.GetInt(easheetId, -1);
            if (sheet >= 0 && size_t(sheet) < book->Sheets.size()) book->Sheets[size_t(sheet)].XCT = true;
        }
        return true;
    default:
        return false;
    }
}

void TExternalLinkReader::ReadName(const TExXMLTag& tag) {
    if (book->Names.size() >= 0xFFFF) return;
    std::u16string name = tag.GetTextW(eaname);
    if (name.empty()) return;
    TExtName n;
    n.Name = FlaggedText(name);
    n.Tokens = NameTokens(XMLDecodeText(tag.RawNamed("refersTo")), *book);
    // A name local to a sheet of the book carries that sheet, counted from 1.
    const int64_t sheet = tag.GetInt(easheetId, -1);
    if (sheet >= 0 && size_t(sheet) < book->Sheets.size()) {
        n.Reserved[0] = uint8_t(sheet + 1);
        n.Reserved[1] = uint8_t((sheet + 1) >> 8);
    }
    book->Names.push_back(std::move(n));
}

void TExternalLinkReader::ReadCell(const TExXMLTag& cell, int sheet, int row) {
    if (sheet < 0 || size_t(sheet) >= book->Sheets.size()) return;
    int col = 0, cellRow = 0;
    const std::string_view ref = cell.GetText(ear);
    bool absCol, absRow;
    if (!RefStrToColRowEx(Utf8ToWide(ref), col, cellRow, absCol, absRow)) return;
    if (row >= 0 && cellRow != row) return;
    if (col > MaxCachedCol || cellRow > MaxCachedRow) return;
    const TExXMLTag* v = cell.FindChild(etv);
    if (!v) return;
    const std::string_view type = cell.GetText(eat, "n");
    std::vector<uint8_t> value;
    TByteWriter w(value);
    if (type == "n") {
        double number = 0;
        if (!ParseXMLFloat(v->Text, number)) return;
        uint64_t bits;
        std::memcpy(&bits, &number, 8);
        w.U8(TArrayValue::avNumber);
        w.U32(uint32_t(bits));
        w.U32(uint32_t(bits >> 32));
    } else if (type == "str" || type == "inlineStr") {
        const std::u16string text = v->GetTextDecoded().substr(0, 255);
        w.U8(TArrayValue::avString);
        w.U16(uint16_t(text.size()));
        w.U8(1);
        for (char16_t c : text) w.U16(c);
    } else if (type == "b") {
        w.U8(TArrayValue::avBoolean);
        w.U8(v->Text == "1" || v->Text == "true" ? 1 : 0);
        for (int i = 0; i < 7; ++i) w.U8(0);
    } else if (type == "e") {
        const int index = ErrorTextToIndex(v->GetTextDecoded(), true);
        if (index <= 0) return;
        w.U8(TArrayValue::avError);
        w.U8(ErrorIndexToCode(index));
        for (int i = 0; i < 7; ++i) w.U8(0);
    } else {
        return;
    }
    TCRN crn;
    crn.FirstCol = crn.LastCol = uint8_t(col);
    crn.Row = uint16_t(cellRow);
    crn.Values = std::move(value);
    TSupBookSheet& s = book->Sheets[size_t(sheet)];
    s.XCT = true;
    s.CRNs.push_back(std::move(crn));
}

// ---------------------------------------------------------------------------
// Paths

std::vector<uint8_t> EncodedPathOfTarget(std::string_view target) {
    std::u16string t = Utf8ToWide(target);
    std::u16string out(1, PathEncoded);
    constexpr std::u16string_view file = u"file:///";
    if (t.size() >= file.size() && TNoCaseEqual()(t.substr(0, file.size()), file))
        t.erase(0, file.size() - 1);
    // "/C:/dir", "C:\dir": a drive.
    if (t.size() >= 3 && t[0] == u'/' && t[2] == u':') t.erase(0, 1);
    if (t.size() >= 2 && t[1] == u':' && ((t[0] >= u'A' && t[0] <= u'Z') || (t[0] >= u'a' && t[0] <= u'z'))) {
        out += PathDrive;
        out += t[0];
        t.erase(0, 2);
        while (!t.empty() && (t[0] == u'/' || t[0] == u'\\')) t.erase(0, 1);
    } else if (!t.empty() && (t[0] == u'/' || t[0] == u'\\')) {
        out += PathRoot;
        t.erase(0, 1);
    }
    size_t from = 0;
    while (from <= t.size()) {
        size_t end = t.find_first_of(u"/\\", from);
        if (end == t.npos) end = t.size();
        const std::u16string_view part = std::u16string_view(t).substr(from, end - from);
        if (part == u"..")
            out += PathParent;
        else if (!part.empty() && part != u".")
            out += std::u16string(part) + (end < t.size() ? std::u16string(1, PathSeparator) : u"");
        from = end + 1;
    }
    return WideStringToBIFFStr(out);
}

std::string TargetOfEncodedPath(const std::vector<uint8_t>& encodedPath) {
    const std::u16string path = BIFFStrText(encodedPath);
    std::u16string out;
    size_t i = !path.empty() && (path[0] == 1 || path[0] == 2) ? 1 : 0;
    for (; i < path.size(); ++i) {
        const char16_t c = path[i];
        if (c == PathDrive && i + 1 < path.size()) {
            out += path[i + 1] == u'@' ? std::u16string(u"//")
                                       : u"file:///" + std::u16string(1, path[i + 1]) + u":/";
            ++i;
        } else if (c == PathRoot) {
            out += u"/";
        } else if (c == PathSeparator) {
            out += u"/";
        } else if (c == PathParent) {
            out += u"../";
        } else if (c >= 5 && c <= 8) {
            // Marks without text: folders of the program.
        } else {
            out.push_back(c);
        }
    }
    return WideToUtf8(out);
}

// ---------------------------------------------------------------------------
// Writing

std::string ExternalLinkPart(const TSupBook& book) {
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    out += "<externalLink xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<externalBook r:id=\"rId1\">";
    if (!book.Sheets.empty()) {
        out += "<sheetNames>";
        for (const TSupBookSheet& s : book.Sheets) {
            out += "<sheetName";
            AppendAttr(out, "val", WideToUtf8(s.Text()));
            out += "/>";
        }
        out += "</sheetNames>";
    }
    if (!book.Names.empty()) {
        out += "<definedNames>";
        for (const TExtName& n : book.Names) {
            out += "<definedName";
            AppendAttr(out, "name", WideToUtf8(n.Text()));
            const size_t local = GetU16(n.Reserved.data());
            if (local > 0 && local <= book.Sheets.size()) {
                out += " sheetId=\"";
                AppendXMLInt(out, int64_t(local) - 1);
                out += '"';
            }
            const std::u16string refersTo = NameText(n.Tokens, book);
            if (!refersTo.empty()) AppendAttr(out, "refersTo", WideToUtf8(refersTo));
            out += "/>";
        }
        out += "</definedNames>";
    }
    if (!book.Sheets.empty()) {
        out += "<sheetDataSet>";
        for (size_t s = 0; s < book.Sheets.size(); ++s) {
            // The cells in rows, each row's cells left to right.
            std::map<std::pair<int, int>, TArrayValue> cells;
            for (const TCRN& c : book.Sheets[s].CRNs) {
                TByteReader r(c.Values);
                TArrayValue v;
                try {
                    for (int col = c.FirstCol; col <= c.LastCol && NextCRNValue(r, v); ++col)
                        cells[{c.Row, col}] = v;
                } catch (const XLSError&) {
                    // Values shorter than their columns: what was there.
                }
            }
            out += "<sheetData sheetId=\"";
            AppendXMLInt(out, int64_t(s));
            out += '"';
            if (cells.empty()) {
                out += "/>";
                continue;
            }
            out += '>';
            int row = -1;
            for (const auto& [at, v] : cells) {
                if (v.Kind != TArrayValue::avNumber && v.Kind != TArrayValue::avString &&
                    v.Kind != TArrayValue::avBoolean && v.Kind != TArrayValue::avError)
                    continue;
                if (at.first != row) {
                    if (row >= 0) out += "</row>";
                    row = at.first;
                    out += "<row r=\"";
                    AppendXMLInt(out, int64_t(row) + 1);
                    out += "\">";
                }
                out += "<cell r=\"";
                out += WideToUtf8(ColRowToRefStr(at.second, at.first, false, false));
                out += '"';
                std::string value;
                if (v.Kind == TArrayValue::avNumber) {
                    if (!AppendXMLNumber(value, v.Number)) value = "0";
                } else if (v.Kind == TArrayValue::avString) {
                    out += " t=\"str\"";
                    value = PackageText(v.Text);
                } else if (v.Kind == TArrayValue::avBoolean) {
                    out += " t=\"b\"";
                    value = v.Code ? "1" : "0";
                } else {
                    out += " t=\"e\"";
                    value = WideToUtf8(ErrorCodeToText(v.Code));
                }
                out += "><v>";
                out += value;
                out += "</v></cell>";
            }
            if (row >= 0) out += "</row>";
            out += "</sheetData>";
        }
        out += "</sheetDataSet>";
    }
    out += "</externalBook></externalLink>";
    return out;
}

std::string ExternalLinkRelationships(const TSupBook& book) {
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    out += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\"";
    AppendAttr(out, "Type", ExternalLinkPathType);
    AppendAttr(out, "Target", TargetOfEncodedPath(book.Path));
    out += " TargetMode=\"External\"/></Relationships>";
    return out;
}

} // namespace xls

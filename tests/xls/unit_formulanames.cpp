// Defined names and external references: their records read and written
// byte for byte, the lookups the encoder and decoder make, and the values
// of external names from cached CRN records.
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/DefinedNames.h"
#include "SrcXLS/formulas/ExternalNames.h"
#include "SrcXLS/formulas/TokenRewriting.h"
#include "support_biffbuild.h"
#include "support_hex.h"

#include <gtest/gtest.h>

using namespace xls;
using biffbuild::Body;
using Bytes = std::vector<uint8_t>;

namespace {

struct TRecord {
    uint16_t Id;
    Bytes Body;
    bool operator==(const TRecord&) const = default;
};

void PrintTo(const TRecord& r, std::ostream* os) {
    *os << std::hex << r.Id << ":";
    for (uint8_t b : r.Body) *os << ' ' << int(b);
}

std::vector<TRecord> Written(const TExternalNames& e) {
    std::vector<TRecord> out;
    e.WriteRecords([&](uint16_t id, std::span<const uint8_t> body) {
        out.push_back({id, Bytes(body.begin(), body.end())});
    });
    return out;
}

std::string Message(const std::function<void()>& f) {
    try {
        f();
    } catch (const XLSError& e) {
        return e.what();
    }
    return "no error";
}

// A NAME body: options, name bytes (flag first), tokens, four texts.
Bytes NameBody(uint16_t options, Bytes name, Bytes tokens, uint16_t sheet = 0,
               std::u16string description = u"") {
    const size_t chars = name[0] == 1 ? (name.size() - 1) / 2 : name.size() - 1;
    Body b;
    b.U16(options).U8(0).U8(uint8_t(chars)).U16(uint16_t(tokens.size())).U16(0).U16(sheet);
    b.U8(0).U8(uint8_t(description.size())).U8(0).U8(0).Raw(name).Raw(tokens);
    if (!description.empty()) {
        b.U8(1);
        for (char16_t c : description) b.U16(c);
    }
    return b.b;
}

} // namespace

TEST(DefinedNames, RecordsReadAndWrittenByteForByte) {
    TInternalNames names;
    const Bytes builtIn = NameBody(0x0020, {0, 0x06}, {0x3B, 0, 0, 0, 0, 3, 0, 0, 0, 1, 0}, 1);
    const Bytes grouped = NameBody(0x0140 | noFunction, {0, 'F', 'n'}, {0x1C, 0x17});
    const Bytes wide = NameBody(0, {1, 0x1F, 0x04, 'x', 0}, {0x1E, 5, 0}, 0, u"note");
    for (const Bytes& b : {builtIn, grouped, wide}) names.ReadName(b);
    ASSERT_EQ(names.Count(), 3);
    EXPECT_EQ(names.Items(0).GetBuiltInCode(), 6);
    EXPECT_EQ(names.Items(0).GetName(), u"Print_Area");
    EXPECT_EQ(names.Items(0).SheetNumber, 1);
    EXPECT_EQ(names.Items(1).GetFunctionGroup(), 5);
    EXPECT_EQ(names.Items(1).GetBuiltInCode(), NoBuiltIn);
    EXPECT_EQ(names.Items(2).GetName(), u"\u041Fx");
    EXPECT_EQ(names.Items(2).Texts[1], u"note");
    std::vector<Bytes> out;
    names.WriteNames([&](uint16_t id, std::span<const uint8_t> body) {
        EXPECT_EQ(id, 0x0018);
        out.emplace_back(body.begin(), body.end());
    });
    EXPECT_EQ(out, (std::vector<Bytes>{builtIn, grouped, wide}));

    // Lengths that run past the record are refused.
    Bytes cut = grouped;
    cut.resize(cut.size() - 1);
    EXPECT_NE(Message([&] { names.ReadName(cut); }).find("beyond the end"), std::string::npos);
    Bytes longText = NameBody(0, {0, 'a'}, {}, 0, u"x");
    longText[11] = 9; // the description says 9 characters
    EXPECT_THROW(names.ReadName(longText), XLSError);
}

TEST(DefinedNames, TextsLookupsAndDeletion) {
    TInternalNames names;
    int deleted = -2, calls = 0;
    names.OnNameDeleted = [&](int position) {
        deleted = position;
        ++calls;
    };
    for (const char16_t* n : {u"One", u"Two", u"Three", u"Four", u"Five"}) names.Add().SetName(n);
    EXPECT_EQ(names.IndexOfName(u"tHREE"), 2);
    EXPECT_EQ(names.IndexOfName(u"Six"), -1);
    names.Delete(2);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(names.Items(2).GetName(), u"Four");
    EXPECT_EQ(names.Items(3).GetName(), u"Five");

    // The published built-in texts and codes both ways; other texts after
    // the prefix stay texts with the built-in flag.
    TInternalName& area = names.Add();
    area.SetName(u"_xlnm.Print_Area");
    EXPECT_EQ(area.GetBuiltInCode(), 6);
    EXPECT_TRUE(area.IsBuiltIn());
    TInternalName& other = names.Add();
    other.SetName(u"_xlnm.Custom");
    EXPECT_EQ(other.GetBuiltInCode(), NoBuiltIn);
    EXPECT_TRUE(other.IsBuiltIn());
    EXPECT_EQ(other.GetName(), u"Custom");
    EXPECT_EQ(BuiltInNameCode(u"_filterdatabase"), FilterDatabaseCode);
    EXPECT_EQ(Message([&] { other.SetName(u"_xlnm."); }), "Name is empty");
    EXPECT_EQ(Message([&] { other.SetName(std::u16string(256, u'n')); }), "Name is too long");
    EXPECT_EQ(other.GetName(), u"Custom");

    // A name local to a sheet comes before a global one of that text.
    TInternalNames scoped;
    scoped.Add().SetName(u"Rate");
    scoped.Add().SetName(u"Rate");
    scoped.Items(1).SheetNumber = 2;
    EXPECT_EQ(scoped.IndexOfName(u"rate", 1), 1);
    EXPECT_EQ(scoped.IndexOfName(u"rate", 0), 0);
    EXPECT_EQ(scoped.IndexOfName(u"rate"), 0);
    scoped.Items(0).SetBuiltInCode(FilterDatabaseCode);
    scoped.Items(0).SheetNumber = 3;
    EXPECT_EQ(scoped.FindBuiltInName(FilterDatabaseCode, 2), &scoped.Items(0));
    scoped.DeleteBuiltInName(FilterDatabaseCode, 3);
    EXPECT_EQ(scoped.Count(), 1);
}

TEST(ExternalNames, OwnSheetsOtherBooksAndTheirRecords) {
    TExternalNames e;
    EXPECT_TRUE(Written(e).empty()); // no entries: no EXTERNSHEET
    EXPECT_EQ(e.GetSelfSheetIndex(0, 0, 3), 0);
    EXPECT_EQ(e.GetSelfSheetIndex(2, 2, 3), 1);
    EXPECT_EQ(e.GetSelfSheetIndex(0, 0, 3), 0);
    EXPECT_EQ(e.GetSelfSheet(1), 2);
    const int other = e.AddExternSheet(u"C:\\dir\\", u"b.xls", u"Data");
    EXPECT_EQ(other, 2);
    EXPECT_EQ(e.AddExternSheet(u"c:\\DIR\\", u"B.XLS", u"data"), other); // found again
    EXPECT_EQ(e.GetSelfSheet(other), -1);
    EXPECT_EQ(e.GetExternSheetText(other, -1), u"'C:\\dir\\[b.xls]Data'!");
    e.SetSelfSheetCount(4);
    const Bytes path = Body()
                           .U16(12)
                           .U8(1)
                           .Raw({'C', 0, ':', 0, '\\', 0, 'd', 0, 'i', 0, 'r', 0,
                                 3,   0, 'b', 0, '.',  0, 'x', 0, 'l', 0, 's', 0})
                           .b;
    const std::vector<TRecord> want = {
        {0x01AE, Body().U16(4).U16(0x0401).b},
        {0x01AE, Body().U16(1).Raw(path).U16(4).U8(1).Raw({'D', 0, 'a', 0, 't', 0, 'a', 0}).b},
        {0x0017, Body().U16(3).U16(0).U16(0).U16(0).U16(0).U16(2).U16(2).U16(1).U16(0).U16(0).b},
    };
    EXPECT_EQ(Written(e), want);

    // Read back: the same records.
    TExternalNames back;
    back.ReadSupBook(want[0].Body);
    back.ReadSupBook(want[1].Body);
    back.ReadExternSheet(want[2].Body);
    EXPECT_EQ(Written(back), want);
    EXPECT_EQ(back.FindExternSheet(u"C:\\dir\\", u"b.xls", u"DATA"), 2);

    // Paths as files write them: a drive, directories, the book in brackets.
    EXPECT_EQ(DecodeSupBookPath(u"\x01\x01"
                                u"Cdir\x03"
                                u"book.xls",
                                true),
              u"C:\\dir\\[book.xls]");
    EXPECT_EQ(DecodeSupBookPath(u"\x01"
                                u"book.xls",
                                true),
              u"[book.xls]");
    EXPECT_EQ(DecodeSupBookPath(u"\x01\x01@server\x03"
                                u"share\x03"
                                u"b.xls",
                                true),
              u"\\\\server\\share\\[b.xls]");
    EXPECT_EQ(DecodeSupBookPathAlt(u"\x01\x04"
                                   u"up\x03"
                                   u"b.xls"),
              u"..\\up\\b.xls");
}

TEST(ExternalNames, BadRecordsAndCachedValues) {
    TExternalNames e;
    EXPECT_EQ(Message([&] { e.ReadCRN(0, Bytes(4, 0)); }), "No SUPBOOK for CRN");
    // Another book with one sheet, an external name pointing at C2 of it,
    // and a CRN over columns B..D of row 2.
    e.ReadSupBook(Body().U16(1).U16(2).U8(0).Raw({'b', 'k'}).U16(1).U8(0).Raw({'S'}).b);
    EXPECT_EQ(Message([&] { e.ReadCRN(1, Bytes(4, 0)); }), "Invalid SUPBOOK Sheet Index");
    e.ReadExternName(Body().U16(0).U32(0).U8(1).U8(0).Raw({'N'}).U16(7).Raw({0x3A, 0, 0, 1, 0, 2, 0}).b);
    e.ReadExternName(Body().U16(0).U32(0).U8(1).U8(0).Raw({'M'}).U16(7).Raw({0x3A, 0, 0, 9, 0, 2, 0}).b);
    Body crn;
    crn.U8(3).U8(1).U16(1);
    crn.U8(0x02).U16(2).U8(0).Raw({'h', 'i'}); // B2 "hi"
    crn.U8(0x01).F64(4.5);                     // C2 4.5
    crn.U8(0x04).U8(1).Raw(Bytes(7, 0));       // D2 TRUE
    e.ReadCRN(0, crn.b);
    e.ReadExternSheet(Body().U16(1).U16(0).U16(0xFFFE).U16(0xFFFE).b);
    TFormulaValue v;
    e.GetNameValue(0, 1, v);
    EXPECT_EQ(v.ValType, fvFloat); // the value of column C, not the first of the CRN
    EXPECT_EQ(v.Float, 4.5);
    e.GetNameValue(0, 2, v); // no CRN for row 10
    EXPECT_EQ(v.ValType, fvError);
    EXPECT_EQ(v.Error, 3);
    EXPECT_EQ(Message([&] { e.GetNameValue(5, 1, v); }), "Extrensheet index out of range.");
    EXPECT_EQ(e.GetExternSheetText(0, 1), u"[bk]N");
    EXPECT_EQ(e.GetExternSheetText(0, 9), u"#NAME?");
    EXPECT_EQ(e.GetExternSheetText(7, -1), u"#REF!");
    // An XCT with its CRNs and an EXTERNNAME come back as read.
    const auto records = Written(e);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[3], (TRecord{0x0059, Body().U16(1).U16(0).b}));
    EXPECT_EQ(records[4], (TRecord{0x005A, crn.b}));

    EXPECT_THROW(e.ReadExternSheet(Body().U16(3).U16(0).b), XLSError);
    EXPECT_THROW(e.ReadSupBook(Body().U16(1).U16(9).U8(0).Raw({'x'}).b), XLSError);
}

// A deleted name: tokens that name it become #NAME?, those naming later
// names count one less, and the jumps of IF and CHOOSE and the sizes of
// memory tokens over a shortened token still land on the same tokens.
TEST(DefinedNames, DeletedNameInTokens) {
    struct TCase {
        const char* What;
        std::string Before;
        int Deleted;
        std::string After; // "" when nothing changes
    };
    // IF(A1,Gone+1,Later) with Gone #2 and Later #3 as a spreadsheet program writes it.
    const std::string ifTokens = "44 00 00 00 c0 19 02 0d 00 43 02 00 00 00 1e 01 00 03 19 08 0c 00 "
                                 "43 03 00 00 00 19 08 03 00 42 03 01 00";
    const std::string chooseTokens =
        "44 00 00 00 c0 19 04 02 00 06 00 0f 00 18 00 43 02 00 00 00 19 08 0c 00 "
        "43 03 00 00 00 19 08 03 00 42 03 64 00";
    const TCase cases[] = {
        {"deleted in the true branch", ifTokens, 2,
         "44 00 00 00 c0 19 02 0a 00 1c 1d 1e 01 00 03 19 08 0c 00 43 02 00 00 00 19 08 03 00 42 03 01 00"},
        {"deleted in the false branch", ifTokens, 3,
         "44 00 00 00 c0 19 02 0d 00 43 02 00 00 00 1e 01 00 03 19 08 09 00 1c 1d 19 08 03 00 42 03 01 00"},
        {"an earlier name deleted", ifTokens, 1,
         "44 00 00 00 c0 19 02 0d 00 43 01 00 00 00 1e 01 00 03 19 08 0c 00 43 02 00 00 00 19 08 03 00 42 03 "
         "01 00"},
        {"a later name deleted", ifTokens, 4, ""},
        {"first choice", chooseTokens, 2,
         "44 00 00 00 c0 19 04 02 00 06 00 0c 00 15 00 1c 1d 19 08 0c 00 43 02 00 00 00 19 08 03 00 42 03 64 "
         "00"},
        {"memory token over it, array data kept", "29 05 00 43 02 00 00 00 20 00 00 00 00 00 00 00|01 00 00",
         2, "29 02 00 1c 1d 20 00 00 00 00 00 00 00|01 00 00"},
        {"own book's tNameX renumbered, another book's kept", "59 00 00 03 00 00 00 59 01 00 03 00 00 00 03",
         2, "59 00 00 02 00 00 00 59 01 00 03 00 00 00 03"},
        {"own book's tNameX deleted", "59 00 00 02 00 00 00 1e 01 00 03", 2, "1c 1d 1e 01 00 03"},
        {"2007 layout", "fe 43 02 00 00 00 43 05 00 00 00 03", 2, "fe 1c 1d 43 04 00 00 00 03"},
        {"a stream that cannot be walked stays", "43 02 00 00 00 ff", 2, ""},
    };
    for (const TCase& c : cases) {
        const auto split = [](const std::string& s, Bytes& data, size_t& length) {
            const size_t bar = s.find('|');
            data = FromHex(s.substr(0, bar));
            length = data.size();
            if (bar != s.npos) {
                const Bytes extra = FromHex(s.substr(bar + 1));
                data.insert(data.end(), extra.begin(), extra.end());
            }
        };
        Bytes data, want;
        size_t length = 0, wantLength = 0;
        split(c.Before, data, length);
        split(c.After.empty() ? c.Before : c.After, want, wantLength);
        const bool changed = RenumberNames(data, length, c.Deleted, [](int entry) { return entry == 0; });
        EXPECT_EQ(changed, !c.After.empty()) << c.What;
        EXPECT_EQ(data, want) << c.What;
        EXPECT_EQ(length, wantLength) << c.What;
    }
}

TEST(DefinedNames, BadNameRecordsAreRefused) {
    const Bytes good = NameBody(0, {0, 'a', 'b'}, {0x1E, 5, 0}, 0, u"note");
    struct TCase {
        const char* What;
        size_t Offset; // a byte set to Value; past the body: the body cut there
        uint8_t Value;
    };
    const TCase cases[] = {
        {"name length past the body", 3, 200},
        {"token length past the body", 4, 90},
        {"text length past the body", 11, 60},
        {"header cut", 9, 0},
        {"name cut", 15, 0},
    };
    for (const TCase& c : cases) {
        Bytes body = good;
        if (c.Value)
            body[c.Offset] = c.Value;
        else
            body.resize(c.Offset);
        TInternalNames names;
        EXPECT_THROW(names.ReadName(body), XLSError) << c.What;
        EXPECT_EQ(names.Count(), 0) << c.What;
    }
}

// The NAME records of the older versions: BIFF2 with byte lengths, BIFF3
// and BIFF4 with the option word and no sheet, BIFF5 with the BIFF8 fields
// and 8-bit texts in the file's code page; tokens stay in the file's layout
// for the reader to convert; a built-in name holds its code.
TEST(DefinedNames, OlderNameRecords) {
    struct TCase {
        const char* What;
        TExcelVersion Version;
        Bytes Body;
        std::u16string Name;
        uint16_t Options, Sheet;
        std::string Tokens; // tokens and what follows them
        size_t TokenLength;
        std::u16string Description;
    };
    const TCase cases[] = {
        {"BIFF2", TExcelVersion::xvExcel21, FromHex("00 22 34 04 03 52 61 74 65 1e 07 00 03"), u"Rate", 0, 0,
         "1e 07 00 03", 3, u""},
        {"BIFF3 built-in", TExcelVersion::xvExcel30, FromHex("20 00 00 01 07 00 06 2d 00 00 a2 00 00 0b"),
         u"Print_Area", 0x20, 0, "2d 00 00 a2 00 00 0b", 7, u""},
        {"BIFF4 hidden", TExcelVersion::xvExcel40, FromHex("01 00 00 02 03 00 ca e0 1e 05 00"), u"Ка", 1, 0,
         "1e 05 00", 3, u""},
        {"BIFF5 local with a description", TExcelVersion::xvExcel50,
         FromHex("00 00 00 03 03 00 00 00 02 00 00 02 00 00 e4 e0 ed 1e 05 00 ee ea"), u"дан", 0, 2,
         "1e 05 00 ee ea", 3, u"ок"},
        {"BIFF5 function without a formula", TExcelVersion::xvExcel50,
         FromHex("0f 00 00 02 00 00 00 00 00 00 00 00 00 00 4e 46"), u"NF", 0x0F, 0, "", 0, u""},
    };
    for (const TCase& c : cases) {
        TInternalNames names;
        Bytes tokens;
        size_t length = 99;
        const TInternalName& n = names.ReadOldName(c.Body, c.Version, 1251, tokens, length);
        EXPECT_EQ(names.Count(), 1) << c.What;
        EXPECT_EQ(n.GetName(), c.Name) << c.What;
        EXPECT_EQ(n.Options, c.Options) << c.What;
        EXPECT_EQ(n.SheetNumber, c.Sheet) << c.What;
        EXPECT_EQ(tokens, FromHex(c.Tokens)) << c.What;
        EXPECT_EQ(length, c.TokenLength) << c.What;
        EXPECT_EQ(n.Texts[1], c.Description) << c.What;
        EXPECT_TRUE(n.Loaded && n.Data.empty()) << c.What;
    }
    // Lengths past the body are refused and add no name.
    for (const auto& [version, hex] :
         {std::pair{TExcelVersion::xvExcel50, "00 00 00 09 00 00 00 00 00 00 00"},
          std::pair{TExcelVersion::xvExcel40, "00 00 00 01 09 00 41"},
          std::pair{TExcelVersion::xvExcel21, "00 00 00 05 00 41"}}) {
        TInternalNames names;
        Bytes tokens;
        size_t length = 0;
        EXPECT_THROW(names.ReadOldName(FromHex(hex), version, 1251, tokens, length), XLSError) << hex;
        EXPECT_EQ(names.Count(), 0);
    }
}

// The names of a single-sheet file name its sheet: each reference becomes
// a 3-D one through the sheet's EXTERNSHEET entry, in its class, and the
// jumps and sizes over it grow.
TEST(DefinedNames, ReferencesOfASingleSheetFileMadeThreeD) {
    const struct {
        const char* What;
        std::string Before, After; // After "" when nothing changes
    } cases[] = {
        {"an area", "25 00 00 a2 00 00 00 0b 00", "3b 02 00 00 00 a2 00 00 00 0b 00"},
        {"a value reference and a #REF! of the array class", "44 04 00 01 c0 6a 00 00 00 00 03",
         "5a 02 00 04 00 01 c0 7c 02 00 00 00 00 00 03"},
        {"IF jumping over a reference", "1d 01 19 02 09 00 44 00 00 00 c0 19 08 03 00 1e 01 00 42 03 01 00",
         "1d 01 19 02 0b 00 5a 02 00 00 00 00 c0 19 08 03 00 1e 01 00 42 03 01 00"},
        {"a memory token over an area", "29 09 00 25 00 00 01 00 00 00 01 00 10",
         "29 0b 00 3b 02 00 00 00 01 00 00 00 01 00 10"},
        {"no reference", "1e 01 00", ""},
        {"a stream that cannot be walked stays", "44 00 00 00 c0 ff", ""},
    };
    for (const auto& c : cases) {
        Bytes data = FromHex(c.Before);
        size_t length = data.size();
        const bool changed = QualifyReferences(data, length, 2);
        EXPECT_EQ(changed, !c.After.empty()) << c.What;
        EXPECT_EQ(data, FromHex(c.After.empty() ? c.Before : c.After)) << c.What;
        EXPECT_EQ(length, data.size()) << c.What;
    }
}

// Formula tokens and text: the token walker and the function table, the
// decoder and the encoder, checked on exact token bytes and on round trips.
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaDecoder.h"
#include "SrcXLS/formulas/FormulaEncoder.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FunctionTable.h"
#include "SrcXLS/formulas/LaterFunctions.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace xls;
using Bytes = std::vector<uint8_t>;

namespace {

std::string Utf8(const std::u16string& s) {
    return WideToUtf8(s);
}

Bytes Num(double v) {
    Bytes b(9, ptg::Num);
    std::memcpy(b.data() + 1, &v, 8);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Names and sheets of a small workbook: sheets "Sheet1", "My Sheet",
// "2019" (by BIFF5 sheet number "Sheet1", "Sheet B", "Data"); defined names
// "Rate" (1) and "Total" (2); the add-in function EDATE as external name 1
// of EXTERNSHEET entry 0.
class TBookNames : public TFormulaNameSource, public TFormulaNameResolver {
public:
    std::u16string DefinedName(int number) override {
        return number == 1 ? u"Rate" : number == 2 ? u"Total" : u"#NAME?";
    }
    std::u16string ExternSheet(int index) override {
        static const char16_t* sheets[] = {u"Sheet1", u"My Sheet", u"2019"};
        return index >= 0 && index < 3 ? QuoteSheetName(sheets[index]) + u"!" : u"#REF!!";
    }
    std::u16string ExternName(int index, int number) override {
        return index == 0 && number == 1 ? u"EDATE" : u"#NAME?";
    }
    std::u16string SheetName(int sheet) override {
        return sheet == 0 ? u"Sheet1" : sheet == 2 ? u"Data" : u"Sheet B";
    }

    int DefinedNameIndex(std::u16string_view name, std::u16string_view) override {
        const std::u16string upper = UpperCaseWide(name);
        return upper == u"RATE" ? 0 : upper == u"TOTAL" ? 1 : -1;
    }
    int ExternSheetIndex(std::u16string_view path, std::u16string_view file, std::u16string_view sheet,
                         int& sheetIndex) override {
        if (!path.empty() || !file.empty()) return -1;
        const std::u16string upper = UpperCaseWide(sheet);
        sheetIndex = upper == u"SHEET1" ? 0 : upper == u"MY SHEET" ? 1 : upper == u"2019" ? 2 : -1;
        return sheetIndex;
    }
    bool ExternName(std::u16string_view, std::u16string_view, std::u16string_view name, int& externIndex,
                    int& number) override {
        if (UpperCaseWide(name) != u"EDATE") return false;
        externIndex = 0;
        number = 1;
        return true;
    }
};

TBookNames book;

std::string Decode(const Bytes& data, size_t tokens, TExcelVersion v = TExcelVersion::xvExcel97,
                   TFormulaSyntax syntax = TFormulaSyntax::File(), int row = -1, int col = -1) {
    TDecodeContext c;
    c.Version = v;
    c.Syntax = syntax;
    c.Names = &book;
    c.Row = row;
    c.Col = col;
    return Utf8(DecodeFormula(data, tokens, c));
}
std::string Decode(const Bytes& tokens, TExcelVersion v = TExcelVersion::xvExcel97) {
    return Decode(tokens, tokens.size(), v);
}

TEncodedFormula Encode(std::u16string_view text, TEncodeMode mode = TEncodeMode::emBIFF8,
                       TFormulaSyntax syntax = TFormulaSyntax::File()) {
    TEncodeOptions o;
    o.Mode = mode;
    o.Syntax = syntax;
    o.Names = &book;
    return EncodeFormula(text, o);
}
Bytes Tokens(std::u16string_view text, TEncodeMode mode = TEncodeMode::emBIFF8) {
    return Encode(text, mode).Data;
}
std::string EncodeError(std::u16string_view text, TEncodeMode mode = TEncodeMode::emBIFF8) {
    try {
        Encode(text, mode);
    } catch (const XLSError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

// ---------------------------------------------------------------------------
// Walker and table

TEST(FormulaTokenWalker, SizesOfEveryFamilyInTheThreeLayouts) {
    struct Case {
        Bytes Token;
        TTokenLayout Layout;
        size_t Size;
    };
    const Case cases[] = {
        {{0x01, 1, 0, 2, 0}, TTokenLayout::BIFF8, 5},                    // tExp
        {{0x03}, TTokenLayout::BIFF8, 1},                                // tAdd
        {{0x17, 2, 1, 'a', 0, 'b', 0}, TTokenLayout::BIFF8, 7},          // wide tStr
        {{0x17, 2, 0, 'a', 'b'}, TTokenLayout::BIFF8, 5},                // 8-bit tStr
        {{0x17, 2, 'a', 'b'}, TTokenLayout::BIFF5, 4},                   // BIFF5 tStr
        {{0x19, 0x04, 2, 0, 0, 0, 0, 0, 0, 0}, TTokenLayout::BIFF8, 10}, // tAttrChoose, 2 + 1 offsets
        {{0x19, 0x40, 0, 1}, TTokenLayout::BIFF8, 4},                    // tAttrSpace
        {{0x1F, 0, 0, 0, 0, 0, 0, 0, 0}, TTokenLayout::BIFF8, 9},        // tNum
        {{0x41, 4, 0}, TTokenLayout::BIFF8, 3},                          // tFunc
        {{0x42, 2, 4, 0}, TTokenLayout::BIFF8, 4},                       // tFuncVar
        {{0x43, 1, 0, 0, 0}, TTokenLayout::BIFF8, 5},                    // tName
        {Bytes(15, 0x23), TTokenLayout::BIFF5, 15},                      // BIFF5 tName
        {{0x44, 0, 0, 0, 0xC0}, TTokenLayout::BIFF8, 5},                 // tRef
        {{0x44, 0, 0, 0}, TTokenLayout::BIFF5, 4},                       // BIFF5 tRef
        {{0x44, 0, 0, 0, 0, 0, 0}, TTokenLayout::X2007, 7},              // 2007 tRef
        {Bytes(13, 0x25), TTokenLayout::X2007, 13},                      // 2007 tArea
        {Bytes(9, 0x2B), TTokenLayout::BIFF8, 9},                        // tAreaErr
        {Bytes(7, 0x6A), TTokenLayout::X2007, 7},                        // 2007 tRefErr, array class
        {Bytes(7, 0x3A), TTokenLayout::BIFF8, 7},                        // tRef3d
        {Bytes(18, 0x3A), TTokenLayout::BIFF5, 18},                      // BIFF5 tRef3d: 17 data bytes
        {Bytes(21, 0x5B), TTokenLayout::BIFF5, 21},                      // BIFF5 tArea3d
        {Bytes(15, 0x3D), TTokenLayout::X2007, 15},                      // 2007 tAreaErr3d
        {Bytes(7, 0x39), TTokenLayout::BIFF8, 7},                        // tNameX
        {{0x26, 0, 0, 0, 0, 0, 0}, TTokenLayout::BIFF8, 7}, // tMemArea with an empty sub-expression
        {{0x29, 0, 0}, TTokenLayout::BIFF8, 3},             // tMemFunc
        {{0x21, 4}, TTokenLayout::BIFF3, 2},                // BIFF3 tFunc: u8 number
    };
    for (const Case& c : cases) {
        TTokenWalker w(c.Token, c.Layout);
        TToken t;
        ASSERT_EQ(w.Next(t), TWalkStatus::Token) << int(c.Token[0]);
        EXPECT_EQ(t.Size, c.Size) << "token " << int(c.Token[0]) << " layout " << int(c.Layout);
        EXPECT_EQ(w.Next(t), TWalkStatus::End) << int(c.Token[0]);
    }
}

TEST(FormulaTokenWalker, BadStreamsStopWithoutReadingPastTheEnd) {
    struct Case {
        Bytes Stream;
        TWalkStatus Status;
    };
    const Case cases[] = {
        {{0x44, 0, 0}, TWalkStatus::Truncated},                   // tRef cut short
        {{0x17, 5, 1, 'a', 0}, TWalkStatus::Truncated},           // count past the end
        {{0x19, 0x04, 0xFF, 0xFF, 0, 0}, TWalkStatus::Truncated}, // choose table past the end
        {{0x26, 0, 0, 0, 0, 9, 0}, TWalkStatus::Truncated},       // sub-expression past the end
        {{0x0F}, TWalkStatus::Token},                             // tIsect is walked
        {{0x30}, TWalkStatus::Unknown},
        {{0x00}, TWalkStatus::Unknown},
        {{0x38, 0, 0}, TWalkStatus::Unknown},
    };
    for (const Case& c : cases) {
        TTokenWalker w(c.Stream, TTokenLayout::BIFF8);
        TToken t;
        EXPECT_EQ(w.Next(t), c.Status) << int(c.Stream[0]);
    }
    // The 2007 marker switches the layout of what follows; a file's tokens
    // may refuse it.
    const Bytes marked = {0xFE, 0x44, 0, 0, 0, 0, 0, 0, 0x1E, 1, 0};
    TTokenWalker w(marked, TTokenLayout::BIFF8);
    TToken t;
    ASSERT_EQ(w.Next(t), TWalkStatus::Token);
    EXPECT_EQ(t.Size, 7u);
    EXPECT_EQ(t.Layout, TTokenLayout::X2007);
    ASSERT_EQ(w.Next(t), TWalkStatus::Token);
    EXPECT_EQ(t.Id, ptg::Int);
    TTokenWalker strict(marked, TTokenLayout::BIFF8, false);
    EXPECT_EQ(strict.Next(t), TWalkStatus::Unknown);
}

TEST(FormulaTokenWalker, ArrayDataSizeCountsEveryConstant) {
    const Bytes tokens = {0x60, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0x11};
    const Bytes first = {1,    0, 0,                            // 2 columns, 1 row
                         0x01, 0, 0, 0, 0,   0,  0, 0xF0, 0x3F, // 1.0
                         0x02, 2, 0, 0, 'h', 'i'};              // "hi"
    const Bytes second = {0, 0, 0, 0x04, 1, 0, 0, 0, 0, 0, 0, 0};
    Bytes all = Cat({tokens, first, second});
    EXPECT_EQ(FormulaArrayDataSize(all, tokens.size()), first.size() + second.size());
    EXPECT_EQ(FormulaArrayDataSize(Bytes{0x1E, 1, 0}, 3), 0u);
    // Data shorter than its counts, and unknown tokens, are refused.
    Bytes cut = Cat({tokens, first});
    EXPECT_THROW(FormulaArrayDataSize(cut, tokens.size()), XLSError);
    try {
        FormulaArrayDataSize(Bytes{0x30}, 1);
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Unknown ptg[30] in Shared Formula");
    }
}

TEST(FunctionTable, HoldsTheBuiltInFunctions) {
    int variable = 0, refused = 0;
    for (int i = 0; i < ExcelFunctionCount; ++i) {
        const TExcelFunctions& f = ExcelFunction(i);
        variable += f.MaxArgs == VariableArgs;
        refused += f.Refused();
        EXPECT_EQ(FindExcelFunction(f.Name), i) << Utf8(f.Name);
    }
    EXPECT_EQ(variable, 64);
    EXPECT_EQ(refused, 124);
    struct Spot {
        std::u16string_view Name;
        int Number, Min, Max;
        std::vector<uint8_t> Classes;
    };
    const Spot spots[] = {
        {u"COUNT", 0, 1, 99, {0x20}},
        {u"IF", 1, 2, 3, {0x40, 0x40, 0x40}},
        {u"INDEX", 29, 1, 4, {0x20, 0x40, 0x40, 0x40}},
        {u"RATE", 60, 3, 5, {0x40, 0x40, 0x40, 0x40, 0x40, 0x40}},
        {u"ADDRESS", 219, 2, 99, {0x40, 0x40, 0x40, 0x40, 0x40}},
        {u"SUMIF", 345, 2, 99, {0x20, 0x40, 0x20}},
        {u"VLOOKUP", 102, 3, 99, {0x40, 0x20, 0x20, 0x40}},
        {u"SUMPRODUCT", 228, 1, 99, {0x60}},
        {u"PI", 19, 0, 0, {}},
        {u"GOTO", 53, 255, 255, {}},
        {u"202", 202, 255, 255, {}},
        {u"ERROR.TYPE", 261, 1, 1, {0x20}},
        {u"MID", 31, 3, 3, {0x40, 0x40, 0x40}},
        {u"DATEDIF", 351, 3, 3, {0x40, 0x40, 0x40}},
        {u"USDOLLAR", 204, 1, 2, {}},
        {u"FINDB", 205, 2, 3, {0x40}},
        {u"SEARCHB", 206, 2, 3, {0x40}},
        {u"REPLACEB", 207, 4, 4, {0x40, 0x40, 0x40, 0x40}},
        {u"LEFTB", 208, 1, 2, {0x40}},
        {u"RIGHTB", 209, 1, 2, {0x40}},
        {u"MIDB", 210, 3, 3, {0x40, 0x40, 0x40}},
        {u"LENB", 211, 1, 1, {0x40}},
        {u"ASC", 214, 1, 1, {}},
        {u"DBCS", 215, 1, 1, {}},
    };
    for (const Spot& s : spots) {
        const int i = FindExcelFunction(s.Name);
        ASSERT_EQ(i, s.Number) << Utf8(std::u16string(s.Name));
        const TExcelFunctions& f = ExcelFunction(i);
        EXPECT_EQ(f.MinArgs, s.Min) << s.Number;
        EXPECT_EQ(f.MaxArgs, s.Max) << s.Number;
        for (size_t k = 0; k < 6; ++k)
            EXPECT_EQ(f.Classes[k], k < s.Classes.size() ? s.Classes[k] : 0) << s.Number;
    }
    EXPECT_EQ(FindExcelFunction(u"sum"), -1);
    // Position 7 and later keep the last class given; none given: defaults.
    EXPECT_EQ(ArgumentClass(ExcelFunction(60), 8), 0x40);
    EXPECT_EQ(ArgumentClass(ExcelFunction(4), 30), 0x20);
    EXPECT_EQ(ArgumentClass(ExcelFunction(19), 0), 0);
}

TEST(LaterFunctions, PackageTextGivesThemTheirPrefix) {
    struct Case {
        std::string_view Text, Written;
    };
    const Case cases[] = {
        {"IFS(A1>1,1,TRUE,2)", "_xlfn.IFS(A1>1,1,TRUE,2)"},
        {"concat(\"a\",textjoin(\",\",TRUE,B1:B2))", "_xlfn.CONCAT(\"a\",_xlfn.TEXTJOIN(\",\",TRUE,B1:B2))"},
        {"SORT(A1:A3)+XLOOKUP(1,A1:A3,B1:B3)", "_xlfn._xlws.SORT(A1:A3)+_xlfn.XLOOKUP(1,A1:A3,B1:B3)"},
        {"_xlfn.IFS(1,2)+IFERROR(1,2)+NETWORKDAYS.INTL(1,9)",
         "_xlfn.IFS(1,2)+IFERROR(1,2)+NETWORKDAYS.INTL(1,9)"},
        // Texts, quoted sheets, table columns and other books' names stay.
        {"\"IFS(\"\"x\"\")\"&'IFS(1)'!A1", "\"IFS(\"\"x\"\")\"&'IFS(1)'!A1"},
        {"Goods[[#This Row],[IFS(]]+[1]!CONCAT(1)+Sheet1!IFS(2)",
         "Goods[[#This Row],[IFS(]]+[1]!CONCAT(1)+Sheet1!IFS(2)"},
        {"MYIFS(1)+IFS2(1)+SUM(A1)", "MYIFS(1)+IFS2(1)+SUM(A1)"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(WithLaterFunctionPrefixes(c.Text), c.Written) << c.Text;
    EXPECT_EQ(HiddenFunctionName(u"ifs"), u"_xlfn.IFS");
    EXPECT_EQ(HiddenFunctionName(u"iferror"), u"_xlfn.IFERROR");
    EXPECT_EQ(HiddenFunctionName(u"_xlfn.IFS"), u"");
    EXPECT_EQ(HiddenFunctionName(u"SUM"), u"");
}

// ---------------------------------------------------------------------------
// Decoder

TEST(FormulaDecoder, TextOfEveryTokenFamily) {
    const Bytes a1 = {0x44, 0, 0, 0, 0xC0};
    const Bytes b1 = {0x44, 0, 0, 1, 0xC0};
    struct Case {
        Bytes Tokens;
        std::string Text;
    };
    const Case cases[] = {
        {{0x1E, 1, 0, 0x1E, 2, 0, 0x03}, "1+2"},
        {{0x03}, "<Val missing>"},
        {Cat({a1, b1, {0x42, 2, 4, 0}}), "SUM(A1,B1)"},
        {Cat({Num(1.5)}), "1.5"},
        {Cat({Num(1e20), Num(-2.5e-7), {0x05}}), "1E+20*-2.5E-07"},
        {Cat({Num(0.1 + 0.2)}), "0.30000000000000004"}, // reads back the same
        {Cat({Num(2.9999999999999996)}), "2.9999999999999996"},
        {Cat({Num(123456789012345680000.0)}), "123456789012345680000"}, // its shortest digits
        {Cat({Num(1.2345678901234568e25)}), "1.2345678901234568E+25"},
        {Cat({Num(-1.2345678901234567e-8)}), "-1.2345678901234567E-08"},
        {{0x44, 2, 0, 0x1C, 0x80}, "$AC3"},             // row relative only
        {{0x25, 0, 0, 4, 0, 0, 0, 1, 0xC0}, "$A$1:B5"}, // mixed corners
        {{0x17, 5, 0, 'a', '"', 'b', 'c', 'd'}, "\"a\"\"bcd\""},
        {{0x1C, 0x2A, 0x1C, 0x07, 0x08}, "#N/A&#DIV/0!"},
        {{0x1D, 1, 0x1D, 0, 0x0B}, "TRUE=FALSE"},
        {Cat({a1, {0x13, 0x14}}), "-A1%"},
        {Cat({a1, {0x15}}), "(A1)"},
        {{0x16}, ""},
        {Cat({a1, {0x16, 0x1E, 1, 0, 0x42, 3, 1, 0}}), "IF(A1,,1)"},
        {Cat({{0x41, 19, 0, 0x1E, 2, 0, 0x05}}), "PI()*2"},
        {{0x17, 3, 0, 'a', 'b', 'c', 0x41, 0xD3, 0}, "LENB(\"abc\")"}, // as LibreOffice writes it
        {{0x17, 1, 0, 'a', 0x1E, 1, 0, 0x42, 2, 0xD0, 0}, "LEFTB(\"a\",1)"},
        {Cat({a1, {0x19, 0x10, 0, 0}}), "SUM(A1)"},            // tAttrSum
        {Cat({a1, {0x19, 0x40, 0, 3}, {0x12}}), "+A1"},        // spaces give no text
        {Cat({{0x23, 2, 0, 0, 0}}), "Total"},                  // tName
        {Cat({{0x3A, 1, 0, 4, 0, 2, 0xC0}}), "'My Sheet'!C5"}, // tRef3d
        {Cat({{0x3B, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0}}), "'2019'!$A$1:$A$2"},
        {Cat({{0x3C, 0, 0, 0, 0, 0, 0}}), "Sheet1!#REF!"},
        {{0x2A, 0, 0, 0, 0}, "#REF!"},
        {Cat({{0x39, 0, 0, 1, 0, 0, 0}, a1, {0x42, 2, 0xFF, 0}}), "EDATE(A1)"},
        {Cat({{0x17, 6, 0, 'M', 'Y', 'F', 'U', 'N', 'C', 0x1E, 1, 0, 0x42, 2, 0xFF, 0}}), "\"MYFUNC\"(1)"},
        {Cat({a1, b1, {0x10, 0x15, 0x42, 1, 4, 0}}), "SUM((A1,B1))"},
        {Cat({a1, b1, {0x11}}), "A1:B1"}, // tRange
        {{0x01, 4, 0, 2, 0}, "[Row=4 Col=2]"},
        {Cat({a1, b1, {0x0F}}), "A1 B1"},                    // intersection
        {Cat({a1, b1, {0x13, 0x0F}}), "A1 (-B1)"},           // not a subtraction
        {Cat({{0x16}, a1, {0x0F}}), "A1"},                   // no operand, no space
        {{0x02, 0, 0, 0, 0}, "Unknown ptg[02]"},             // a data table
        {{0x1E, 1, 0, 0x30, 0x1E, 2, 0}, "Unknown ptg[30]"}, // stops at the unknown token
        {{0x1E, 7, 0, 0x00, 0x1E, 2, 0}, "7"},               // 0x00 ends the formula
        {{0x44, 0, 0}, "Unknown ptg[44]"},                   // a cut token
        {{0x18, 0x15}, "(Unknown eptg[15])"},                // only the identifier is taken
        {Cat({{0x1E, 5, 0, 0x21, 0x90, 0x01}}), "?400?(5)"},
    };
    for (const Case& c : cases) EXPECT_EQ(Decode(c.Tokens), c.Text) << c.Text;
}

TEST(FormulaDecoder, SeparatorsBaseCellsAndLayouts) {
    const Bytes sum = {0x44, 0, 0, 0, 0xC0, 0x1F, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0x42, 2, 4, 0};
    TFormulaSyntax local;
    local.ListSeparator = u';';
    local.DecimalSeparator = u',';
    local.ArrayColSeparator = u'\\';
    EXPECT_EQ(Decode(sum, sum.size(), TExcelVersion::xvExcel97, local), "SUM(A1;1,5)");
    // Shown to the user in 15 significant digits, in files exactly.
    const Bytes third = {0x1F, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0xD5, 0x3F};
    EXPECT_EQ(Decode(third, third.size(), TExcelVersion::xvExcel97, TFormulaSyntax::Display({})),
              "0.333333333333333");
    EXPECT_EQ(Decode(third, third.size(), TExcelVersion::xvExcel97, TFormulaSyntax::File()),
              "0.3333333333333333");
    // tRefN row -1, column -1 from B2 is A1; tAreaN keeps absolute parts.
    EXPECT_EQ(Decode(Bytes{0x2C, 0xFF, 0xFF, 0xFF, 0xC0}, 5, TExcelVersion::xvExcel97, TFormulaSyntax::File(),
                     1, 1),
              "A1");
    EXPECT_EQ(Decode(Bytes{0x2D, 0, 0, 2, 0, 1, 0x80, 3, 0x00}, 9, TExcelVersion::xvExcel97,
                     TFormulaSyntax::File(), 9, 0),
              "$B10:$D$3");
    // The 2007 layout: the last cell, both parts absolute; and relative.
    EXPECT_EQ(Decode({0xFE, 0x24, 0xFF, 0xFF, 0x0F, 0x80, 0xFF, 0xBF}), "$XFD$1048576");
    EXPECT_EQ(Decode({0xFE, 0x25, 5, 0, 0, 0, 6, 0, 0, 0, 2, 0, 3, 0}), "C6:D7");
    EXPECT_EQ(Decode({0xFE, 0x3A, 1, 0, 1, 0, 0, 0, 0x00, 0x80}), "'My Sheet'!$A2");
    // BIFF5/7: flags in the row word, 8-bit strings, sheet numbers in 3-D tokens.
    EXPECT_EQ(Decode({0x44, 3, 0x80, 2, 0x17, 2, 'o', 'k', 0x08}, TExcelVersion::xvExcel50), "$C4&\"ok\"");
    Bytes ref3d(18, 0);
    ref3d[0] = 0x3A;
    ref3d[1] = ref3d[2] = 0xFF;   // this workbook
    ref3d[11] = 0, ref3d[13] = 1; // sheets 0 to 1
    ref3d[15] = 4, ref3d[16] = 0xC0, ref3d[17] = 1;
    EXPECT_EQ(Decode(ref3d, TExcelVersion::xvExcel50), "'Sheet1:Sheet B'!B5");
    // Names that need no quotes have none in a range either, as in BIFF8.
    ref3d[13] = 2;
    EXPECT_EQ(Decode(ref3d, TExcelVersion::xvExcel50), "Sheet1:Data!B5");
    ref3d[13] = 1;
    ref3d[11] = ref3d[12] = 0xFF;
    EXPECT_EQ(Decode(ref3d, TExcelVersion::xvExcel50), "[DELETED]!B5");
    // Array constants: one brace pair, columns and rows separated.
    const Bytes array = {0x60, 0, 0, 0, 0, 0, 0, 0,    1,    1,    0, // 2 x 2
                         0x01, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0x02, 1, 0, 0, 'x', 0x04, 1,
                         0,    0, 0, 0, 0, 0, 0, 0x10, 0x07, 0,    0, 0, 0, 0,   0,    0};
    EXPECT_EQ(Decode(array, 8), "{1,\"x\";TRUE,#DIV/0!}");
    EXPECT_EQ(Decode(array, 8, TExcelVersion::xvExcel97, local), "{1\\\"x\";TRUE\\#DIV/0!}");
    // Array data past the end or of a bad kind: a marker, no read past it.
    EXPECT_EQ(Decode(Bytes(array.begin(), array.end() - 3), 8),
              "Record too short: array element beyond the end");
    Bytes badKind = array;
    badKind[11] = 0x07;
    EXPECT_EQ(Decode(badKind, 8), "Bad element ID#7 in array");
}

TEST(FormulaDecoder, MissingArgumentsIsTheOneFailure) {
    try {
        Decode(Bytes{0x1E, 1, 0, 0x42, 3, 4, 0});
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Function arguments missing");
    }
    // A refused function asks for 255 arguments.
    EXPECT_THROW(Decode(Bytes{0x41, 53, 0}), XLSError);
}

// ---------------------------------------------------------------------------
// Encoder

TEST(FormulaEncoder, TokensOfTheTextForms) {
    struct Case {
        std::u16string_view Text;
        Bytes Tokens;
    };
    const Bytes a1 = {0x44, 0, 0, 0, 0xC0};
    const Case cases[] = {
        {u"1+2*3", {0x1E, 1, 0, 0x1E, 2, 0, 0x1E, 3, 0, 0x05, 0x03}},
        {u"2^3^2", {0x1E, 2, 0, 0x1E, 3, 0, 0x07, 0x1E, 2, 0, 0x07}},
        {u"-A1%", Cat({a1, {0x13, 0x14}})},
        {u"5%*2", {0x1E, 5, 0, 0x14, 0x1E, 2, 0, 0x05}},
        {u"65535", {0x1E, 0xFF, 0xFF}},
        {u"65536", Num(65536)},
        {u"1.5", Num(1.5)},
        {u"1.5E+3", {0x1E, 0xDC, 0x05}},
        {u"SUM(A1,B1)", {0x24, 0, 0, 0, 0xC0, 0x24, 0, 0, 1, 0xC0, 0x42, 2, 4, 0}},
        {u"SUM((A1,B1))", {0x24, 0, 0, 0, 0xC0, 0x24, 0, 0, 1, 0xC0, 0x10, 0x15, 0x42, 1, 4, 0}},
        {u"IF(A1,,1)", {0x44, 0, 0, 0, 0xC0, 0x16, 0x1E, 1, 0, 0x42, 3, 1, 0}},
        {u"IF(A1,1,)", {0x44, 0, 0, 0, 0xC0, 0x1E, 1, 0, 0x16, 0x42, 3, 1, 0}},
        {u"PI()*2", {0x41, 19, 0, 0x1E, 2, 0, 0x05}},
        {u"$B$2:c3", {0x45, 1, 0, 2, 0, 1, 0, 2, 0xC0}},
        {u"\"a\"\"b\"", {0x17, 3, 1, 'a', 0, '"', 0, 'b', 0}},
        {u"TRUE<>false", {0x1D, 1, 0x1D, 0, 0x0E}},
        {u"#N/A", {0x1C, 0x2A}},
        {u"Rate*2", {0x43, 1, 0, 0, 0, 0x1E, 2, 0, 0x05}},
        {u"'My Sheet'!C5", {0x5A, 1, 0, 4, 0, 2, 0xC0}},
        {u"Sheet1!A1:B2", {0x3B, 0, 0, 0, 0, 1, 0, 0, 0xC0, 1, 0xC0}},
        {u"Sheet1!#REF!", {0x5C, 0, 0, 0, 0, 0, 0}},
        {u"A:A", {0x45, 0, 0, 0xFF, 0xFF, 0, 0x40, 0, 0x40}},
        {u"2:3", {0x45, 1, 0, 2, 0, 0, 0x80, 0xFF, 0x80}},
        {u"A1:B2:C3", {0x45, 0, 0, 1, 0, 0, 0xC0, 1, 0xC0, 0x44, 2, 0, 2, 0xC0, 0x11}},
        {u"EDATE(A1,1)", {0x39, 0, 0, 1, 0, 0, 0, 0x44, 0, 0, 0, 0xC0, 0x1E, 1, 0, 0x42, 3, 0xFF, 0}},
        {u"1 + 2", {0x1E, 1, 0, 0x19, 0x40, 0, 1, 0x1E, 2, 0, 0x19, 0x40, 0, 1, 0x03}},
        {u"A1 + B1", {0x44, 0, 0, 0, 0xC0, 0x19, 0x40, 0, 1, 0x44, 0, 0, 1, 0xC0, 0x19, 0x40, 0, 1, 0x03}},
        {u"ERROR.TYPE(A1)", {0x24, 0, 0, 0, 0xC0, 0x41, 5, 1}},
        {u"A1:B2 B1", {0x45, 0, 0, 1, 0, 0, 0xC0, 1, 0xC0, 0x44, 0, 0, 1, 0xC0, 0x0F}},
        {u"MID(\"abc\",2,1)", {0x17, 3, 1, 'a', 0, 'b', 0, 'c', 0, 0x1E, 2, 0, 0x1E, 1, 0, 0x41, 31, 0}},
        {u"LENB(A1)", {0x44, 0, 0, 0, 0xC0, 0x41, 0xD3, 0}},
        {u"USDOLLAR(1)", {0x1E, 1, 0, 0x42, 1, 0xCC, 0}},
        {u"REPLACEB(A1,1,1,\"\")", {0x44, 0, 0, 0, 0xC0, 0x1E, 1, 0, 0x1E, 1, 0, 0x17, 0, 1, 0x41, 0xCF, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokens(c.Text), c.Tokens) << Utf8(std::u16string(c.Text));
}

TEST(FormulaEncoder, Layout2007AndArrays) {
    EXPECT_EQ(Tokens(u"A1", TEncodeMode::em2007), Bytes({0xFE, 0x44, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Tokens(u"$XFD$1048576", TEncodeMode::em2007),
              Bytes({0xFE, 0x44, 0xFF, 0xFF, 0x0F, 0x80, 0xFF, 0xBF}));
    // In the 2007 layout a function name stays a function, not a column.
    EXPECT_EQ(Tokens(u"LOG10(100)", TEncodeMode::em2007), Bytes({0xFE, 0x1E, 100, 0, 0x41, 23, 0}));
    EXPECT_NE(EncodeError(u"XFD1"), "no error"); // past column IV in BIFF8
    // Array constants: the values follow the tokens, outside their length.
    const TEncodedFormula f = Encode(u"SUM({1,2;3,\"x\"})");
    EXPECT_EQ(f.TokenLength, 12u);
    EXPECT_EQ(Decode(f.Data, f.TokenLength), "SUM({1,2;3,\"x\"})");
    EXPECT_EQ(FormulaArrayDataSize(f.Data, f.TokenLength), f.Data.size() - f.TokenLength);
}

TEST(FormulaEncoder, FailuresNameTheirReason) {
    struct Case {
        std::u16string_view Text;
        std::string Message;
    };
    const Case cases[] = {
        {u"ROUND(1)", "Error in formula ROUND(1)\rWrong number of arguments for function ROUND"},
        {u"IF(1,2,3,4)", "Error in formula IF(1,2,3,4)\rWrong number of arguments for function IF"},
        {u"SUM()", "Error in formula SUM()\rWrong number of arguments for function SUM"},
        {u"GOTO(A1)", "Error in formula GOTO(A1)\rInvalid function name GOTO"},
        {u"LENB(1,2)", "Error in formula LENB(1,2)\rWrong number of arguments for function LENB"},
        {u"FINDB(1)", "Error in formula FINDB(1)\rWrong number of arguments for function FINDB"},
        {u"NOSUCH(1)", "Error in formula NOSUCH(1)\rInvalid function name NOSUCH"},
        {u"   ", "Error in formula \rEmpty formula"},
        {u"1 2", "Error in formula 1 2\rInvalid symbol 2"},
        {u"1)", "Error in formula 1)\rInvalid symbol )"},
        {u"(1", "Error in formula (1\rMissmatching parantheses"},
        {u"SUM(1", "Error in formula SUM(1\rClosing paranthese missing in function"},
        {u"\"abc", "Error in formula \"abc\rMissing quote characther in string \"abc"},
        {u"Nobody+1", "Error in formula Nobody+1\rUnknown name Nobody"},
        {u"1.2.3", "Error in formula 1.2.3\rIllegal number"},
        {u"1;5", "Error in formula 1;5\rInvalid symbol ;5"},
        {u"'a*b'!A1", "Error in formula 'a*b'!A1\rIllegal character in string a*b"},
        {u"Other!A1", "Error in formula Other!A1\rInvalid 3D name Other"},
        {u"$", "Error in formula $\rInvalid name $"},
        {u"#BAD", "Error in formula #BAD\rInvalid constant #BAD"},
        {u".", "Illegal use of decimal separator"},
        {u"1}", "Error in formula"},
    };
    for (const Case& c : cases) EXPECT_EQ(EncodeError(c.Text), c.Message) << Utf8(std::u16string(c.Text));
    // A 256-character string is too long; 255 are fine.
    EXPECT_EQ(EncodeError(u"\"" + std::u16string(256, u'x') + u"\""),
              "Error in formula \"" + std::string(256, 'x') + "\"\rStrings can have max 255 characthers");
    EXPECT_EQ(Tokens(u"\"" + std::u16string(255, u'x') + u"\"").size(), 3u + 510u);
    // The caller's size bounds the tokens.
    TEncodeOptions small;
    small.MaxSize = 4;
    EXPECT_THROW(EncodeFormula(u"1+2", small), XLSError);
    // Deep nesting and long text end with the library's error, not the stack.
    const std::u16string deep = std::u16string(10000, u'(') + u"1" + std::u16string(10000, u')');
    EXPECT_EQ(EncodeError(deep).substr(0, 16), "Error in formula");
    std::u16string huge = u"1";
    while (huge.size() < (1u << 20)) huge += u"+1";
    EXPECT_EQ(EncodeError(huge), "Formula buffer overflow.");
    const std::string longNumber = EncodeError(std::u16string(1 << 20, u'1'));
    EXPECT_LT(longNumber.size(), 1100u);
    EXPECT_EQ(longNumber.substr(longNumber.size() - 18), "...\rIllegal number");
}

TEST(FormulaEncoder, DecodedTextEncodesToTheSameText) {
    const std::u16string_view texts[] = {
        u"1+2*3-4/5^6&\"t\"",
        u"(A1+$B$2)*C$3/$D4",
        u"IF(AND(A1>=1,B1<>\"x\"),SUM(A1:B9),-1)",
        u"IF(A1,1,)",
        u"ROUND(A1,2)%",
        u"VLOOKUP(A1,Sheet1!$A$1:$C$9,3,FALSE)",
        u"'My Sheet'!A1+'2019'!B2",
        u"Rate*Total",
        u"SUM({1,2,3;4,5,6})",
        u"#REF!+#DIV/0!",
        u"1E+20+0.3",
        u"SUM(A1:C3 B2:B9,(A1 B1))",
        u"COUNTIF(A:A,\">0\")+SUMIF(B1:B9,\"a\")",
        u"EDATE(A1,3)",
        u"INDEX(A1:C3,2,2):C3",
        u"\"say \"\"hi\"\"\"",
        u"-(-A1)",
        u"CONCATENATE(\"a\",,\"c\")",
    };
    for (std::u16string_view text : texts) {
        const TEncodedFormula f = Encode(text);
        EXPECT_EQ(Decode(f.Data, f.TokenLength), Utf8(std::u16string(text))) << Utf8(std::u16string(text));
        const TEncodedFormula g = Encode(text, TEncodeMode::em2007);
        EXPECT_EQ(Decode(g.Data, g.TokenLength), Utf8(std::u16string(text))) << Utf8(std::u16string(text));
    }
    // Display syntax in both directions.
    TFormulaSyntax local = TFormulaSyntax::Display(TXLSLocale{u',', u' ', u'.', u':', u';'});
    const TEncodedFormula f = Encode(u"SUM(1,5;{1\\2;3\\4})", TEncodeMode::emBIFF8, local);
    EXPECT_EQ(Decode(f.Data, f.TokenLength, TExcelVersion::xvExcel97, local), "SUM(1,5;{1\\2;3\\4})");
    EXPECT_EQ(Decode(f.Data, f.TokenLength), "SUM(1.5,{1,2;3,4})");
    // Open-document references.
    const TEncodedFormula odf = Encode(u"SUM([.A1:.B2];[$'My Sheet'.C3])", TEncodeMode::emOpenDocument,
                                       TFormulaSyntax{u';', u'.', u';', u'|'});
    EXPECT_EQ(Decode(odf.Data, odf.TokenLength), "SUM(A1:B2,'My Sheet'!C3)");
}

// The formula evaluator: operators, references, names and the built-in
// functions on a small workbook, the regional texts of FIXED and DOLLAR,
// cycles and deep chains, and the hand-over of other functions.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/model/Cell.h"
#include "platform/RegionalSettings.h"
#include "support_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

using namespace xls;

namespace {

platform::RegionalSettings UsSettings() {
    platform::RegionalSettings us;
    us.decimalSeparator = '.';
    us.thousandsSeparator = ",";
    us.currency = "$";
    us.currencyFormat = 0;
    us.negativeCurrencyFormat = 0;
    return us;
}

struct Regional {
    explicit Regional(const platform::RegionalSettings& rs) : saved(platform::Regional()) {
        platform::SetRegional(rs);
    }
    ~Regional() { platform::SetRegional(saved); }
    platform::RegionalSettings saved;
};

std::string Text(const TFormulaValue& v) {
    char buf[64];
    switch (v.ValType) {
    case fvFloat:
        std::snprintf(buf, sizeof buf, "%.15g", v.Float);
        return buf;
    case fvBoolean:
        return v.Boolean ? "TRUE" : "FALSE";
    case fvError:
        return WideToUtf8(ErrorFileText(v.Error));
    case fvString:
        return "\"" + WideToUtf8(v.Text) + "\"";
    case fvNull:
        return "empty";
    default:
        return "area";
    }
}

TEncodedFormula Encode(TTabrix4& book, std::u16string_view text) {
    TFormulaEncoding how;
    how.FileSyntax = true;
    how.Sheet = 0;
    return book.FormulaHandler().EncodeFormula(text, how);
}

void PutFormula(TTabrix4& book, int sheet, int col, int row, std::u16string_view text) {
    const TEncodedFormula f = Encode(book, text);
    book.GetSheet(sheet).PutFormula(ctNumberFormula, col, row, 15, int(f.TokenLength), f.Data, {});
}

void AddName(TTabrix4& book, std::u16string_view name, std::u16string_view text) {
    TInternalName& n = book.GetInternalNames().Add();
    n.SetName(name);
    const TEncodedFormula f = book.FormulaHandler().EncodeFormula(text, {.FileSyntax = true});
    n.Data = f.Data;
    n.TokenLength = uint16_t(f.TokenLength);
}

// Data: A1 1, A2 blank, A3 "x", A4 2; B1 -5, B2 -2; C1 TRUE; D1 #N/A;
// E1:E5 10..50 with F1:F5 "a".."e"; Two!A1 10; the name Rate = Data!$A$4.
struct Evaluator : FreshLibState {
    TTabrix4 book;
    void SetUp() override {
        FreshLibState::SetUp();
        TSheet& data = book.GetSheet(0);
        data.SetName(u"Data");
        data.SetAsFloat(0, 0, 1);
        data.SetAsString(0, 2, u"x");
        data.SetAsFloat(0, 3, 2);
        data.SetAsFloat(1, 0, -5);
        data.SetAsFloat(1, 1, -2);
        data.SetAsBoolean(2, 0, true);
        data.PutError(3, 0, 15, 7);
        for (int r = 0; r < 5; ++r) {
            data.SetAsFloat(4, r, 10.0 * (r + 1));
            data.SetAsString(5, r, std::u16string(1, char16_t(u'a' + r)));
        }
        book.Sheets().Add(0).SetName(u"Two");
        book.GetSheet(1).SetAsFloat(0, 0, 10);
        AddName(book, u"Rate", u"Data!$A$4");
    }
    // The value of a formula standing in H10 of Data.
    std::string Eval(std::u16string_view text) {
        const TEncodedFormula f = Encode(book, text);
        TFormulaValue v;
        book.MakeEvaluator()->EvaluateTokens(f.Data, f.TokenLength, TExcelVersion::xvExcel97, 0, 7, 9, v);
        return Text(v);
    }
};

struct TCase {
    const char16_t* Formula;
    const char* Value;
};

// Values as spreadsheet programs give them (gnumeric and LibreOffice agree).
const TCase Cases[] = {
    {u"1+TRUE", "2"},
    {u"2/0", "#DIV/0!"},
    {u"5%", "0.05"},
    {u"2^10", "1024"},
    {u"-A2", "0"},
    {u"+A3", "\"x\""},
    {u"\"3\"*2", "6"},
    {u"\"x\"*2", "#VALUE!"},
    {u"\"a\"&1.5&TRUE", "\"a1.5TRUE\""},
    {u"\"abc\"<\"ABD\"", "TRUE"},
    {u"\"a\"=\"A\"", "TRUE"},
    {u"1<\"a\"", "TRUE"},
    {u"\"a\"<TRUE", "TRUE"},
    {u"A2=0", "TRUE"},
    {u"A2=\"\"", "TRUE"},
    {u"#N/A+1", "#N/A"},
    {u"1/0+#N/A", "#DIV/0!"},
    {u"A1", "1"},
    {u"A1:A4", "area"},
    {u"SUM(A1:A4)", "3"},
    {u"SUM(A1,\"2\",TRUE)", "4"},
    {u"SUM(A1:A4,D1)", "#N/A"},
    {u"SUM({1,2,3})", "6"},
    {u"SUM((A1,A4))", "3"},
    {u"SUM(A1:B4 A1:A2)", "1"},
    {u"SUM(Data:Two!A1)", "11"},
    {u"AVERAGE(A1:A4)", "1.5"},
    {u"AVERAGE(A2:A3)", "#DIV/0!"},
    {u"MIN(A1:A4)", "1"},
    {u"MAX(B1:B2)", "-2"},
    {u"MAX(A2:A3)", "0"},
    {u"COUNT(A1:A4,C1,D1)", "2"},
    {u"COUNT(1,\"2\",TRUE,\"x\")", "3"},
    {u"ROUND(2.5,0)", "3"},
    {u"ROUND(-2.5,0)", "-3"},
    {u"ROUND(2.675,2)", "2.68"},
    {u"ROUND(1234.5678,-2)", "1200"},
    {u"ROUND(1.25,1.9)", "1.3"},
    {u"MOD(-7,3)", "2"},
    {u"MOD(7,-3)", "-2"},
    {u"MOD(1,0)", "#DIV/0!"},
    {u"INT(-1.5)", "-2"},
    {u"SIGN(-3)", "-1"},
    {u"ABS(-2)", "2"},
    {u"LN(0)", "#NUM!"},
    {u"LOG10(1000)", "3"},
    {u"EXP(0)", "1"},
    {u"PI()", "3.14159265358979"},
    {u"ATAN(1)*4", "3.14159265358979"},
    {u"SIN(\"x\")", "#VALUE!"},
    {u"STDEV(1,2,3,4)", "1.29099444873581"},
    {u"STDEV(A1:A3)", "#DIV/0!"},
    {u"NPV(0.1,100,200)", "256.198347107438"},
    {u"CONCATENATE(\"a\",A2,\"c\",A1)", "\"ac1\""},
    {u"CONCATENATE(\"a\",D1)", "#N/A"},
    {u"OR(FALSE,A2,TRUE)", "TRUE"},
    {u"AND(TRUE,A3)", "TRUE"},
    {u"AND(A2:A3)", "#VALUE!"},
    {u"AND(1,\"x\")", "#VALUE!"},
    {u"NOT(A2)", "TRUE"},
    {u"IF(A1>0,\"yes\",\"no\")", "\"yes\""},
    {u"IF(0,1)", "FALSE"},
    {u"IF(\"x\",1,2)", "#VALUE!"},
    {u"SUM(IF(A1,A1:A4,0))", "3"},
    {u"ISNA(D1)", "TRUE"},
    {u"ISNA(#N/A)", "TRUE"},
    {u"ISERROR(1/0)", "TRUE"},
    {u"ISNUMBER(A3)", "FALSE"},
    {u"ISNUMBER(A1)", "TRUE"},
    {u"NA()", "#N/A"},
    {u"ROW()", "10"},
    {u"COLUMN()", "8"},
    {u"ROW(B3:C9)", "3"},
    {u"COLUMN(C5)", "3"},
    {u"LOOKUP(1.5,A1:A4)", "1"},
    {u"LOOKUP(35,E1:E5,F1:F5)", "\"c\""},
    {u"LOOKUP(50,E1:E5,F1:F5)", "\"e\""},
    {u"LOOKUP(5,E1:E5,F1:F5)", "#N/A"},
    {u"LOOKUP(99,E1:E5)", "50"},
    {u"LOOKUP(\"c\",F1:F5,E1:E5)", "30"},
    {u"LOOKUP(2,{1,2,3},{\"a\",\"b\",\"c\"})", "\"b\""},
    {u"Rate*2", "4"},
    {u"SUM(Two!A1,Rate)", "12"},
    {u"Two!A1:A2", "area"},
    // Numbers that agree to 15 significant digits are equal; a sum or
    // difference that cancels them is 0.
    {u"0.1+0.2=0.3", "TRUE"},
    {u"IF(SUM(0.1,0.2)=0.3,\"ok\",\"no\")", "\"ok\""},
    {u"0.7+0.1<0.8", "FALSE"},
    {u"0.7+0.1>=0.8", "TRUE"},
    {u"999999999999999=999999999999998", "FALSE"},
    {u"0.1+0.2-0.3", "0"},
    {u"1-0.9-0.1", "0"},
    {u"-0.1-0.2+0.3", "0"},
    {u"(0.1+0.2-0.3)*1E20", "0"},
    {u"1E-20-1E-21", "9e-21"},
    {u"SUM(0.1,0.2,-0.3)", "0"},
    {u"AVERAGE(0.1,0.2,-0.3)", "0"},
    {u"LOOKUP(40-1E-14,E1:E5,F1:F5)", "\"d\""},
    {u"LOOKUP(0.7+0.1,{0.5,0.8},{\"a\",\"b\"})", "\"b\""},
    // A number made text shows as the General format shows it.
    {u"CONCATENATE(1E20)", "\"1E+020\""},
    {u"1E-5&\"\"", "\"0.00001\""},
    {u"1E15&\"\"", "\"1000000000000000\""},
    {u"123456789012345678&\"\"", "\"1.23456789012346E+017\""},
    {u"1E-7&\"\"", "\"0.0000001\""},
    {u"CONCATENATE(1E-10,-0.5)", "\"1E-10-0.5\""},
    {u"MOD((0.1+0.2)*10,1)", "0"},
    {u"MOD(-0.3,0.1)", "0"},
    {u"MOD(3,0.1+0.2)", "0"},
    {u"MOD(-7.5,2)", "0.5"},
    {u"MOD(1E15,PI())>=0", "TRUE"},
    {u"MOD(1E15,3)", "1"},
    {u"MOD(-1E15,-PI())<=0", "TRUE"},
    // Texts that read as numbers: thousands in groups of three, the texts
    // TRUE and FALSE as 1 and 0.
    {u"-FIXED(45292,3)", "-45292"},
    {u"\"1,234,567.5\"*2", "2469135"},
    {u"\"1,23\"*1", "#VALUE!"},
    {u"\"12,3456\"*1", "#VALUE!"},
    {u"\"TRUE\"+1", "2"},
    {u"COS(\"false\")", "1"},
    {u"DOLLAR(1234.5)*2", "2469"},
    {u"DOLLAR(-0.5)*2", "-1"},
    {u"\"$1,234\"+1", "1235"},
    {u"\"$-\"+1", "#VALUE!"},
    // FIXED: an empty decimals argument leaves 2; digits past the 15th
    // significant one show as zeros.
    {u"FIXED(1.234,,TRUE)", "\"1.23\""},
    {u"FIXED(1.234,A2)", "\"1\""},
    {u"FIXED(123456789012345678)", "\"123,456,789,012,346,000.00\""},
    {u"FIXED(-1.2345678901234567E17,1,TRUE)", "\"-123456789012346000.0\""},
    {u"FIXED(ATAN(45292.75),15)", "\"1.570774248206160\""},
    {u"FIXED(PI()/1000,20)", "\"0.00314159265358979000\""},
};

} // namespace

TEST_F(Evaluator, ComputesWhatSpreadsheetProgramsCompute) {
    Regional us(UsSettings());
    for (const TCase& c : Cases) EXPECT_EQ(Eval(c.Formula), c.Value) << WideToUtf8(c.Formula);
}

TEST_F(Evaluator, RegionalTextsOfNumbersAndMoney) {
    struct {
        const char16_t* Formula;
        const char* Us;
        const char* Local; // the default settings: "," decimals, no-break space groups, "грн." after
    } cases[] = {
        {u"FIXED(1234.567)", "\"1,234.57\"",
         "\"1\xC2\xA0"
         "234,57\""},
        {u"FIXED(1234.567,-1)", "\"1,230\"",
         "\"1\xC2\xA0"
         "230\""},
        {u"FIXED(-1234.567,1,TRUE)", "\"-1234.6\"", "\"-1234,6\""},
        {u"FIXED(0.5,0)", "\"1\"", "\"1\""},
        {u"DOLLAR(1234.567)", "\"$1,234.57\"",
         "\"1\xC2\xA0"
         "234,57 \xD0\xB3\xD1\x80\xD0\xBD.\""},
        {u"DOLLAR(-0.5)", "\"($0.50)\"", "\"-0,50 \xD0\xB3\xD1\x80\xD0\xBD.\""},
        {u"DOLLAR(5,0)", "\"$5\"", "\"5 \xD0\xB3\xD1\x80\xD0\xBD.\""},
        {u"\"a\"&1.5", "\"a1.5\"", "\"a1,5\""},
        {u"\"a\"&123456789012345678", "\"a1.23456789012346E+017\"", "\"a1,23456789012346E+017\""},
        {u"\"1.5\"*2", "3", "#VALUE!"},
        {u"-FIXED(1234.5,1)", "-1234.5", "-1234.5"},
        {u"DOLLAR(-1234.5)*1", "-1234.5", "-1234.5"},
    };
    for (const auto& c : cases) {
        {
            Regional us(UsSettings());
            EXPECT_EQ(Eval(c.Formula), c.Us) << WideToUtf8(c.Formula);
        }
        Regional local{platform::RegionalSettings()};
        EXPECT_EQ(Eval(c.Formula), c.Local) << WideToUtf8(c.Formula);
    }
}

namespace {
// A BIFF8 reference to (col, row).
std::vector<uint8_t> RefPlusOne(int col, int row) {
    std::vector<uint8_t> t = {0x44, 0, 0, 0, 0, 0x1E, 1, 0, 0x03};
    PutU16(t.data() + 1, uint16_t(row));
    PutU16(t.data() + 3, uint16_t(col | 0xC000));
    return t;
}
} // namespace

TEST_F(Evaluator, ChainsAndCyclesOfAHundredThousandCells) {
    // Cell i stands at (col i / 50000, row i % 50000) and adds 1 to cell i-1.
    constexpr int count = 100000;
    TSheet& s = book.GetSheet(1);
    auto put = [&](int i, int from) {
        const std::vector<uint8_t> t = RefPlusOne(from / 50000 + 2, from % 50000);
        s.PutFormula(ctNumberFormula, i / 50000 + 2, i % 50000, 15, int(t.size()), t, {});
    };
    s.SetAsFloat(2, 0, 0);
    for (int i = 1; i < count; ++i) put(i, i - 1);
    const auto ev = book.MakeEvaluator();
    TFormulaValue v;
    ev->CalculateCell(1, (count - 1) / 50000 + 2, (count - 1) % 50000, v);
    EXPECT_EQ(Text(v), "99999");

    // Closed into a ring: every cell of it is #VALUE!.
    put(0, count - 1);
    ev->Reset();
    ev->CalculateCell(1, (count - 1) / 50000 + 2, (count - 1) % 50000, v);
    EXPECT_EQ(Text(v), "#VALUE!");
    ev->CalculateCell(1, 2, 500, v);
    EXPECT_EQ(Text(v), "#VALUE!");

    // Through the component, a cell that refers to itself.
    PutFormula(book, 0, 9, 0, u"J1+1");
    book.GetSheet(0).CalculateCell(9, 0, v);
    EXPECT_EQ(Text(v), "#VALUE!");
}

TEST_F(Evaluator, NamesThatReferToThemselvesOrNestDeeply) {
    AddName(book, u"Loop", u"1");
    AddName(book, u"Deep0", u"1");
    // Redefined once the names exist: Loop refers to itself.
    auto redefine = [&](std::u16string_view name, std::u16string_view text) {
        TInternalName& n = book.GetInternalNames().Items(book.GetInternalNames().IndexOfName(name));
        const TEncodedFormula f = book.FormulaHandler().EncodeFormula(text, {.FileSyntax = true});
        n.Data = f.Data;
        n.TokenLength = uint16_t(f.TokenLength);
    };
    redefine(u"Loop", u"Loop+1");
    EXPECT_EQ(Eval(u"Loop"), "#VALUE!");
    // Deep200 -> Deep199 -> ... -> Deep0: deeper than names may nest.
    for (int i = 1; i <= 200; ++i)
        AddName(book, u"Deep" + Utf8ToWide(std::to_string(i)),
                u"Deep" + Utf8ToWide(std::to_string(i - 1)) + u"+1");
    EXPECT_EQ(Eval(u"Deep10"), "11");
    EXPECT_EQ(Eval(u"Deep200"), "#VALUE!");
}

TEST_F(Evaluator, BadTokens) {
    struct {
        std::vector<uint8_t> Tokens;
        const char* Value; // or the message raised
    } cases[] = {
        {{0x1E, 2, 0, 0x1E, 0, 0, 0x06}, "#DIV/0!"},
        {{0x1E, 1, 0, 0x1D, 1, 0x03}, "2"},
        {{0x3C, 0, 0, 0, 0, 0, 0, 0x1E, 1, 0, 0x03}, "#REF!"},
        {{0x1E, 1, 0, 0x18}, "#VALUE!"},
        {{0x1E, 1}, "#VALUE!"},                   // truncated
        {{0x23, 0x63, 0, 0, 0}, "#NAME?"},        // no such name
        {{0x3A, 0x40, 0, 0, 0, 0, 0}, "#REF!"},   // no such EXTERNSHEET entry
        {{0x1E, 1, 0, 0x03}, "Value is missing"}, // one operand
        {{0x1E, 5, 0, 0x1E, 6, 0, 0x1E, 7, 0, 0x03}, "Values left over"},
        {{0x1E, 5, 0, 0x1E, 6, 0}, "Values left over"},
        {{0x21, 27, 0}, "Value is missing"}, // ROUND without its arguments
        {{0x1E, 4, 0, 0x21, 20, 0}, "Can not calculate function SQRT"},
        {{0x1E, 4, 0, 0x1E, 4, 0, 0x22, 2, 4, 0}, "8"},
        {{0x1E, 4, 0, 0x1E, 4, 0, 0x22, 2, 205, 0}, "Can not calculate function FINDB"},
        {{0x1E, 4, 0, 0x22, 2, 4, 0}, "Value is missing"},
        {{0x1E, 4, 0, 0x1E, 4, 0, 0x22, 2, 2, 0}, "Wrong number of arguments (2) to function ISNA"},
    };
    const auto ev = book.MakeEvaluator();
    for (const auto& c : cases) {
        std::string got;
        try {
            TFormulaValue v;
            ev->EvaluateTokens(c.Tokens, c.Tokens.size(), TExcelVersion::xvExcel97, 0, 0, 9, v);
            got = Text(v);
        } catch (const XLSError& e) {
            got = e.what();
        }
        EXPECT_EQ(got, c.Value) << c.Value;
    }
}

namespace {

// An array formula as a binary file holds it over cols col1..col2, rows
// row1..row2: every cell an array cell pointing at the first.
void PutArray(TTabrix4& book, std::u16string_view text, int col1, int row1, int col2, int row2) {
    const TEncodedFormula f = Encode(book, text);
    std::vector<uint8_t> record(14);
    PutU16(record.data(), uint16_t(row1));
    PutU16(record.data() + 2, uint16_t(row2));
    record[4] = uint8_t(col1);
    record[5] = uint8_t(col2);
    PutU16(record.data() + 12, uint16_t(f.TokenLength));
    record.insert(record.end(), f.Data.begin(), f.Data.end());
    std::vector<uint8_t> exp = {0x01, 0, 0, 0, 0};
    PutU16(exp.data() + 1, uint16_t(row1));
    PutU16(exp.data() + 3, uint16_t(col1));
    for (int r = row1; r <= row2; ++r)
        for (int c = col1; c <= col2; ++c)
            book.GetSheet(0).PutArrayFormulaNumber(c, r, 15, int(exp.size()), exp,
                                                   r == row1 && c == col1 ? 0 : 1, record, 0);
}

struct TArrayCase {
    const char16_t* Formula;
    int Cols, Rows;                  // of the area, from J1
    std::vector<const char*> Values; // row by row
};

// As LibreOffice and gnumeric compute the same array formulas.
const TArrayCase ArrayCases[] = {
    {u"E1:E3*2", 1, 3, {"20", "40", "60"}},
    {u"SUM(E1:E3*E3:E5)", 1, 1, {"2600"}},
    {u"E1:E2*{1,2}", 2, 3, {"10", "20", "20", "40", "#N/A", "#N/A"}},
    {u"E1:E2", 2, 3, {"10", "10", "20", "20", "#N/A", "#N/A"}},
    {u"SUM(IF(E1:E5>25,E1:E5,0))", 1, 1, {"120"}},
    {u"ROUND(E1:E3/7,1)", 1, 3, {"1.4", "2.9", "4.3"}},
    {u"-E1:E2&F1:F2", 1, 2, {"\"-10a\"", "\"-20b\""}},
    {u"1/(E1:E2-10)", 1, 2, {"#DIV/0!", "0.1"}},
    {u"SUM(A1:A4*2)", 1, 1, {"#VALUE!"}},
    {u"AND(E1:E3>5)", 1, 1, {"TRUE"}},
    {u"1+1", 2, 1, {"2", "2"}},
};

} // namespace

TEST_F(Evaluator, ArrayFormulasGiveEachCellItsElement) {
    Regional us(UsSettings());
    for (const TArrayCase& c : ArrayCases) {
        SCOPED_TRACE(WideToUtf8(c.Formula));
        PutArray(book, c.Formula, 9, 0, 9 + c.Cols - 1, c.Rows - 1);
        const auto ev = book.MakeEvaluator();
        for (int r = 0; r < c.Rows; ++r)
            for (int k = 0; k < c.Cols; ++k) {
                TFormulaValue v;
                ev->CalculateCell(0, 9 + k, r, v);
                EXPECT_EQ(Text(v), c.Values[size_t(r * c.Cols + k)]) << "row " << r << " column " << k;
            }
        for (int r = 0; r < c.Rows; ++r)
            for (int k = 0; k < c.Cols; ++k) book.GetSheet(0).DeleteCell(9 + k, r);
    }
    TSheet& data = book.GetSheet(0);
    // A further cell whose result was a boolean points at the array from a
    // plain formula cell.
    PutArray(book, u"E1:E3>15", 9, 0, 9, 2);
    const std::vector<uint8_t> exp = {0x01, 0, 0, 9, 0};
    TFormulaResult cached;
    data.PutFormula(ctBooleanFormula, 9, 1, 15, 5, exp, cached);
    TFormulaValue v;
    book.MakeEvaluator()->CalculateCell(0, 9, 1, v);
    EXPECT_EQ(Text(v), "TRUE");
    // The array formula of an .xlsx file stands in its first cell only.
    data.PutFormulaText(ctNumberFormula, 11, 0, 15, "E1:E3*2", NoSharedFormula, KeptArrayFormula, cached);
    data.PackageData().ArrayAreas[11] = "L1:L3";
    data.PutFormulaText(ctNumberFormula, 12, 0, 15, "SUM(E1:E3*E3:E5)", NoSharedFormula, KeptArrayFormula,
                        cached);
    const auto ev = book.MakeEvaluator();
    ev->CalculateCell(0, 11, 0, v);
    EXPECT_EQ(Text(v), "20");
    ev->CalculateCell(0, 12, 0, v);
    EXPECT_EQ(Text(v), "2600");
    // Arrays larger than the evaluator makes give #NUM!.
    PutArray(book, u"SUM(A1:IV65536*2)", 13, 0, 13, 0);
    ev->CalculateCell(0, 13, 0, v);
    EXPECT_EQ(Text(v), "#NUM!");
}

namespace {
// The tokens of a number (ptgNum).
std::vector<uint8_t> Number(double x) {
    std::vector<uint8_t> t(9, 0x1F);
    std::memcpy(t.data() + 1, &x, 8);
    return t;
}
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
} // namespace

TEST_F(Evaluator, WholeNumberArgumentsOfNaNOrErrors) {
    Regional us(UsSettings());
    const double nan = std::nan("");
    const std::vector<uint8_t> round = {0x41, 27, 0}, numError = {0x1C, 0x24}, naError = {0x1C, 0x2A};
    auto fixed = [](uint8_t count, uint8_t number) { return std::vector<uint8_t>{0x42, count, number, 0}; };
    struct {
        std::vector<uint8_t> Tokens;
        const char* Value;
    } cases[] = {
        {Number(1.5) + Number(nan) + round, "#NUM!"},
        {Number(nan) + Number(0) + round, "#NUM!"},
        {Number(1.5) + numError + round, "#NUM!"},
        {Number(1.5) + naError + round, "#N/A"},
        {Number(1.25) + Number(1e300) + round, "1.25"},
        {Number(1.25) + Number(-1e300) + round, "0"},
        {Number(1.5) + Number(nan) + fixed(2, 14), "#NUM!"},
        {Number(nan) + fixed(1, 14), "#NUM!"},
        {Number(1) + Number(nan) + fixed(2, 13), "#NUM!"},
        {Number(1) + Number(128) + fixed(2, 14), "#VALUE!"},
        {Number(1) + naError + fixed(2, 14), "#N/A"},
    };
    const auto ev = book.MakeEvaluator();
    for (const auto& c : cases) {
        TFormulaValue v;
        ev->EvaluateTokens(c.Tokens, c.Tokens.size(), TExcelVersion::xvExcel97, 0, 0, 9, v);
        EXPECT_EQ(Text(v), c.Value) << c.Value;
    }
}

// The names of older files have their values in every layout, a function
// name calls its function; a BIFF2 name holds seven bytes, a BIFF5 name
// reached through the workbook's own EXTERNSHEET entry is the same name.
TEST_F(Evaluator, NamesOfOlderFilesComputeAndNameACall) {
    std::vector<std::string> calls;
    book.OnFunction = [&](TTabrix4&, std::u16string_view name, std::vector<TFormulaValue>& args,
                          TFormulaValue& result) {
        calls.push_back(WideToUtf8(name) + " " + std::to_string(args.size()));
        SetFormulaValueFloat(result, 5);
    };
    TInternalName& tax = book.GetInternalNames().Add();
    tax.SetName(u"Tax");
    tax.Options = noHidden | noFunction | noVBAProcedure | noMacro;
    auto name = [](size_t data, uint8_t number) {
        std::vector<uint8_t> t(data + 1, 0);
        t[0] = 0x23;
        t[1] = number;
        return t;
    };
    std::vector<uint8_t> own(25, 0); // Rate through EXTERNSHEET entry -1
    own[0] = 0x39;
    own[1] = own[2] = 0xFF;
    own[11] = 1;
    const std::vector<uint8_t> seven = {0x1E, 7, 0};
    const std::vector<uint8_t> times = {0x05}, plus = {0x03};
    struct {
        TExcelVersion Version;
        std::vector<uint8_t> Tokens;
        const char* Value;
    } cases[] = {
        {TExcelVersion::xvExcel50, name(14, 1), "2"},
        {TExcelVersion::xvExcel50, name(14, 1) + seven + times, "14"},
        {TExcelVersion::xvExcel50, seven + name(14, 1) + plus, "9"},
        {TExcelVersion::xvExcel50, name(14, 1) + std::vector<uint8_t>{0x41, 4, 0}, "2"}, // SUM(Rate)
        {TExcelVersion::xvExcel50, own + seven + times, "14"},
        {TExcelVersion::xvExcel40, name(10, 1) + seven + plus, "9"},
        {TExcelVersion::xvExcel30, name(10, 1), "2"},
        {TExcelVersion::xvExcel21, name(7, 1) + seven + times, "14"},
        {TExcelVersion::xvExcel50, name(14, 3), "#NAME?"},
        // Tax(7): a call of a macro function by its name.
        {TExcelVersion::xvExcel50, name(14, 2) + seven + std::vector<uint8_t>{0x42, 2, 0xFF, 0}, "5"},
    };
    const auto ev = book.MakeEvaluator();
    for (const auto& c : cases) {
        std::string got;
        try {
            TFormulaValue v;
            ev->EvaluateTokens(c.Tokens, c.Tokens.size(), c.Version, 0, 0, 0, v);
            got = Text(v);
        } catch (const XLSError& e) {
            got = e.what();
        }
        EXPECT_EQ(got, c.Value) << c.Value << " version " << int(c.Version);
    }
    EXPECT_EQ(calls, std::vector<std::string>{"Tax 1"});
}

TEST_F(Evaluator, AnAreaTakenAsOneValue) {
    book.GetSheet(1).SetAsFloat(7, 9, 7);
    // The formula stands in H10 of Data: the cell in its row and column.
    EXPECT_EQ(Eval(u"+Two!G9:I11"), "7");
    EXPECT_EQ(Eval(u"Two!G9:I11*2"), "14");
    EXPECT_EQ(Eval(u"+Two!A1:B2"), "#VALUE!");
    EXPECT_EQ(Eval(u"+Two!H1:H20"), "7");
    EXPECT_EQ(Eval(u"Two!G9:I11"), "area");
    EXPECT_EQ(Eval(u"E1:F5+1"), "#VALUE!");
}

TEST_F(Evaluator, OtherFunctionsGoToOnFunction) {
    std::vector<std::string> calls;
    book.OnFunction = [&](TTabrix4&, std::u16string_view name, std::vector<TFormulaValue>& args,
                          TFormulaValue& result) {
        std::string call = WideToUtf8(name);
        for (const TFormulaValue& a : args)
            call += " " + (a.ValType == fvXArea ? "area" + std::to_string(a.Sheet) : Text(a));
        calls.push_back(call);
        if (name == u"SQRT") SetFormulaValueFloat(result, 2);
    };
    PutFormula(book, 0, 8, 0, u"SQRT(4)+1");
    PutFormula(book, 0, 8, 1, u"VLOOKUP(35,E1:F5,2)");
    TFormulaValue v;
    book.GetSheet(0).CalculateCell(8, 0, v);
    EXPECT_EQ(Text(v), "3");
    EXPECT_THROW(book.GetSheet(0).CalculateCell(8, 1, v), XLSError); // unanswered
    // A function of a macro: its name first, then its two arguments.
    TInternalName& udf = book.GetInternalNames().Add();
    udf.SetName(u"MyFunc");
    udf.Options = noFunction | noVBAProcedure;
    const uint8_t index = uint8_t(book.GetInternalNames().Count());
    std::vector<uint8_t> t = {0x23, index, 0, 0, 0, 0x1E, 7, 0, 0x17, 1, 0, 'q', 0x22, 3, 0xFF, 0};
    book.GetSheet(0).PutFormula(ctNumberFormula, 8, 2, 15, int(t.size()), t, {});
    EXPECT_THROW(book.GetSheet(0).CalculateCell(8, 2, v), XLSError);
    EXPECT_EQ(calls, (std::vector<std::string>{"SQRT 4", "VLOOKUP 35 area0 2", "MyFunc 7 \"q\""}));
}

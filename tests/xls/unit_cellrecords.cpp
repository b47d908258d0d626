// The cell records of a sheet, byte for byte.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/formats/XLSStream.h"
#include "support_biffbuild.h"
#include "support_hex.h"
#include "support_messages.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

using namespace xls;

namespace {

struct CellRecords : FreshLibState {
    TTabrix4 wb;
    TSheet* sheet = nullptr;
    void SetUp() override {
        FreshLibState::SetUp();
        wb.SetVersion(TExcelVersion::xvExcel97);
        sheet = &wb.GetSheet(0);
    }
    // The records as they reach the stream (a plain stream: no container).
    HexBytes Written(TExcelVersion version = TExcelVersion::xvExcel97, bool merged = false) {
        return biffbuild::Written(
            [&](TXLSStream& s) {
                if (merged)
                    sheet->WriteMergedCells(version, s);
                else
                    sheet->WriteSheetCells(version, s);
            },
            TExcelVersion::xvExcel40);
    }
};

// Both sides as hexadecimal text, so a failure shows where they part.
std::string Hex(const HexBytes& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (uint8_t v : b) {
        out += digits[v >> 4];
        out += digits[v & 15];
    }
    return out;
}
std::string Hex(const std::string& text) {
    return Hex(FromHex(text));
}

} // namespace

TEST_F(CellRecords, AdjacentNumbersShareOneMULRK) {
    sheet->SetAsInteger(0, 0, 1);
    sheet->SetAsInteger(1, 0, 2);
    sheet->SetAsFloat(2, 0, 3);
    EXPECT_EQ(Hex(Written()), Hex("BD00 1800 0000 0000 0F00 0000F03F 0F00 00000040 0F00 00000840 0200"));
}

TEST_F(CellRecords, GapsAndRowsEndRKRuns) {
    sheet->SetAsInteger(0, 0, 1);
    sheet->SetAsInteger(5, 0, 2);
    sheet->SetAsFloat(0, 1, 0.5);
    sheet->SetAsFloat(1, 2, 1.23);
    sheet->SetAsFloat(2, 2, 1e10);
    // 1 as a float RK; 2 after a gap as NUMBER; 0.5 as a float RK; 1.23 only in the
    // x100 form; 1e10 has no RK form.
    EXPECT_EQ(Hex(Written()), Hex("7E02 0A00 0000 0000 0F00 0000F03F"
                                  "0302 0E00 0000 0500 0F00 0000000000000040"
                                  "7E02 0A00 0100 0000 0F00 0000E03F"
                                  "7E02 0A00 0200 0100 0F00 01C05E40"
                                  "0302 0E00 0200 0200 0F00 00000020 5FA00242"));
}

TEST_F(CellRecords, RKOnlyWhenItGivesBackTheSameNumber) {
    sheet->SetAsFloat(0, 0, 1.1 * 3); // 3.3000000000000003: its x100 form reads back as 3.3
    sheet->SetAsFloat(1, 0, 3.3);
    HexBytes b = Written();
    ASSERT_EQ(b.size(), 18u + 14u);
    EXPECT_EQ(GetU16(b.data()), 0x0203);
    EXPECT_EQ(GetU16(b.data() + 18), 0x027E);
}

TEST_F(CellRecords, BlankRunsBecomeMULBLANKAndStopAtGaps) {
    sheet->Range().SetArea(0, 0, 2, 0).SetFontStyle(0);
    sheet->PutBlank(4, 0, 15);
    sheet->PutBlank(1, 1, 15);
    EXPECT_EQ(Hex(Written()), Hex("BE00 0C00 0000 0000 0F00 0F00 0F00 0200"
                                  "0102 0600 0000 0400 0F00"
                                  "0102 0600 0100 0100 0F00"));
}

TEST_F(CellRecords, StringsBooleansAndErrors) {
    sheet->SetAsString(0, 0, u"b");
    sheet->SetAsString(1, 0, u"a");
    sheet->SetAsString(2, 0, u"b");
    sheet->SetAsBoolean(3, 0, true);
    sheet->PutError(4, 0, 15, 2);
    biffbuild::Written([&](TXLSStream& s) { wb.Sheets().WriteSST(s); });
    uint32_t b = static_cast<TStringCell*>(sheet->GetCell(0, 0))->Entry()->SSTIndex;
    uint32_t a = static_cast<TStringCell*>(sheet->GetCell(1, 0))->Entry()->SSTIndex;
    ASSERT_NE(a, b);
    HexBytes expected = FromHex("FD00 0A00 0000 0000 0F00 00000000 FD00 0A00 0000 0100 0F00 00000000"
                                "FD00 0A00 0000 0200 0F00 00000000"
                                "0502 0800 0000 0300 0F00 0100 0502 0800 0000 0400 0F00 0701");
    expected[10] = uint8_t(b);
    expected[24] = uint8_t(a);
    expected[38] = uint8_t(b);
    EXPECT_EQ(Hex(Written()), Hex(expected));
}

TEST_F(CellRecords, OlderFilesGetLabelsInTheCodePageCutAt255) {
    sheet->SetAsString(0, 0, u"Ціна");
    sheet->SetAsString(1, 0, std::u16string(300, u'x'));
    HexBytes b = Written(TExcelVersion::xvExcel50);
    // The writers put the workbook's own cell formats in every version, so
    // the format index goes out unchanged.
    EXPECT_EQ(HexBytes(b.begin(), b.begin() + 16), FromHex("0402 0C00 0000 0000 0F00 0400 D6B3EDE0"));
    EXPECT_EQ(GetU16(b.data() + 18), 255 + 8);
    EXPECT_EQ(GetU16(b.data() + 26), 255);
    EXPECT_EQ(b.size(), 16u + 4 + 8 + 255);
    // The cut is named.
    ASSERT_EQ(wb.Warnings().size(), 1u);
    EXPECT_EQ(wb.Warnings()[0],
              "Sheet 'Sheet1': 1 text longer than 255 characters cut to 255 in .xls (Excel 5) (first: B1)");
}

TEST_F(CellRecords, FormulasCarryTheirCachedResult) {
    const uint8_t tokens[] = {0x1E, 0x05, 0x00};
    TFormulaResult r;
    r.Number = 1.5;
    sheet->PutFormula(ctNumberFormula, 0, 0, 15, 3, tokens, r);
    r.Text = u"";
    sheet->PutFormula(ctStringFormula, 1, 0, 15, 3, tokens, r);
    r.Text = u"ok";
    sheet->PutFormula(ctStringFormula, 2, 0, 15, 3, tokens, r);
    r.ErrorCode = 0x07;
    sheet->PutFormula(ctErrorFormula, 3, 0, 15, 3, tokens, r);
    sheet->RecalcFormulas = false;
    EXPECT_EQ(Hex(Written()), Hex("0600 1900 0000 0000 0F00 000000000000F83F 0000 00000000 0300 1E0500"
                                  "0600 1900 0000 0100 0F00 0300000000 00FFFF 0000 00000000 0300 1E0500"
                                  "0600 1900 0000 0200 0F00 0000000000 00FFFF 0000 00000000 0300 1E0500"
                                  "0702 0700 0200 01 6F006B00"
                                  "0600 1900 0000 0300 0F00 0200070000 00FFFF 0000 00000000 0300 1E0500"));
}

// A formula set without its result carries the computed one; where the
// library computes none, an empty text calculated whenever the file opens.
TEST_F(CellRecords, FormulasSetWithoutAResultCarryTheComputedOne) {
    const uint8_t five[] = {0x1E, 0x05, 0x00};
    const uint8_t sumif[] = {0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x42, 0x02, 0x59, 0x01};
    sheet->PutFormula(ctNumberFormula, 0, 0, 15, 3, five, {});
    sheet->PutFormula(ctNumberFormula, 1, 0, 15, 10, sumif, {});
    sheet->RecalcFormulas = false;
    EXPECT_EQ(Hex(Written()), Hex("0600 1900 0000 0000 0F00 0000000000001440 0000 00000000 0300 1E0500"
                                  "0600 2000 0000 0100 0F00 0300000000 00FFFF 0100 00000000 0A00"
                                  "1E0100 1E0200 42025901"));
}

TEST_F(CellRecords, Biff4FormulasHaveNoChainField) {
    const uint8_t tokens[] = {0x1E, 0x05, 0x00};
    TFormulaResult r;
    r.Number = 1.5;
    sheet->PutFormula(ctNumberFormula, 0, 0, 15, 3, tokens, r);
    sheet->RecalcFormulas = false;
    EXPECT_EQ(Hex(Written(TExcelVersion::xvExcel40)),
              Hex("0604 1500 0000 0000 0F00 000000000000F83F 0000 0300 1E0500"));
}

TEST_F(CellRecords, ArrayFormulasWriteTheirArrayOnce) {
    const uint8_t tokens[] = {0x02, 0x00, 0x00, 0x00, 0x00};
    const uint8_t array[] = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x1D};
    sheet->PutArrayFormulaNumber(0, 0, 15, 5, tokens, 0, array, 2);
    sheet->PutArrayFormulaNumber(0, 1, 15, 5, tokens, 1, array, 2);
    HexBytes b = Written();
    ASSERT_EQ(b.size(), 2 * (4 + 27u) + 4 + 15);
    EXPECT_EQ(GetU16(b.data() + 31), 0x0221);
    EXPECT_EQ(HexBytes(b.begin() + 35, b.begin() + 50), BytesOf(array));
    EXPECT_EQ(GetU16(b.data() + 50), 0x0006);
}

TEST_F(CellRecords, LongFormulaStringsGoOnInContinueRecords) {
    const uint8_t tokens[] = {0x1E, 0x05, 0x00};
    TFormulaResult r;
    r.Text = std::u16string(5000, u'Ж');
    sheet->PutFormula(ctStringFormula, 0, 0, 15, 3, tokens, r);
    HexBytes b = Written();
    size_t at = 4 + 25;
    ASSERT_EQ(GetU16(b.data() + at), 0x0207);
    uint16_t first = GetU16(b.data() + at + 2);
    EXPECT_LE(first, 8224);
    EXPECT_EQ(GetU16(b.data() + at + 4), 5000);
    EXPECT_EQ(b[at + 6], 1);
    size_t next = at + 4 + first;
    ASSERT_EQ(GetU16(b.data() + next), 0x003C);
    EXPECT_EQ(b[next + 4], 1) << "a continued piece starts with its flag byte";
    size_t chars = (first - 3) / 2 + (GetU16(b.data() + next + 2) - 1) / 2;
    EXPECT_EQ(chars, 5000u);
    EXPECT_EQ(b.size(), next + 4 + GetU16(b.data() + next + 2));
}

TEST_F(CellRecords, CellsBeyondTheBIFFLimitsAreLeftOut) {
    wb.SetVersion(TExcelVersion::xvExcel2007);
    sheet->SetAsInteger(0, 0, 1);
    sheet->SetAsInteger(256, 0, 2);
    sheet->SetAsInteger(1, 0, 3);
    sheet->SetAsInteger(0, 20000, 5);
    sheet->SetAsInteger(0, 70000, 4);
    EXPECT_EQ(Hex(Written()), Hex("BD00 1200 0000 0000 0F00 0000F03F 0F00 00000840 0100"
                                  "7E02 0A00 204E 0000 0F00 00001440"));
    // Files before Excel 97 end at row 16384.
    EXPECT_EQ(Hex(Written(TExcelVersion::xvExcel50)),
              Hex("BD00 1200 0000 0000 0F00 0000F03F 0F00 00000840 0100"));
    EXPECT_EQ(
        wb.Warnings().back(),
        "Sheet 'Sheet1': 3 cells beyond column IV or row 16384 not written to .xls (Excel 5) (first: IW1)");
}

TEST_F(CellRecords, MergedAreasSplitAcrossRecordsAndStayInsideTheSheet) {
    for (int i = 0; i < 1030; ++i) sheet->MergedCells().AddArea(0, 2 * i, 1, 2 * i);
    wb.SetVersion(TExcelVersion::xvExcel2007);
    sheet->MergedCells().AddArea(250, 70000, 300, 70001);
    sheet->MergedCells().AddArea(250, 5000, 300, 5001);
    wb.SetVersion(TExcelVersion::xvExcel97);
    HexBytes b = Written(TExcelVersion::xvExcel97, true);
    EXPECT_EQ(GetU16(b.data()), 0x00E5);
    EXPECT_EQ(GetU16(b.data() + 2), 8 * 1027 + 2);
    EXPECT_EQ(GetU16(b.data() + 4), 1027);
    size_t second = 4 + 8 * 1027 + 2;
    EXPECT_EQ(GetU16(b.data() + second + 4), 4);
    // The last area is clipped to column 255; the one at row 70000 is gone.
    EXPECT_EQ(HexBytes(b.end() - 8, b.end()), FromHex("8813 8913 FA00 FF00"));
    // Excel 5 records hold 259 areas; the readers of its files take them.
    HexBytes b5 = Written(TExcelVersion::xvExcel50, true);
    size_t areas = 0;
    for (size_t at = 0; at + 6 <= b5.size(); at += 4 + GetU16(b5.data() + at + 2)) {
        ASSERT_EQ(GetU16(b5.data() + at), 0x00E5);
        EXPECT_LE(GetU16(b5.data() + at + 4), 259);
        areas += GetU16(b5.data() + at + 4);
    }
    EXPECT_EQ(areas, 1031u);
    EXPECT_EQ(HexBytes(b5.end() - 8, b5.end()), FromHex("8813 8913 FA00 FF00"));
}

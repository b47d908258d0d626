// Page setup: the defaults of a new sheet, the SETUP body after each setter,
// options spread over SETUP flags and four records, the starting-page flag,
// page breaks sized by the active limits, and values read from a file.
#include "SrcXLS/model/PrintSettings.h"

#include "tests/xls/support_hex.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

using namespace xls;
using enum TPrintSetupOption;

namespace {

class PrintSettingsTest : public Biff8Limits {
protected:
    HexBytes SetupBody() { return BytesOf(records.SetupData()); }

    TRecordStorageSheet records;
};

// Paper, scale, start page, fit width, fit height, flags, resolutions,
// header and footer margin 0.5, copies.
const char* NewSheetSetup = "00 00 64 00 01 00 01 00 01 00 02 00 58 02 58 02 "
                            "00 00 00 00 00 00 E0 3F 00 00 00 00 00 00 E0 3F 00 00";

} // namespace

TEST_F(PrintSettingsTest, NewSheetPrintsPortraitFromPageOne) {
    TPrintSettings p(records);
    EXPECT_EQ(SetupBody(), FromHex(NewSheetSetup));
    EXPECT_EQ(p.GetOptions(), TPrintSetupOptions({psoPortrait}));
    EXPECT_EQ(p.GetStartingPage(), 1);
    EXPECT_EQ(p.GetMarginTop(), 1.0);
    EXPECT_DOUBLE_EQ(p.GetMarginLeftCm(), 1.905);
    EXPECT_DOUBLE_EQ(p.GetHeaderMarginCm(), 1.27);
    for (uint16_t id : {biff::PRINTHEADERS, biff::PRINTGRIDLINES, biff::HCENTER, biff::VCENTER})
        EXPECT_EQ(BytesOf(records.DefaultBlock(id)->Body()), FromHex("00 00")) << id;

    // The workbook's paper goes into the low byte only.
    p.SetPaperSize(TPaperSize::psA4);
    EXPECT_EQ(p.GetPaperSize(), TPaperSize::psA4);
    EXPECT_EQ(SetupBody()[0], 9);
}

TEST_F(PrintSettingsTest, SettersWriteTheirSetupFields) {
    TPrintSettings p(records);
    p.SetScalingFactor(75);
    p.SetFitWidth(2);
    p.SetFitHeight(3);
    p.SetResolution(300);
    p.SetCopies(2);
    p.SetHeaderMarginCm(2.54);
    p.SetFooterMargin(0.25);
    EXPECT_EQ(SetupBody(), FromHex("00 00 4B 00 01 00 02 00 03 00 02 00 2C 01 58 02 "
                                   "00 00 00 00 00 00 F0 3F 00 00 00 00 00 00 D0 3F 02 00"));
    EXPECT_DOUBLE_EQ(p.GetHeaderMargin(), 1.0);
    EXPECT_DOUBLE_EQ(p.GetFooterMarginCm(), 0.635);

    // Beyond the field's range a fit stores 0, never the low bits.
    p.SetFitWidth(70000);
    p.SetFitHeight(-1);
    EXPECT_EQ(p.GetFitWidth(), 0);
    EXPECT_EQ(p.GetFitHeight(), 0);
    p.SetFitWidth(65535);
    EXPECT_EQ(p.GetFitWidth(), 65535);

    p.SetMarginTopCm(5.08);
    EXPECT_DOUBLE_EQ(p.GetMarginTop(), 2.0);
}

TEST_F(PrintSettingsTest, PaperSizeKeepsTheHighByteOfARecordReadFromAFile) {
    HexBytes body = FromHex(NewSheetSetup);
    body[0] = 0x05;
    body[1] = 0x01; // a printer-specific paper 261
    records.UpdateDefault(TBIFFHeader{biff::SETUP, uint16_t(body.size())}, body);
    TPrintSettings p(records);
    EXPECT_EQ(p.GetPaperSize(), TPaperSize::psLegal);
    p.SetPaperSize(TPaperSize::psA3ExtraTransverse);
    EXPECT_EQ(SetupBody()[0], 68);
    EXPECT_EQ(SetupBody()[1], 0x01);
}

TEST_F(PrintSettingsTest, StartingPageFlagSurvivesOnlyWhenSetAfterTheOptions) {
    TPrintSettings p(records);
    p.SetStartingPage(3);
    EXPECT_EQ(SetupBody()[10], 0x82);
    p.SetOptions({psoPortrait});
    EXPECT_EQ(p.GetStartingPage(), 3);
    EXPECT_EQ(SetupBody()[10], 0x02); // the options rebuilt the flags

    p.SetStartingPage(3);
    EXPECT_EQ(SetupBody()[10], 0x82);
    p.SetStartingPage(1);
    EXPECT_EQ(SetupBody()[10], 0x02);
}

TEST_F(PrintSettingsTest, OptionsSpreadOverSetupFlagsAndFourRecords) {
    TPrintSettings p(records);
    TPrintSetupOptions all = TPrintSetupOptions::FromBits(0x01FF);
    p.SetOptions(all);
    EXPECT_EQ(p.GetOptions(), all);
    EXPECT_EQ(GetU16(records.SetupData().data() + 10), 0x003B);
    EXPECT_TRUE(records.GetPrintHeaders());
    EXPECT_TRUE(records.GetPrintGridLines());
    EXPECT_TRUE(records.GetHCenter());
    EXPECT_TRUE(records.GetVCenter());

    p.SetOptions({psoGridlines, psoNoColor});
    EXPECT_EQ(GetU16(records.SetupData().data() + 10), 0x0008);
    EXPECT_EQ(p.GetOptions(), TPrintSetupOptions({psoNoColor, psoGridlines}));
    EXPECT_FALSE(records.GetPrintHeaders());
    EXPECT_TRUE(records.GetPrintGridLines());
    EXPECT_FALSE(records.GetHCenter());

    // Flags the options do not name do not appear as options.
    PutU16(records.SetupData().data() + 10, 0x0644);
    EXPECT_EQ(p.GetOptions(), TPrintSetupOptions({psoGridlines}));
}

TEST_F(PrintSettingsTest, SettingsFollowTheRecordsOfAReadSheet) {
    TPrintSettings p(records);
    // A short SETUP from a damaged file is read with the defaults' bytes
    // where it ends.
    HexBytes shortBody = FromHex("09 00 32 00 05 00");
    records.UpdateDefault(TBIFFHeader{biff::SETUP, 6}, shortBody);
    EXPECT_EQ(p.GetPaperSize(), TPaperSize::psA4);
    EXPECT_EQ(p.GetScalingFactor(), 50);
    EXPECT_EQ(p.GetStartingPage(), 5);
    EXPECT_DOUBLE_EQ(p.GetFooterMargin(), 0.5);
    p.SetCopies(4);
    EXPECT_EQ(records.DefaultBlock(biff::SETUP)->Length(), 34);
    EXPECT_EQ(records.GetItem(records.IndexOf(biff::SETUP)).Data()[32], 4);

    HexBytes one = FromHex("01 00");
    records.UpdateDefault(TBIFFHeader{biff::HCENTER, 2}, one);
    EXPECT_TRUE(p.GetOptions().Contains(psoHorizCenter));
}

TEST_F(PrintSettingsTest, PageBreaksSpanTheSheetAsFarAsTheLimitsReach) {
    TPrintSettings p(records);
    THorizPagebreak& h = p.HorizPagebreaks().Add();
    EXPECT_EQ(h.Col1, 0);
    EXPECT_EQ(h.Col2, 255);
    EXPECT_EQ(p.VertPagebreaks().Add().Row2, 65535);

    LibState().SetLimits(TExcelVersion::xvExcel2007);
    EXPECT_EQ(p.HorizPagebreaks().Add().Col2, 16383);
    EXPECT_EQ(p.VertPagebreaks().Add().Row2, 1048575);
    EXPECT_EQ(p.HorizPagebreaks().Count(), 2);
}

TEST_F(PrintSettingsTest, AssignCopiesPlainValuesAndBreaksNotRecords) {
    TPrintSettings src(records);
    src.SetHeader(u"&CЗвіт");
    src.SetFooter(u"&P");
    src.SetMarginLeft(-1); // unset
    src.SetMarginBottom(2.5);
    src.SetScalingFactor(40);
    THorizPagebreak& h = src.HorizPagebreaks().Add();
    h.Row = 9;
    h.Col1 = -1;
    h.Col2 = 254;
    src.VertPagebreaks().Add().Col = 4;

    TRecordStorageSheet otherRecords;
    TPrintSettings dst(otherRecords);
    dst.HorizPagebreaks().Add();
    dst.HorizPagebreaks().Add();
    dst.Assign(src);
    EXPECT_EQ(dst.GetHeader(), u"&CЗвіт");
    EXPECT_EQ(dst.GetFooter(), u"&P");
    EXPECT_EQ(dst.GetMarginLeft(), -1);
    EXPECT_EQ(dst.GetMarginBottom(), 2.5);
    EXPECT_EQ(dst.GetScalingFactor(), 100);
    ASSERT_EQ(dst.HorizPagebreaks().Count(), 1);
    EXPECT_EQ(dst.HorizPagebreaks()[0].Row, 9);
    EXPECT_EQ(dst.HorizPagebreaks()[0].Col1, -1);
    EXPECT_EQ(dst.HorizPagebreaks()[0].Col2, 254);
    EXPECT_EQ(dst.VertPagebreaks()[0].Col, 4);
    // Copies, not shared items.
    src.HorizPagebreaks()[0].Row = 20;
    EXPECT_EQ(dst.HorizPagebreaks()[0].Row, 9);

    dst.Assign(dst);
    EXPECT_EQ(dst.HorizPagebreaks().Count(), 1);
}

TEST_F(PrintSettingsTest, DefaultsForgetTheSheetsFormerPageSetup) {
    TPrintSettings p(records);
    p.SetHeader(u"old");
    p.SetFooter(u"old");
    p.SetMarginRight(3);
    p.SetOptions({psoGridlines, psoLeftToRight});
    p.SetStartingPage(7);
    p.HorizPagebreaks().Add();
    p.VertPagebreaks().Add();
    // What a sheet's Clear does: records back to their defaults, then these.
    records.Clear();
    p.SetDefaults();
    EXPECT_EQ(SetupBody(), FromHex(NewSheetSetup));
    EXPECT_FALSE(records.GetPrintGridLines());
    EXPECT_TRUE(p.GetHeader().empty());
    EXPECT_TRUE(p.GetFooter().empty());
    EXPECT_EQ(p.GetMarginRight(), 0.75);
    EXPECT_EQ(p.HorizPagebreaks().Count(), 0);
    EXPECT_EQ(p.VertPagebreaks().Count(), 0);
}

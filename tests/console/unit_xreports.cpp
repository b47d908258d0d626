// The X report's text line by line, the separators it sets for the rest of
// the run, and the group check of the erase box.
#include <gtest/gtest.h>

#include "console/XReports.h"
#include "platform/CodePages.h"

namespace {

Q710XReportData Figures() {
    Q710XReportData d{};
    d.saleReceipts = 57;
    d.payoutReceipts = 65535;
    d.shiftStart = 45300.3541666667; // 09.01.2024 8:30:00
    const uint32_t sales[] = {1250050, 340000, 0, 7};
    const uint32_t payouts[] = {4500, 0, 100, 0};
    for (int i = 0; i < 4; ++i) {
        d.salesByTax[i] = sales[i];
        d.payoutsByTax[i] = payouts[i];
    }
    d.untaxedSales = 12000;
    d.salesByPayment[0] = 1402050;
    d.salesByPayment[1] = 200000;
    d.salesByPayment[2] = 99;
    d.payoutsByPayment[0] = 4500;
    d.cashIn = 50000;
    d.cashOut = 20000;
    d.marginsOnSales = 1200;
    d.discountsOnSales = 8300;
    d.discountsOnPayouts = 4294967295u;
    return d;
}

platform::RegionalSettings Ukrainian() {
    return platform::RegionalSettings{}; // ',' decimal, NBSP thousands, "грн." after the number
}

// The expected text in UTF-8, written out line by line.
std::string Expected(const std::string& shift, const std::vector<std::string>& sums) {
    const char* labels[] = {
        "Сума продажу за податковою групою \"А\": ",
        "Сума продажу за податковою групою \"Б\": ",
        "Сума продажу за податковою групою \"В\": ",
        "Сума продажу за податковою групою \"Г\": ",
        "Сума продажу за неоподаткованою групою: ",
        "Сума виплат (податків) за податковою групою \"А\": ",
        "Сума виплат (податків) за податковою групою \"Б\": ",
        "Сума виплат (податків) за податковою групою \"В\": ",
        "Сума виплат (податків) за податковою групою \"Г\": ",
        "Сума виплат за неоподаткованою групою: ",
        "Сума продажу за формою оплати \"ГОТІВКА\": ",
        "Сума продажу за формою оплати \"КАРТКА\": ",
        "Сума продажу за формою оплати \"В КРЕДИТ\": ",
        "Сума виплат за формою оплати \"ГОТІВКА\": ",
        "Сума виплат за формою оплати \"КАРТКА\": ",
        "Сума виплат за формою оплати \"В КРЕДИТ\": ",
        "Сума службового внесення готівки: ",
        "Сума службового вилучення готівки: ",
        "Сума націнок по продажах: ",
        "Сума націнок по виплатах: ",
        "Сума знижок по продажах: ",
        "Сума знижок по виплатах: ",
    };
    // Lines 5, 10, 13, 16, 18 and 20 close their blocks.
    const std::vector<int> blockEnds = {4, 9, 12, 15, 17, 19};
    std::string text = "Кільксть чеків продажу: 57\r\nКільксть чеків виплат:   65535\r\n"
                       "Дата та час початку нової зміни: " +
                       shift + "\r\r\n";
    for (std::size_t i = 0; i < 22; ++i) {
        text += labels[i] + sums[i];
        if (i == 21) break;
        const bool end =
            std::find(blockEnds.begin(), blockEnds.end(), static_cast<int>(i)) != blockEnds.end();
        text += end ? "\r\r\n" : "\r\n";
    }
    return text;
}

const std::string kNbsp = "\xC2\xA0";

TEST(XReport, TextLineByLine) {
    const std::vector<std::string> sums = {
        "12" + kNbsp + "500,50 грн.",
        "3" + kNbsp + "400,00 грн.",
        "0,00 грн.",
        "0,07 грн.",
        "120,00 грн.",
        "45,00 грн.",
        "0,00 грн.",
        "1,00 грн.",
        "0,00 грн.",
        "0,00 грн.",
        "14" + kNbsp + "020,50 грн.",
        "2" + kNbsp + "000,00 грн.",
        "0,99 грн.",
        "45,00 грн.",
        "0,00 грн.",
        "0,00 грн.",
        "500,00 грн.",
        "200,00 грн.",
        "12,00 грн.",
        "0,00 грн.",
        "83,00 грн.",
        "42" + kNbsp + "949" + kNbsp + "672,95 грн.",
    };
    EXPECT_EQ(platform::AnsiToUtf8(console::XReportText(Figures(), Ukrainian())),
              Expected("09.01.2024 8:30:00", sums));

    // A closed day, a start at midnight (the date alone) and all sums zero.
    const std::vector<std::string> zeros(22, "0,00 грн.");
    Q710XReportData d{};
    d.saleReceipts = 57;
    d.payoutReceipts = 65535;
    d.shiftStart = 36892.0;
    EXPECT_EQ(platform::AnsiToUtf8(console::XReportText(d, Ukrainian())),
              Expected("РОБОЧИЙ ДЕНЬ НА ЕККА ЗАКРИТО", zeros));
    d.shiftStart = 36892.5;
    EXPECT_EQ(platform::AnsiToUtf8(console::XReportText(d, Ukrainian())),
              Expected("01.01.2001 12:00:00", zeros));
    d.shiftStart = 45300.0;
    EXPECT_EQ(platform::AnsiToUtf8(console::XReportText(d, Ukrainian())), Expected("09.01.2024", zeros));
}

// The separators set by the X report stay for every later date and time text.
TEST(XReport, SeparatorsStayForTheRestOfTheRun) {
    platform::RegionalSettings saved = platform::Regional();
    platform::RegionalSettings us;
    us.shortDateFormat = "M/d/yyyy";
    us.longTimeFormat = "h:mm:ss tt";
    us.dateSeparator = '/';
    us.timeSeparator = '-';
    us.timeAm = "AM";
    us.timePm = "PM";
    platform::SetRegional(us);
    EXPECT_EQ(platform::FormatRegisterTime(3600 + 86400 * 40), "2/10/2001 1-00-00 AM");
    console::UseXReportSeparators();
    EXPECT_EQ(platform::Regional().dateSeparator, '.');
    EXPECT_EQ(platform::Regional().timeSeparator, ':');
    EXPECT_EQ(platform::FormatRegisterTime(3600 + 86400 * 40), "2.10.2001 1:00:00 AM");
    EXPECT_EQ(platform::Regional().shortDateFormat, "M/d/yyyy"); // the rest stays
    platform::SetRegional(saved);
}

TEST(EraseBox, GroupFieldKeepsAnyIntegerAndRefusesTheRest) {
    const std::pair<std::string, console::FieldCheck> rows[] = {
        {"5", {"5", false}},  {"0", {"0", false}}, {" 250 ", {" 250 ", false}}, {"-3", {"-3", false}},
        {"abc", {"1", true}}, {"", {"1", true}},   {"1,5", {"1", true}},        {"99999999999", {"1", true}},
    };
    for (const auto& [text, want] : rows) {
        const console::FieldCheck got = console::CheckEraseGroupField(text);
        EXPECT_EQ(got.text, want.text) << text;
        EXPECT_EQ(got.refused, want.refused) << text;
    }
}

} // namespace

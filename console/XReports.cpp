#include "console/XReports.h"

#include <array>
#include <iterator>

#include "console/Connection.h"
#include "console/GoodsFields.h"
#include "console/Guarded.h"
#include "console/NumberText.h"
#include "platform/ui/AnsiText.h"

namespace console {

namespace {

using platform::Ansi;

// 01.01.2001 00:00:00 as the X report's shift start: the working day is closed.
constexpr double ClosedDay = 36892.0;

// The labels of the X report's money lines in order; `end` closes a block.
struct MoneyLine {
    const char* label;
    bool end;
};

const MoneyLine kMoneyLines[] = {
    {"Сума продажу за податковою групою \"А\": ", false},
    {"Сума продажу за податковою групою \"Б\": ", false},
    {"Сума продажу за податковою групою \"В\": ", false},
    {"Сума продажу за податковою групою \"Г\": ", false},
    {"Сума продажу за неоподаткованою групою: ", true},
    {"Сума виплат (податків) за податковою групою \"А\": ", false},
    {"Сума виплат (податків) за податковою групою \"Б\": ", false},
    {"Сума виплат (податків) за податковою групою \"В\": ", false},
    {"Сума виплат (податків) за податковою групою \"Г\": ", false},
    {"Сума виплат за неоподаткованою групою: ", true},
    {"Сума продажу за формою оплати \"ГОТІВКА\": ", false},
    {"Сума продажу за формою оплати \"КАРТКА\": ", false},
    {"Сума продажу за формою оплати \"В КРЕДИТ\": ", true},
    {"Сума виплат за формою оплати \"ГОТІВКА\": ", false},
    {"Сума виплат за формою оплати \"КАРТКА\": ", false},
    {"Сума виплат за формою оплати \"В КРЕДИТ\": ", true},
    {"Сума службового внесення готівки: ", false},
    {"Сума службового вилучення готівки: ", true},
    {"Сума націнок по продажах: ", false},
    {"Сума націнок по виплатах: ", true},
    {"Сума знижок по продажах: ", false},
    {"Сума знижок по виплатах: ", false},
};

// The sums of the record in the order of the lines.
std::array<uint32_t, std::size(kMoneyLines)> MoneyValues(const Q710XReportData& d) {
    return {d.salesByTax[0],
            d.salesByTax[1],
            d.salesByTax[2],
            d.salesByTax[3],
            d.untaxedSales,
            d.payoutsByTax[0],
            d.payoutsByTax[1],
            d.payoutsByTax[2],
            d.payoutsByTax[3],
            d.untaxedPayouts,
            d.salesByPayment[0],
            d.salesByPayment[1],
            d.salesByPayment[2],
            d.payoutsByPayment[0],
            d.payoutsByPayment[1],
            d.payoutsByPayment[2],
            d.cashIn,
            d.cashOut,
            d.marginsOnSales,
            d.marginsOnPayouts,
            d.discountsOnSales,
            d.discountsOnPayouts};
}

std::string ShiftStartText(double shiftStart, const platform::RegionalSettings& rs) {
    if (shiftStart == ClosedDay) return Ansi("РОБОЧИЙ ДЕНЬ НА ЕККА ЗАКРИТО");
    return platform::FormatDateTime(platform::DaysToCivil(shiftStart), rs);
}

uint8_t ReadHourlyLine(const device::DeviceApi& api, HourlyReportLine& line, const char** err) {
    return api.GetXReportByHours(0, &line.saleReceipts, &line.refundReceipts, &line.saleSum, &line.refundSum,
                                 err);
}

uint8_t ReadPeriodicLine(const device::DeviceApi& api, PeriodicHourlyReportLine& line, const char** err) {
    return api.GetPeriodicXReportByHours103(0, &line.saleReceipts, &line.refundReceipts, &line.saleSum,
                                            &line.refundSum, err);
}

template <class Line>
ReadingJob HoursJob(std::vector<Line>& array, int rawSize, typename ArrayTarget<Line>::FirstCall first,
                    typename ArrayTarget<Line>::Unpack unpack, ProgressDisplay& display,
                    const char* titlePrefix, const char* stopQuestion, uint8_t kind) {
    ReadingJob job;
    ReadingMember& m = job.member;
    m.titlePrefix = Ansi(titlePrefix);
    m.stopQuestion = Ansi(stopQuestion);
    m.stopCaption = Ansi("Експорт погодинного звіту");
    m.incompleteText = Ansi("ЕККА передав звіт по годинам не повністю!\r\nЕкспорт даних не виконано.");
    m.kind = kind;
    m.fixedCount = HoursPerReport;
    m.maximumAtEnd = ReportBarMaximum;
    m.prepare = [&display] {
        display.SetMaximum(static_cast<int32_t>(HoursPerReport));
        return true;
    };
    job.target = std::make_unique<ArrayTarget<Line>>(array, rawSize, std::move(first), unpack);
    return job;
}

std::string Success(const char* what) {
    return Ansi("Обнолення періодичного звіту ") + Ansi(what) + Ansi(" успішно виконано!");
}

} // namespace

std::string XReportText(const Q710XReportData& d, const platform::RegionalSettings& rs) {
    const std::string line = "\r\n";
    const std::string blockEnd = "\r\r\n";
    std::string text = Ansi("Кільксть чеків продажу: ") + std::to_string(d.saleReceipts) + line;
    text += Ansi("Кільксть чеків виплат:   ") + std::to_string(d.payoutReceipts) + line;
    text += Ansi("Дата та час початку нової зміни: ") + ShiftStartText(d.shiftStart, rs) + blockEnd;
    const auto values = MoneyValues(d);
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += Ansi(kMoneyLines[i].label) + platform::FormatMoneyKopecks(int64_t{values[i]}, rs);
        if (i + 1 < values.size()) text += kMoneyLines[i].end ? blockEnd : line;
    }
    return text;
}

void UseXReportSeparators() {
    platform::RegionalSettings rs = platform::Regional();
    rs.dateSeparator = '.';
    rs.timeSeparator = ':';
    platform::SetRegional(rs);
}

ReadingJob DailyHoursReportJob(const device::DeviceApi& api, SharedArrays& arrays, ProgressDisplay& display) {
    return HoursJob<HourlyReportLine>(
        arrays.HourlyReport, Q710_RAW_HOURLY_LINE_SIZE,
        [&api](HourlyReportLine& line, const char** err) { return ReadHourlyLine(api, line, err); },
        &UnpackHourlyLine, display, "Q710 Експорт (денний погодинний звіт) ",
        "Ви дійсно бажаєте зупинити експорт денного погодинного звіту?", 7);
}

ReadingJob PeriodicHoursReportJob(const device::DeviceApi& api, SharedArrays& arrays,
                                  ProgressDisplay& display) {
    return HoursJob<PeriodicHourlyReportLine>(
        arrays.PeriodicHourlyReport, Q710_RAW_PERIODIC_HOURLY_LINE_SIZE,
        [&api](PeriodicHourlyReportLine& line, const char** err) { return ReadPeriodicLine(api, line, err); },
        &UnpackPeriodicHourlyLine, display, "Q710 Експорт (періодичний погодинний звіт) ",
        "Ви дійсно бажаєте зупинити експорт періодичного погодинного звіту?", 8);
}

FieldCheck CheckEraseGroupField(const std::string& text) {
    if (Int32Of(text)) return {text, false};
    return {"1", true};
}

EraseOutcome ErasePeriodicGoodsReport(const device::DeviceApi& api, int mode, const EraseFields& f) {
    const char* err = nullptr;
    uint8_t status = Q710_OK;
    std::string success;
    if (mode == EraseByCodes) {
        const int32_t firstPlu = IntegerValue(f.firstPlu), lastPlu = IntegerValue(f.lastPlu);
        const int64_t firstBarcode = Int64Value(f.firstBarcode), lastBarcode = Int64Value(f.lastBarcode);
        status = api.ErasePeriodicReportByGoodsCode103(firstPlu, lastPlu, firstBarcode, lastBarcode, &err);
        success = Success("ПО КОДАХ ТОВАРІВ");
    } else if (mode == EraseByGroups) {
        const int32_t first = IntegerValue(f.firstGroup), last = IntegerValue(f.lastGroup);
        status = api.ErasePeriodicReportByGoodsGroup103(first, last, &err);
        success = Success("ПО ГРУПАХ ТОВАРІВ");
    } else {
        status = api.ErasePeriodicReportByGoodsGroup103(0, 0, &err);
        success = Success("ПО ВСІХ ТОВАРАХ");
    }
    if (status != Q710_OK) return {false, device::DeviceText(err)};
    return {true, success};
}

} // namespace console

#include "exchange/ReportColumns.h"

#include <climits>

#include "platform/RegionalSettings.h"

namespace exchange {

namespace {

using K = ValueKind;

constexpr ReportColumn kColumns[GoodsReportValueCount] = {
    {K::Integer, "НОМЕР:", {"NUMBER", dftNumeric, 5, 0}},
    {K::Integer, "PLU:", {"PLU", dftNumeric, 6, 0}},
    {K::Code, "ШТРИХ-КОД:", {"BARCODE", dftCharacter, 13, 0}},
    {K::Name, "НАЙМЕНУВАННЯ:", {"NAME", dftCharacter, 31, 0}},
    {K::Money, "ЦІНА (грн):", {"PRICE", dftFloat, 10, 2}},
    {K::Quantity, "ЗАЛИШОК:", {"REMAINS", dftFloat, 12, 3}},
    {K::Integer, "ТОВАРНА ГРУПА:", {"GROUPID", dftNumeric, 3, 0}},
    {K::Integer, "ПОДАТКОВА ГРУПА:", {"VAT", dftNumeric, 1, 0}},
    {K::Flag, "ТИП (ВАГОВИЙ):", {"WEIGHT", dftLogical, 1, 0}},
    {K::Flag, "КОНТРОЛЬ НАЯВНОСТІ:", {"PRESENCE", dftLogical, 1, 0}},
    {K::Flag, "БЛОКУВАННЯ ПРОДАЖУ:", {"BLOCKING", dftLogical, 1, 0}},
    {K::Integer, "НОМЕР ОПЕРАЦІЇ ВИПЛАТИ:", {"PAYTYPE", dftNumeric, 1, 0}},
    {K::Quantity, "КІЛЬ-ТЬ (ПРОДАЖ):", {"SALESQTY", dftFloat, 12, 3}},
    {K::Money, "СУМА (ПРОДАЖ):", {"SALESSUM", dftFloat, 10, 2}},
    {K::Quantity, "КІЛЬ-ТЬ (ВИПЛАТИ):", {"REFUNDQTY", dftFloat, 12, 3}},
    {K::Money, "СУМА (ВИПЛАТИ):", {"REFUNDSUM", dftFloat, 10, 2}},
    {K::Money, "СУМА ЗНИЖОК З ПРОДАЖІВ:", {"DSSUMSALE", dftFloat, 10, 2}},
    {K::Money, "СУМА ЗНИЖОК З ВИПЛАТ:", {"DSSUMREF", dftFloat, 10, 2}},
    {K::Money, "СУМА НАЦІНОК З ПРОДАЖІВ:", {"MKSUMSALE", dftFloat, 10, 2}},
    {K::Money, "СУМА НАЦІНОК З ВИПЛАТ:", {"MKSUMREF", dftFloat, 10, 2}},
};

constexpr ReportColumn kHourColumns[] = {
    {K::StartHour, "ЧАС (З):", {"START_HOUR", dftCharacter, 5, 0}},
    {K::EndHour, "ЧАС (ПО):", {"END_HOUR", dftCharacter, 5, 0}},
    {K::Integer, "ЧЕКІВ ПРОДАЖУ:", {"SELRCPTQTY", dftNumeric, 6, 0}},
    {K::Money, "СУМА ПРОДАЖІВ (грн):", {"TOTALSELSUM", dftFloat, 12, 2}},
    {K::Integer, "ЧЕКІВ ВИПЛАТ:", {"REFRCPTQTY", dftNumeric, 6, 0}},
    {K::Money, "СУМА ВИПЛАТ (грн):", {"TOTALREFSUM", dftFloat, 12, 2}},
};
constexpr uint8_t kHourXlsColumns[] = {0, 1, 2, 3, 4, 5};

constexpr uint32_t kBlue = 0xFF0000;
constexpr uint32_t kGreen = 0x008000;
constexpr uint32_t kRed = 0x0000FF;
constexpr XlsColumnColour kGoodsColours[] = {{1, kBlue}};
constexpr XlsColumnColour kHourColours[] = {{0, kGreen}, {1, kRed}};

constexpr ReportColumn kGroupColumns[] = {
    {K::Integer, "НОМЕР ГРУПИ:", {"ID", dftNumeric, 3, 0}},
    {K::Name, "НАЗВА ТОВАРНОЇ ГРУПИ:", {"NAME", dftCharacter, 20, 0}},
};
constexpr uint8_t kGroupXlsColumns[] = {0, 1};
constexpr XlsColumnColour kGroupColours[] = {{0, kBlue}};

constexpr uint8_t kGoodsXlsColumns[GoodsReportValueCount] = {0,  2,  1,  3,  4,  5,  6,  7,  8,  9,
                                                             10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
constexpr uint8_t kPeriodicXlsColumns[PeriodicReportValueCount] = {0, 1, 2,  3,  4,  5,  6,  7,
                                                                   8, 9, 10, 11, 12, 13, 14, 15};

// The first twelve values are the same in both records.
template <class Record> ReportRow CommonValues(const Record& r) {
    ReportRow row;
    std::string_view name = r.Name();
    row.name = name.substr(0, name.find('\0'));
    row.numbers = {r.number,
                   r.plu,
                   r.barcode,
                   0,
                   r.price,
                   r.remainder,
                   r.group,
                   r.tax + 1,
                   r.weighed != 0,
                   r.presenceControl != 0,
                   r.saleBlocking != 0,
                   r.payoutOperation};
    return row;
}

} // namespace

ReportRow RowOf(const GoodsStruct& r) {
    ReportRow row = CommonValues(r);
    const int64_t rest[] = {r.soldQuantity,     r.salesSum,           r.payoutQuantity, r.payoutsSum,
                            r.discountsOnSales, r.discountsOnPayouts, r.marginsOnSales, r.marginsOnPayouts};
    std::copy(std::begin(rest), std::end(rest), row.numbers.begin() + 12);
    return row;
}

ReportRow RowOf(const PeriodicGoodsStruct& r) {
    ReportRow row = CommonValues(r);
    const int64_t rest[] = {r.soldQuantity, r.salesSum, r.payoutQuantity, r.payoutsSum};
    std::copy(std::begin(rest), std::end(rest), row.numbers.begin() + 12);
    return row;
}

ReportRow RowOf(const GoodsGroupRecord& r) {
    ReportRow row;
    row.numbers[0] = r.Number;
    row.name = std::string_view(r.Name).substr(0, r.Name.find('\0'));
    return row;
}

template <class Line> ReportRow HourRow(const Line& line, std::size_t hour) {
    ReportRow row;
    const auto h = static_cast<int64_t>(hour);
    row.numbers = {h, h, line.saleReceipts, line.saleSum, line.refundReceipts, line.refundSum};
    return row;
}

ReportRow RowOf(const HourlyReportLine& line, std::size_t hour) {
    return HourRow(line, hour);
}

ReportRow RowOf(const PeriodicHourlyReportLine& line, std::size_t hour) {
    return HourRow(line, hour);
}

const ReportLayout& GoodsReportLayout() {
    static const ReportLayout layout{kColumns, kGoodsXlsColumns, "Excel files (*.xls)|*.xls", kGoodsColours};
    return layout;
}

const ReportLayout& PeriodicGoodsReportLayout() {
    static const ReportLayout layout{std::span(kColumns).first(PeriodicReportValueCount), kPeriodicXlsColumns,
                                     "Excel files(*.xls)|*.xls", kGoodsColours};
    return layout;
}

const ReportLayout& HoursReportLayout() {
    static const ReportLayout layout{kHourColumns, kHourXlsColumns, "Excel files (*.xls)|*.xls",
                                     kHourColours};
    return layout;
}

std::string PlainValueText(ValueKind kind, int64_t number, std::string_view setFlag,
                           std::string_view clearFlag) {
    switch (kind) {
    case K::Money:
        return platform::FormatKopecks(number);
    case K::Quantity:
        return platform::FormatGeneralThousandths(number);
    case K::Flag:
        return std::string(number != 0 ? setFlag : clearFlag);
    case K::StartHour:
        return std::to_string(number) + ":00";
    case K::EndHour:
        return std::to_string(number + 1 < 24 ? number + 1 : 0) + ":00";
    default:
        return std::to_string(number);
    }
}

std::string TextValueOf(ValueKind kind, const ReportRow& row, std::size_t value) {
    return kind == K::Name ? std::string(row.name) : PlainValueText(kind, row.numbers[value], "", "");
}

XlsCellValue XlsCellOf(const ReportLayout& layout, const ReportRow& row, std::size_t value) {
    XlsCellValue cell;
    cell.column = layout.xlsColumns[value];
    int64_t n = row.numbers[value];
    switch (layout.columns[value].kind) {
    case K::Integer:
        if (n < INT32_MIN || n > INT32_MAX) {
            cell.kind = XlsCellKind::Float;
            cell.number = static_cast<double>(n);
        } else {
            cell.kind = XlsCellKind::Integer;
            cell.integer = static_cast<int32_t>(n);
        }
        break;
    case K::Code:
        cell.text = std::to_string(n);
        break;
    case K::Name:
    case K::StartHour:
    case K::EndHour:
        cell.text = TextValueOf(layout.columns[value].kind, row, value);
        break;
    case K::Money:
        cell.text = platform::FormatMoneyKopecks(n);
        break;
    case K::Quantity:
        cell.kind = XlsCellKind::Float;
        cell.number = static_cast<double>(n) / 1000.0;
        break;
    case K::Flag:
        cell.kind = XlsCellKind::Boolean;
        cell.flag = n != 0;
        break;
    }
    return cell;
}

std::vector<std::string> XlsCaptions(const ReportLayout& layout) {
    std::vector<std::string> captions(layout.columns.size());
    for (std::size_t i = 0; i < layout.columns.size(); ++i)
        captions[layout.xlsColumns[i]] = layout.columns[i].xlsCaption;
    return captions;
}

const ReportLayout& GoodsGroupsLayout() {
    static const ReportLayout layout{kGroupColumns, kGroupXlsColumns, "Excel files (*.xls)|*.xls",
                                     kGroupColours, GoodsGroupCount + 1};
    return layout;
}

} // namespace exchange

// The columns of the goods reports and the reports by hours as the file
// exports write them: one table of values per report with, per value, what it
// is and how each format stores it. The CSV, DBF and XML writers walk the
// table in value order; a workbook writer places each value by `xlsColumns`.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/GoodsRecords.h"
#include "exchange/DBF.h"

namespace exchange {

// What a value is; each format derives its text or cell from this.
enum class ValueKind : uint8_t {
    Integer,   // decimal; an integer cell
    Code,      // barcode: decimal text of the signed value; a text cell
    Name,      // the goods name (ANSI); a text cell
    Money,     // kopecks: "%0.2f" in text files, "%0.2m" text in a workbook
    Quantity,  // thousandths: general text in text files, a float cell
    Flag,      // 0 or 1
    StartHour, // hour k of a report by hours: the text "k:00"
    EndHour,   // its end: "k+1:00", the last hour "0:00"
};

// Values written as text in every format (CSV quotes them under QUOTES).
inline bool IsTextValue(ValueKind kind) {
    return kind == ValueKind::Name || kind == ValueKind::StartHour || kind == ValueKind::EndHour;
}

struct DbfFieldDef {
    const char* name;
    TDbfFieldType type;
    uint8_t length;
    uint8_t decimals;
};

struct ReportColumn {
    ValueKind kind;
    const char* xlsCaption; // UTF-8, caption row of the workbook
    DbfFieldDef dbf;
};

inline constexpr std::size_t GoodsReportValueCount = 20;
inline constexpr std::size_t PeriodicReportValueCount = 16;

// One record's values in column order. Numbers hold integers, codes, kopecks,
// thousandths and flags (0/1); the name column's number is unused.
struct ReportRow {
    std::array<int64_t, GoodsReportValueCount> numbers{};
    std::string_view name; // ANSI, up to its first zero byte; points into the record
};

ReportRow RowOf(const GoodsStruct& record);
ReportRow RowOf(const PeriodicGoodsStruct& record);
ReportRow RowOf(const GoodsGroupRecord& record);
// Hour lines: the hour (line index) in both hour columns.
ReportRow RowOf(const HourlyReportLine& line, std::size_t hour);
ReportRow RowOf(const PeriodicHourlyReportLine& line, std::size_t hour);

// The row of record `index` of a report.
template <class Record> ReportRow RowAt(const std::vector<Record>& report, std::size_t index) {
    if constexpr (requires(const Record& r) { RowOf(r, index); })
        return RowOf(report[index], index);
    else
        return RowOf(report[index]);
}

// The progress maximum of a report: its number of records.
template <class Record> int32_t ProgressMaximumOf(const std::vector<Record>& report) {
    return static_cast<int32_t>(std::min<std::size_t>(report.size(), INT32_MAX));
}

// A font colour of a workbook column's cells, caption row included.
struct XlsColumnColour {
    int column;
    uint32_t colour; // 0x00BBGGRR
};

struct ReportLayout {
    std::span<const ReportColumn> columns;
    std::span<const uint8_t> xlsColumns; // workbook column of each value
    const char* xlsFilter;               // save filter of the workbook export
    std::span<const XlsColumnColour> xlsColours;
    int xlsColourLastRow = 0; // last row of the coloured columns; 0: the last record's
};

// Goods report (kinds 5, 9, 10): 20 values, barcode before PLU in the workbook.
const ReportLayout& GoodsReportLayout();
// Periodic goods report (kind 6): the first 16 values, PLU before barcode in the workbook.
const ReportLayout& PeriodicGoodsReportLayout();
// Reports by hours (kinds 7 and 8): hours, receipts and sums of sales and refunds.
const ReportLayout& HoursReportLayout();
// Goods groups (kind 2): number and name; the numbers' column blue down to row 101.
const ReportLayout& GoodsGroupsLayout();

// Text of a value other than the name in CSV, DBF and XML files, by the
// regional settings.
std::string PlainValueText(ValueKind kind, int64_t number, std::string_view setFlag,
                           std::string_view clearFlag);
// Text of a text value (ANSI): the name, or an hour.
std::string TextValueOf(ValueKind kind, const ReportRow& row, std::size_t value);

// One workbook cell of a value: what the sheet's SetAs... call gets. An
// integer beyond 32 bits (a periodic receipt count of 2^31 or more) is a
// float cell holding the value, not a negative integer.
enum class XlsCellKind : uint8_t { Integer, Text, Float, Boolean };
struct XlsCellValue {
    XlsCellKind kind = XlsCellKind::Text;
    int column = 0;
    int32_t integer = 0;
    double number = 0;
    bool flag = false;
    std::string text; // ANSI
};
XlsCellValue XlsCellOf(const ReportLayout& layout, const ReportRow& row, std::size_t value);
// The caption row, in workbook column order (UTF-8).
std::vector<std::string> XlsCaptions(const ReportLayout& layout);

} // namespace exchange

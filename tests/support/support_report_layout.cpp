#include "support_report_layout.h"

namespace testfiles {

const char* const kReportAttributes[20] = {"Number",
                                           "PLU",
                                           "Barcode",
                                           "Name",
                                           "Price",
                                           "Remains",
                                           "GroupID",
                                           "VAT",
                                           "Weight",
                                           "Presence",
                                           "Blocking",
                                           "PaymentType",
                                           "TotalSoldQuantity",
                                           "TotalSoldSum",
                                           "TotalRefundQuantity",
                                           "TotalRefundSum",
                                           "TotalSalesDiscountSum",
                                           "TotalRefundsDiscountSum",
                                           "TotalSalesMarkupSum",
                                           "TotalRefundsMarkupSum"};

const char* const kReportCaptions[19] = {"PLU",
                                         "ШТРИХ-КОД",
                                         "НАЙМЕНУВАННЯ",
                                         "ЦІНА",
                                         "ЗАЛИШОК",
                                         "ТОВАРНА ГРУПА",
                                         "ПОДАТКОВА ГРУПА",
                                         "ТИП",
                                         "КОНТРОЛЬ НАЯВНОСТІ",
                                         "БЛОКУВАННЯ ПРОДАЖУ",
                                         "НОМЕР ОПЕРАЦІЇ ВИПЛАТИ",
                                         "КІЛЬ-ТЬ (ПРОДАЖ)",
                                         "СУМА (ПРОДАЖ)",
                                         "КІЛЬ-ТЬ (ВИПЛАТИ)",
                                         "СУМА (ВИПЛАТИ)",
                                         "СУМА ЗНИЖОК З ПРОДАЖІВ",
                                         "СУМА ЗНИЖОК З ВИПЛАТ",
                                         "СУМА НАЦІНОК З ПРОДАЖІВ",
                                         "СУМА НАЦІНОК З ВИПЛАТ"};

const ReportDbfField kReportDbfFields[20] = {
    {"NUMBER", "N", 5, 0},     {"PLU", "N", 6, 0},       {"BARCODE", "C", 13, 0},   {"NAME", "C", 31, 0},
    {"PRICE", "F", 10, 2},     {"REMAINS", "F", 12, 3},  {"GROUPID", "N", 3, 0},    {"VAT", "N", 1, 0},
    {"WEIGHT", "L", 1, 0},     {"PRESENCE", "L", 1, 0},  {"BLOCKING", "L", 1, 0},   {"PAYTYPE", "N", 1, 0},
    {"SALESQTY", "F", 12, 3},  {"SALESSUM", "F", 10, 2}, {"REFUNDQTY", "F", 12, 3}, {"REFUNDSUM", "F", 10, 2},
    {"DSSUMSALE", "F", 10, 2}, {"DSSUMREF", "F", 10, 2}, {"MKSUMSALE", "F", 10, 2}, {"MKSUMREF", "F", 10, 2}};

} // namespace testfiles

#include "support_reports.h"

#include <algorithm>

#include "platform/CodePages.h"
#include "platform/ui/ScriptedUi.h"
#include "support_report_layout.h"

namespace exchange_test {

namespace {

std::string A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

template <class Record>
void SetCommon(Record& r, uint16_t number, int32_t plu, int64_t barcode, const char* name) {
    r.number = number;
    r.plu = plu;
    r.barcode = barcode;
    r.SetName(A(name));
}

} // namespace

// The texts of `joined`, split at '|', with '~' standing for the decimal separator.
std::vector<std::string> Texts(char sep, std::string joined) {
    for (char& c : joined)
        if (c == '~') c = sep;
    std::vector<std::string> texts;
    for (std::size_t from = 0, at; from <= joined.size(); from = at + 1) {
        at = std::min(joined.find('|', from), joined.size());
        texts.push_back(joined.substr(from, at - from));
    }
    return texts;
}

GoodsStruct Bread() {
    GoodsStruct g;
    SetCommon(g, 1, 5, 4820000000001LL, "Хліб житній");
    g.price = 1250;
    g.remainder = 1500;
    g.group = 3;
    g.tax = 0;
    g.weighed = -1;
    g.presenceControl = 1;
    g.saleBlocking = 0;
    g.payoutOperation = 2;
    g.soldQuantity = 2000;
    g.payoutQuantity = 1;
    g.salesSum = 123456;
    g.payoutsSum = 5;
    g.discountsOnSales = 0;
    g.discountsOnPayouts = 10;
    g.marginsOnSales = 99;
    g.marginsOnPayouts = 100;
    return g;
}

std::vector<std::string> BreadTexts(char sep) {
    return Texts(
        sep, "1|5|4820000000001|Хліб житній|12~50|1~5|3|1|1|1|0|2|2|1234~56|0~001|0~05|0~00|0~10|0~99|1~00");
}

GoodsStruct Widest() {
    GoodsStruct g;
    SetCommon(g, 65535, 999999, -999999999999LL, "Молоко 2,5% пастеризоване 900мл");
    g.price = 99999999;
    g.remainder = 4294967295u;
    g.group = 100;
    g.tax = 4;
    g.weighed = 0;
    g.presenceControl = 0;
    g.saleBlocking = static_cast<int16_t>(0xFFFF);
    g.payoutOperation = 3;
    g.soldQuantity = 4294967295u;
    g.payoutQuantity = 0;
    g.salesSum = 999999999;
    g.payoutsSum = 0;
    g.discountsOnSales = 1;
    g.discountsOnPayouts = 4294967;
    g.marginsOnSales = 1000;
    g.marginsOnPayouts = 999999999;
    return g;
}

std::vector<std::string> WidestTexts(char sep) {
    return Texts(
        sep, "65535|999999|-999999999999|Молоко 2,5% пастеризоване 900мл|999999~99|4294967~295|100|5|0|0|1|3|"
             "4294967~295|9999999~99|0|0~00|0~01|42949~67|10~00|9999999~99");
}

PeriodicGoodsStruct PeriodicBread() {
    PeriodicGoodsStruct g;
    SetCommon(g, 7, 12, 0, "Сир твердий");
    g.price = 15075;
    g.remainder = 2500;
    g.group = 1;
    g.tax = 2;
    g.weighed = -1;
    g.presenceControl = 0;
    g.saleBlocking = -1;
    g.payoutOperation = 0;
    g.soldQuantity = -2500;
    g.payoutQuantity = 3000;
    g.salesSum = -150;
    g.payoutsSum = 0;
    return g;
}

std::vector<std::string> PeriodicBreadTexts(char sep) {
    return Texts(sep, "7|12|0|Сир твердий|150~75|2~5|1|3|1|0|1|0|-2~5|-1~50|3|0~00");
}

PeriodicGoodsStruct PeriodicLarge() {
    PeriodicGoodsStruct g;
    SetCommon(g, 300, 1048575, 4398046511103LL, "");
    g.price = 4294967295u;
    g.remainder = 0x80000000u;
    g.group = 100;
    g.tax = 4;
    g.payoutOperation = 3;
    g.soldQuantity = 281474976710655LL;
    g.payoutQuantity = 1;
    g.salesSum = 281474976710655LL;
    g.payoutsSum = -281474976710655LL;
    return g;
}

std::vector<std::string> PeriodicLargeTexts(char sep) {
    return Texts(sep, "300|1048575|4398046511103||42949672~95|2147483~648|100|5|0|0|0|3|281474976710~655|"
                      "2814749767106~55|0~001|-2814749767106~55");
}

exchange::DispatchResult RunExport(Job& job, int format, int kind, std::optional<std::string> path,
                                   platform::ScriptedUi& ui) {
    ui.QueueFile(std::move(path));
    job.state.MakeMetod.OperationKind = static_cast<uint8_t>(kind);
    exchange::JobContext context = job.Context();
    return exchange::Dispatch(context, format, kind);
}

Rows GoodsTableFields() {
    Rows fields;
    for (const testfiles::ReportDbfField& f : testfiles::kReportDbfFields)
        fields.push_back({f.name, f.type, std::to_string(f.length), std::to_string(f.decimals)});
    return fields;
}

} // namespace exchange_test

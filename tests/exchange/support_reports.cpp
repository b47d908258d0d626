#include "support_reports.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>

#include "platform/CodePages.h"
#include "platform/ui/ScriptedUi.h"

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

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string current;
    std::istringstream in(text);
    while (std::getline(in, current, separator)) parts.push_back(current);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

std::string With(char sep, std::string text) {
    for (char& c : text)
        if (c == '~') c = sep;
    return text;
}

std::vector<std::string> Texts(char sep, std::initializer_list<const char*> values) {
    std::vector<std::string> texts;
    for (const char* v : values) texts.push_back(With(sep, v));
    return texts;
}

} // namespace

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
    return Texts(sep,
                 {"1", "5", "4820000000001", "Хліб житній", "12~50", "1~5",  "3",    "1",    "1",   "1", "0",
                  "2", "2", "1234~56",       "0~001",       "0~05",  "0~00", "0~10", "0~99", "1~00"});
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
    return Texts(sep, {"65535",
                       "999999",
                       "-999999999999",
                       "Молоко 2,5% пастеризоване 900мл",
                       "999999~99",
                       "4294967~295",
                       "100",
                       "5",
                       "0",
                       "0",
                       "1",
                       "3",
                       "4294967~295",
                       "9999999~99",
                       "0",
                       "0~00",
                       "0~01",
                       "42949~67",
                       "10~00",
                       "9999999~99"});
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
    return Texts(sep, {"7", "12", "0", "Сир твердий", "150~75", "2~5", "1", "3", "1", "0", "1", "0", "-2~5",
                       "-1~50", "3", "0~00"});
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
    return Texts(sep, {"300", "1048575", "4398046511103", "", "42949672~95", "2147483~648", "100", "5", "0",
                       "0", "0", "3", "281474976710~655", "2814749767106~55", "0~001", "-2814749767106~55"});
}

Rows SplitRows(const std::string& out) {
    Rows rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) rows.push_back(Split(line, '\x1f'));
    return rows;
}

exchange::DispatchResult RunExport(Job& job, int format, int kind, std::optional<std::string> path,
                                   platform::ScriptedUi& ui) {
    ui.QueueFile(std::move(path));
    job.state.MakeMetod.OperationKind = static_cast<uint8_t>(kind);
    exchange::JobContext context = job.Context();
    return exchange::Dispatch(context, format, kind);
}

std::string RunPython(const std::string& script, const std::vector<std::string>& args) {
    ScratchDir dir;
    std::string file = dir.File("oracle.py");
    WriteFile(file, script);
    std::string command = "/usr/bin/python3 '" + file + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    if (!pipe) return out;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
    int status = pclose(pipe.release());
    EXPECT_EQ(status, 0) << out;
    return out;
}

Rows PythonCsvRows(const std::string& path, char delimiter, bool quoting, const std::string& encoding) {
    static const char* script = R"PY(
import sys, csv
path, delim, quoting, enc = sys.argv[1:5]
delim = {"TAB": "\t"}.get(delim, delim)
opts = {"quoting": csv.QUOTE_MINIMAL} if quoting == "1" else {"quoting": csv.QUOTE_NONE}
with open(path, newline="", encoding=enc) as f:
    for row in csv.reader(f, delimiter=delim, strict=True, **opts):
        sys.stdout.buffer.write(("\x1f".join(row) + "\n").encode("utf-8"))
)PY";
    std::string delim = delimiter == '\t' ? "TAB" : std::string(1, delimiter);
    return SplitRows(RunPython(script, {path, delim, quoting ? "1" : "0", encoding}));
}

Rows DbfreadRows(const std::string& path, const std::string& encoding) {
    static const char* script = R"PY(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding=sys.argv[2], char_decode_errors="strict")
out = [[str(t.header.headerlen), str(t.header.recordlen)]]
out += [[f.name, f.type, str(f.length), str(f.decimal_count)] for f in t.fields]
out.append(["--"])
out += [[str(v) for v in r.values()] for r in t]
for row in out:
    sys.stdout.buffer.write(("\x1f".join(row) + "\n").encode("utf-8"))
)PY";
    return SplitRows(RunPython(script, {path, encoding}));
}

Rows GoodsTableFields() {
    return {{"NUMBER", "N", "5", "0"},     {"PLU", "N", "6", "0"},        {"BARCODE", "C", "13", "0"},
            {"NAME", "C", "31", "0"},      {"PRICE", "F", "10", "2"},     {"REMAINS", "F", "12", "3"},
            {"GROUPID", "N", "3", "0"},    {"VAT", "N", "1", "0"},        {"WEIGHT", "L", "1", "0"},
            {"PRESENCE", "L", "1", "0"},   {"BLOCKING", "L", "1", "0"},   {"PAYTYPE", "N", "1", "0"},
            {"SALESQTY", "F", "12", "3"},  {"SALESSUM", "F", "10", "2"},  {"REFUNDQTY", "F", "12", "3"},
            {"REFUNDSUM", "F", "10", "2"}, {"DSSUMSALE", "F", "10", "2"}, {"DSSUMREF", "F", "10", "2"},
            {"MKSUMSALE", "F", "10", "2"}, {"MKSUMREF", "F", "10", "2"}};
}

void KeepTestOutput(const std::string& path, const std::string& name) {
    const char* out = std::getenv("Q710_TEST_OUT");
    if (out == nullptr || *out == '\0') return;
    std::filesystem::create_directories(out);
    std::filesystem::copy_file(path, std::filesystem::path(out) / name,
                               std::filesystem::copy_options::overwrite_existing);
}

} // namespace exchange_test

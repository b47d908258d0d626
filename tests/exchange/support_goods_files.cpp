// The workbook headers before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/Tabrix4.h"

#include "support_goods_files.h"

#include <gtest/gtest.h>

#include "console/NumberText.h"
#include "exchange/Dispatcher.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

namespace exchange_test {

namespace {

const char* const kAttributes[12] = {"Number",  "PLU", "Barcode", "Name",     "Price",    "Remains",
                                     "GroupID", "VAT", "Weight",  "Presence", "Blocking", "PaymentType"};

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void Le(std::string& bytes, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string DbfValue(const DbfField& field, const std::optional<std::string>& value) {
    std::string text = value ? platform::Utf8ToAnsi(*value) : std::string();
    if (field.type == 'L' && (text == "1" || text == "0")) text = text == "1" ? "T" : "F";
    if (field.type == 'N' || field.type == 'F') {
        std::replace(text.begin(), text.end(), ',', '.');
        if (static_cast<int>(text.size()) < field.length) text.insert(0, field.length - text.size(), ' ');
    }
    text.resize(static_cast<std::size_t>(field.length), ' ');
    return text;
}

// The workbook column of each value: the barcode comes before the PLU.
constexpr int kXlsColumn[12] = {0, 2, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11};

void SetXlsCell(xls::TSheet& sheet, int column, int row, const std::string& text) {
    if (!text.empty() && text[0] == '\'') {
        sheet.SetAsString(column, row, platform::Utf8ToUtf16(text.substr(1)));
    } else if (text == "TRUE" || text == "FALSE") {
        sheet.SetAsBoolean(column, row, text == "TRUE");
    } else if (text == "#DIV/0!" || text == "#N/A") {
        sheet.PutError(column, row, 15, text == "#N/A" ? 7 : 2);
    } else if (auto integer = console::Int32Of(text)) {
        sheet.SetAsInteger(column, row, *integer);
    } else if (auto number = platform::ParseDecimal(text)) {
        sheet.SetAsFloat(column, row, *number);
    } else {
        sheet.SetAsString(column, row, platform::Utf8ToUtf16(text));
    }
}

} // namespace

GoodsRowText GoodsRow(int n) {
    return {std::to_string(n),
            std::to_string(100 + n),
            std::to_string(4820000000000 + n),
            "Товар " + std::to_string(n),
            "12,50",
            "2,5",
            "3",
            "2",
            "1",
            "0",
            "1",
            "2"};
}

GoodsRowText With(GoodsRowText row, int column, std::optional<std::string> value) {
    row[static_cast<std::size_t>(column)] = std::move(value);
    return row;
}

std::string GoodsCsv(const std::vector<GoodsRowText>& rows, char delimiter) {
    std::string text;
    for (const GoodsRowText& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0) text += delimiter;
            text += platform::Utf8ToAnsi(row[i].value_or(""));
        }
        text += "\r\n";
    }
    return text;
}

std::string GoodsXml(const std::vector<GoodsRowText>& rows) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<REPORT>\n"
                       "  <HEADER><DEVELOPMENT>test</DEVELOPMENT><REPORT_ID>{XMLREP2}</REPORT_ID></HEADER>\n"
                       "  <FIELDS_NAME FIELD_1=\"PLU\"/>\n  <DATA>\n";
    for (const GoodsRowText& row : rows) {
        text += "    <Item";
        for (std::size_t i = 0; i < row.size(); ++i)
            if (row[i]) text += std::string(" ") + kAttributes[i] + "=\"" + Escaped(*row[i]) + "\"";
        text += "/>\n";
    }
    return text + "  </DATA>\n</REPORT>\n";
}

std::vector<DbfField> GoodsDbfFields() {
    return {{"NUMBER", 'N', 5},    {"PLU", 'N', 6},         {"BARCODE", 'C', 13}, {"NAME", 'C', 31},
            {"PRICE", 'F', 10, 2}, {"REMAINS", 'F', 12, 3}, {"GROUPID", 'N', 3},  {"VAT", 'N', 1},
            {"WEIGHT", 'L', 1},    {"PRESENCE", 'L', 1},    {"BLOCKING", 'L', 1}, {"PAYTYPE", 'N', 1}};
}

std::string GoodsDbf(const std::vector<GoodsRowText>& rows, const std::vector<DbfField>& fields,
                     uint8_t codePage) {
    int recordLength = 1;
    for (const DbfField& f : fields) recordLength += f.length;
    std::string bytes;
    bytes += '\x03';
    bytes += "\x7C\x01\x0F"; // 2024-01-15
    Le(bytes, rows.size(), 4);
    Le(bytes, 32 * (fields.size() + 1) + 1, 2);
    Le(bytes, static_cast<uint64_t>(recordLength), 2);
    bytes += std::string(17, '\0');
    bytes += static_cast<char>(codePage);
    bytes += std::string(2, '\0');
    for (const DbfField& f : fields) {
        std::string name = f.name;
        name.resize(11, '\0');
        bytes += name;
        bytes += f.type;
        bytes += std::string(4, '\0');
        bytes += static_cast<char>(f.length);
        bytes += static_cast<char>(f.decimals);
        bytes += std::string(14, '\0');
    }
    bytes += '\x0D';
    for (const GoodsRowText& row : rows) {
        bytes += ' ';
        for (std::size_t i = 0; i < fields.size(); ++i)
            bytes += DbfValue(fields[i], i < row.size() ? row[i] : std::nullopt);
    }
    bytes += '\x1A';
    return bytes;
}

void WriteGoodsXls(const std::string& path, const std::vector<GoodsRowText>& rows) {
    xls::TTabrix4 book;
    book.SetVersion(xls::TExcelVersion::xvExcel97);
    book.Clear();
    xls::TSheet& sheet = book.GetSheet(0);
    sheet.SetAsString(0, 0, u"Goods");
    for (int column = 0; column < 12; ++column)
        sheet.SetAsString(kXlsColumn[column], 1, platform::Utf8ToUtf16(kAttributes[column]));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t i = 0; i < rows[r].size(); ++i)
            if (rows[r][i]) SetXlsCell(sheet, kXlsColumn[i], static_cast<int>(r) + 2, *rows[r][i]);
    book.SetFilename(platform::Utf8ToUtf16(path));
    book.Write();
}

std::string WriteGoods(const ScratchDir& dir, int format, const std::vector<GoodsRowText>& rows,
                       const std::string& name) {
    static const char* const extensions[4] = {".xml", ".xls", ".csv", ".dbf"};
    std::string path = dir.File(name + extensions[format]);
    if (format == exchange::FormatXls)
        WriteGoodsXls(path, rows);
    else
        WriteFile(path, format == exchange::FormatXml   ? GoodsXml(rows)
                        : format == exchange::FormatCsv ? GoodsCsv(rows)
                                                        : GoodsDbf(rows));
    return path;
}

ImportRun ImportFile(int format, int kind, const std::string& file, const ImportSetup& setup) {
    ImportRun out;
    Job job;
    if (!ConnectSimulator(job.state, setup.simulator)) return out;
    platform::ScriptedUi ui;
    for (int answer : setup.answers) ui.QueueAnswer(answer);
    job.state.MakeMetod.FileName = file;
    job.state.CsvOptions = setup.csv;
    job.progress.cancelAfter = setup.cancelAfter;
    exchange::JobContext context = job.Context();
    out.result = exchange::Dispatch(context, format, kind);
    out.done = job.state.MakeMetod.Done == 1;
    out.goods = job.arrays.ImportedGoods;
    out.boxes = ui.boxes;
    out.steps = job.progress.steps;
    out.maximum = job.progress.maximum;
    if (FileExists(file + ".log")) out.log = ReadFile(file + ".log");
    EXPECT_EQ(ui.PendingReplies(), 0u) << "answers left unasked";
    return out;
}

} // namespace exchange_test

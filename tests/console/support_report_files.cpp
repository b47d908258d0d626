#include "support_report_files.h"

#include <cstdio>
#include <iconv.h>

#include "support_report_layout.h"

namespace testing_console {

namespace {

// Windows-1251 to UTF-8 through the C library, not the program's tables.
std::string Utf8Of(const std::string& ansi) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    std::string in = ansi;
    std::string out(in.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

// Exact text of `units` hundredths or thousandths.
std::string Scaled(int64_t units, int decimals, char separator) {
    const uint64_t scale = decimals == 2 ? 100 : 1000;
    const uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    std::string fraction = std::to_string(magnitude % scale);
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    return (units < 0 ? "-" : "") + std::to_string(magnitude / scale) + separator + fraction;
}

// The shortest text: no trailing zeros, no separator for a whole number.
std::string General(int64_t thousandths, char separator) {
    std::string text = Scaled(thousandths, 3, separator);
    while (text.back() == '0') text.pop_back();
    if (text.back() == separator) text.pop_back();
    return text;
}

// "1 234,50 грн." with a no-break space between the thousands; "-1 234,50 грн." below zero.
std::string Money(int64_t kopecks) {
    std::string whole = std::to_string((kopecks < 0 ? -kopecks : kopecks) / 100);
    for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3)
        whole.insert(static_cast<std::size_t>(at), "\u00A0");
    std::string cents = Scaled(kopecks < 0 ? -kopecks : kopecks, 2, ',');
    return (kopecks < 0 ? "-" : "") + whole + cents.substr(cents.find(',')) + " грн.";
}

std::string Double(int64_t thousandths) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", static_cast<double>(thousandths) / 1000);
    return text;
}

// One value of a record, in the order every file lists them.
struct Value {
    enum Kind { Integer, Text, Price, Quantity, Flag } kind;
    int64_t number = 0;
    std::string text; // UTF-8
};

std::vector<Value> TableValues(const RegisterRecord& r) {
    const std::vector<int64_t>& c = r.counters;
    std::vector<Value> v = {{Value::Integer, r.number, ""},
                            {Value::Integer, r.plu, ""},
                            {Value::Text, 0, std::to_string(r.barcode)},
                            {Value::Text, 0, Utf8Of(r.name)},
                            {Value::Price, r.price, ""},
                            {Value::Quantity, r.remainder, ""},
                            {Value::Integer, r.group, ""},
                            {Value::Integer, r.tax + 1, ""},
                            {Value::Flag, r.weighed, ""},
                            {Value::Flag, r.presenceControl, ""},
                            {Value::Flag, r.saleBlocking, ""},
                            {Value::Integer, r.payoutOperation, ""},
                            {Value::Quantity, c.at(0), ""},
                            {Value::Price, c.at(2), ""},
                            {Value::Quantity, c.at(1), ""},
                            {Value::Price, c.at(3), ""}};
    for (std::size_t i = 4; i < c.size(); ++i) v.push_back({Value::Price, c[i], ""});
    return v;
}

// Texts of the CSV file, the XML attributes and dbfread's values: `sep` the
// decimal separator, quantities exact (`fixed`) or shortest, flags by `yes`
// and `no`.
std::vector<std::string> Texts(const RegisterRecord& r, char sep, bool fixed, const char* yes,
                               const char* no) {
    std::vector<std::string> texts;
    for (const Value& v : TableValues(r)) {
        switch (v.kind) {
        case Value::Integer:
            texts.push_back(std::to_string(v.number));
            break;
        case Value::Text:
            texts.push_back(v.text);
            break;
        case Value::Price:
            texts.push_back(Scaled(v.number, 2, sep));
            break;
        case Value::Quantity:
            texts.push_back(fixed ? Scaled(v.number, 3, sep) : General(v.number, sep));
            break;
        case Value::Flag:
            texts.push_back(v.number != 0 ? yes : no);
            break;
        }
    }
    return texts;
}

} // namespace

Rows ExpectedCsvRows(const std::vector<RegisterRecord>& records) {
    Rows rows;
    for (const RegisterRecord& r : records) rows.push_back(Texts(r, ',', false, "1", "0"));
    return rows;
}

Rows ExpectedDbfHeader(bool periodic) {
    const std::size_t count = periodic ? 16 : 20;
    int recordLength = 1;
    for (std::size_t i = 0; i < count; ++i) recordLength += testfiles::kReportDbfFields[i].length;
    Rows rows = {{std::to_string(32 + 32 * count + 1), std::to_string(recordLength)}};
    for (std::size_t i = 0; i < count; ++i) {
        const testfiles::ReportDbfField& f = testfiles::kReportDbfFields[i];
        rows.push_back({f.name, f.type, std::to_string(f.length), std::to_string(f.decimals)});
    }
    rows.push_back({"--"});
    return rows;
}

Rows ExpectedDbfRecords(const std::vector<RegisterRecord>& records) {
    Rows rows;
    for (const RegisterRecord& r : records) {
        rows.push_back(Texts(r, '.', true, "True", "False"));
        std::string& name = rows.back()[3]; // text fields are padded with blanks
        name.erase(name.find_last_not_of(' ') + 1);
    }
    return rows;
}

Rows ExpectedXlsRows(const std::vector<RegisterRecord>& records, bool periodic) {
    const std::size_t columns = periodic ? 16 : 20;
    // Column of each value: the goods report has the barcode before the PLU.
    auto column = [periodic](std::size_t value) -> std::size_t {
        if (!periodic && (value == 1 || value == 2)) return 3 - value;
        return value;
    };
    Rows rows = {{"1", "80"}, std::vector<std::string>(columns, "e"), std::vector<std::string>(columns)};
    for (std::size_t i = 0; i < columns; ++i) {
        std::string caption = i == 0 ? "НОМЕР" : testfiles::kReportCaptions[i - 1];
        if (i == 4) caption += " (грн)";
        if (i == 8) caption += " (ВАГОВИЙ)";
        rows.back()[column(i)] = "s:" + caption + ":/0000ff/B";
    }
    for (const RegisterRecord& r : records) {
        std::vector<std::string>& row = rows.emplace_back(columns);
        std::vector<Value> values = TableValues(r);
        for (std::size_t i = 0; i < columns; ++i) {
            const Value& v = values[i];
            std::string cell;
            switch (v.kind) {
            case Value::Integer:
                cell = "n:" + std::to_string(v.number);
                break;
            case Value::Text:
                cell = "s:" + v.text;
                break;
            case Value::Price:
                cell = "s:" + Money(v.number);
                break;
            case Value::Quantity:
                cell = "n:" + Double(v.number);
                break;
            case Value::Flag:
                cell = v.number != 0 ? "b:1" : "b:0";
                break;
            }
            row[column(i)] = cell + (column(i) == 1 ? "/0000ff" : "/000000");
        }
    }
    return rows;
}

std::vector<std::string> ExpectedXmlOutline(const std::vector<RegisterRecord>& records, bool periodic,
                                            const XmlIdentity& identity) {
    const std::size_t values = periodic ? 16 : 20;
    std::vector<std::string> lines = {"REPORT",
                                      "REPORT/HEADER",
                                      std::string("REPORT/HEADER/DEVELOPMENT=") + identity.development,
                                      "REPORT/HEADER/MODEL=ZRV-Q710",
                                      "REPORT/HEADER/VERSION=2-01",
                                      std::string("REPORT/HEADER/REPORT_ID=") + identity.id,
                                      std::string("REPORT/HEADER/REPORT_NAME=") + identity.name,
                                      "REPORT/FIELDS_NAME"};
    for (std::size_t i = 1; i < values; ++i)
        lines.push_back("REPORT/FIELDS_NAME@FIELD_" + std::to_string(i) + "=" +
                        testfiles::kReportCaptions[i - 1]);
    lines.push_back("REPORT/DATA");
    for (const RegisterRecord& r : records) {
        lines.push_back("REPORT/DATA/Item");
        std::vector<std::string> texts = Texts(r, ',', false, "True", "False");
        for (std::size_t i = 0; i < values; ++i)
            lines.push_back(std::string("REPORT/DATA/Item@") + testfiles::kReportAttributes[i] + "=" +
                            texts[i]);
    }
    return lines;
}

} // namespace testing_console

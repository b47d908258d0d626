#include "exchange/GroupsImport.h"

#include <optional>

#include "SrcXLS/Tabrix4.h"
#include "console/NumberText.h"
#include "exchange/CsvOptions.h"
#include "exchange/DBF.h"
#include "exchange/GroupCsvLine.h"
#include "exchange/JobWorkbook.h"
#include "exchange/ReportDocument.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"

namespace exchange {

namespace {

const char* const kRangeLine = "\r\nМожливий діапазон значень: 1...100!";

bool InGroupRange(int64_t number) {
    return number >= 1 && number <= GoodsGroupCount;
}

// "Невірно задано номер товарної групи (рядок №5)!"
std::string NumberAtRowMessage(int64_t row) {
    return "Невірно задано номер товарної групи (рядок №" + std::to_string(row) + ")!";
}

std::string CutName(std::string ansi) {
    if (ansi.size() > GroupNameSize) ansi.resize(GroupNameSize);
    return ansi;
}

// The table every import fills from its first entry, once the file passed
// its first checks.
std::vector<GoodsGroupRecord>& FreshTable(JobContext& job) {
    job.arrays.GoodsGroupTable = EmptyGroupTable();
    job.progress.SetMaximum(GoodsGroupCount);
    return job.arrays.GoodsGroupTable;
}

// The failure message of a DBF field that could not be read.
std::string DbfFieldFailure(int fieldNo, uint32_t record, const std::string& fieldName) {
    return std::string("Помилка імпорту товарних груп: поле - ") +
           (fieldNo == 1 ? "ID (Номер групи)" : "NAME (Назва групи)") +
           "\r\n (Row=" + std::to_string(record) + "; Col=" + platform::AnsiToUtf8(fieldName) + ").";
}

// Reads one record into an entry; the message of a refused field, or
// nothing.
std::optional<std::string> ReadDbfGroup(const TDBF& table, uint32_t record, GoodsGroupRecord& entry) {
    for (int f = 1; f <= 2; ++f) {
        const std::string name = table.GetFieldName(f);
        const TDbfFieldType type = table.GetFieldType(f);
        if (name == "ID" && type == dftNumeric) {
            std::optional<int32_t> number;
            try {
                number = console::Int32Of(table.GetFieldData(f));
            } catch (const ED&) {
            }
            if (!number) return DbfFieldFailure(f, record, name);
            if (!InGroupRange(*number)) return NumberAtRowMessage(record + 1) + kRangeLine;
            entry.Number = static_cast<uint8_t>(*number);
        } else if (name == "NAME" && type == dftCharacter) {
            try {
                entry.Name = console::TrimText(CutName(table.GetFieldData(f)));
            } catch (const ED&) {
                return DbfFieldFailure(f, record, name);
            }
        } else {
            return "Невірний тип або опис поля " + platform::AnsiToUtf8(name) + ".";
        }
    }
    return std::nullopt;
}

} // namespace

void ImportGroupsXml(JobContext& job) {
    platform::XmlDocument& document = job.side.NewXmlDocument();
    ReportFrame frame = OpenReportDocument(document, job.state.MakeMetod.FileName, GoodsGroupsReport.id);
    if (!frame.ok) {
        ShowJobError(frame.message);
        return;
    }
    std::vector<GoodsGroupRecord>& table = FreshTable(job);
    std::size_t index = 0;
    for (platform::XmlNode child = frame.data.FirstChild(); child && index < table.size();
         child = child.NextSibling()) {
        if (std::string message = CheckReportItem(child); !message.empty()) {
            ShowJobError(message);
            return;
        }
        std::optional<std::string> id = child.Attribute("Id");
        if (!id) {
            ShowJobError(MissingAttributeMessage("Id"));
            return;
        }
        std::optional<int32_t> number = console::Int32Of(*id);
        if (!number) {
            platform::ShowMessage(platform::Utf8ToAnsi(ConversionFailureMessage(NotAnIntegerMessage(*id))));
            return;
        }
        if (!InGroupRange(*number)) {
            ShowJobError(std::string("Невірно заданий номер товарної групи!") + kRangeLine);
            return;
        }
        std::optional<std::string> name = child.Attribute("Name");
        if (!name) {
            ShowJobError(MissingAttributeMessage("Name"));
            return;
        }
        table[index++] = {static_cast<uint8_t>(*number), CutName(platform::Utf8ToAnsi(*name))};
        if (job.progress.Step()) return;
    }
    job.state.MakeMetod.Done = 1;
}

void ImportGroupsXls(JobContext& job) {
    xls::TTabrix4& book = JobWorkbook(job.side);
    book.Clear();
    book.Sheets().Clear();
    book.SetFilename(platform::Utf8ToUtf16(job.state.MakeMetod.FileName));
    book.Read();
    const char* const kNoData = "Дані для запису в ЕККА не знайдені!";
    if (book.Sheets().Count() == 0) {
        ShowJobError(kNoData);
        return;
    }
    xls::TSheet& sheet = book.Sheets().GetItem(0);
    auto numberAt = [&sheet](int row) {
        int type = sheet.GetCellType(0, row);
        return type == 3 || type == 4; // integer or float
    };
    const int lastRow = sheet.GetLastRow();
    int row = 0;
    while (row <= lastRow && !numberAt(row)) ++row;
    if (row > lastRow) {
        ShowJobError(kNoData);
        return;
    }
    std::vector<GoodsGroupRecord>& table = FreshTable(job);
    std::size_t index = 0;
    for (; row <= lastRow && index < table.size(); ++row) {
        if (!numberAt(row)) continue;
        std::optional<int32_t> number;
        try {
            number = sheet.GetAsInteger(0, row);
        } catch (const std::exception&) {
        }
        // The groups of the rows before a refused one are kept.
        if (!number || !InGroupRange(*number)) {
            ShowJobError(NumberAtRowMessage(row) + (number ? kRangeLine : ""));
            job.state.MakeMetod.Done = 1;
            return;
        }
        std::u16string text = sheet.GetAsString(1, row);
        table[index++] = {static_cast<uint8_t>(*number),
                          platform::Utf16ToAnsi(text.substr(0, GroupNameSize))};
        if (job.progress.Step()) return;
    }
    job.state.MakeMetod.Done = 1;
}

void ImportGroupsCsv(JobContext& job) {
    const std::string bytes = platform::ReadWholeFile(job.state.MakeMetod.FileName);
    const std::vector<std::string_view> lines = SplitTextLines(bytes);
    if (lines.empty()) {
        ShowJobError("Файл імпорту даних по товарним групам порожній!");
        return;
    }
    std::vector<GoodsGroupRecord>& table = FreshTable(job);
    std::size_t index = 0;
    for (std::size_t n = 0; n < lines.size() && index < table.size(); ++n) {
        GroupLine line = ParseGroupCsvLine(lines[n], job.state.CsvOptions);
        if (line.kind == GroupLineKind::Skip) continue;
        if (line.kind != GroupLineKind::Group) {
            // The groups of the lines before a refused one are kept.
            ShowJobError(GroupLineMessage(line.kind, n + 1));
            job.state.MakeMetod.Done = 1;
            return;
        }
        table[index++] = {line.number, std::move(line.name)};
        if (job.progress.Step()) return;
    }
    job.state.MakeMetod.Done = 1;
}

void ImportGroupsDbf(JobContext& job) {
    TDBF table;
    try {
        table.SetTableName(job.state.MakeMetod.FileName);
        table.Open();
    } catch (const std::exception&) {
        ShowJobError("Пошкоджена структура даних!");
        return;
    }
    if (table.IsEmpty()) {
        ShowJobError("DBF-таблиця даних по товарним групам порожня!");
        return;
    }
    if (table.FieldCount() != 2) {
        ShowJobError("Таблиця має невірну кількість полів, або пошкоджена!");
        return;
    }
    std::vector<GoodsGroupRecord>& groups = FreshTable(job);
    for (uint32_t record = 0;; ++record) {
        GoodsGroupRecord entry;
        if (std::optional<std::string> message = ReadDbfGroup(table, record, entry)) {
            ShowJobError(*message);
            return;
        }
        groups[record] = entry;
        if (job.progress.Step()) return;
        if (table.Eof() || record + 1 == groups.size()) break;
        try {
            table.Next();
        } catch (const ED&) {
            ShowJobError("Пошкоджена структура даних!");
            return;
        }
    }
    job.state.MakeMetod.Done = 1;
}

} // namespace exchange

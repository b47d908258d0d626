#include "exchange/GroupsImport.h"

#include <optional>

#include "SrcXLS/Tabrix4.h"
#include "console/NumberText.h"
#include "exchange/CsvOptions.h"
#include "exchange/DBF.h"
#include "exchange/GroupCsvLine.h"
#include "exchange/JobWorkbook.h"
#include "exchange/ReportDocument.h"
#include "exchange/WorkbookCells.h"
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

// "Невірний формат назви товарної групи (рядок №5)!"
std::string NameAtRowMessage(int64_t row) {
    return GroupLineMessage(GroupLineKind::NameError, static_cast<std::size_t>(row));
}

// A name (its first 20 characters) as the register holds it; nothing when
// the register's code page lacks one of its characters or it holds a NUL
// byte: the register would get another name.
std::optional<std::string> RegisterName(std::u16string_view name) {
    bool lossy = false;
    std::string ansi = platform::Utf16ToAnsi(name.substr(0, GroupNameSize), &lossy);
    if (lossy || ansi.find('\0') != std::string::npos) return std::nullopt;
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
            if (!table.FieldTextFitsAnsi(f) || entry.Name.find('\0') != std::string::npos)
                return NameAtRowMessage(record + 1);
        } else {
            return "Невірний тип або опис поля " + platform::AnsiToUtf8(name) + ".";
        }
    }
    return std::nullopt;
}

} // namespace

void ImportGroupsXml(JobContext& job) {
    // A document of any size is read as a stream: only the first 100
    // children of DATA are kept.
    ReportStream document({"Id", "Name"}, GoodsGroupCount, true);
    if (std::string failure = document.ReadFile(job.state.MakeMetod.FileName, GoodsGroupsReport.id);
        !failure.empty()) {
        ShowJobError(failure);
        return;
    }
    std::vector<GoodsGroupRecord>& table = FreshTable(job);
    for (std::size_t index = 0; index < document.Items().size(); ++index) {
        const ReportItem& item = document.Items()[index];
        if (std::string message = CheckReportItem(item.kind, item.name); !message.empty()) {
            ShowJobError(message);
            return;
        }
        const std::optional<std::string>& id = item.values[0];
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
        const std::optional<std::string>& name = item.values[1];
        if (!name) {
            ShowJobError(MissingAttributeMessage("Name"));
            return;
        }
        std::optional<std::string> registerName = RegisterName(platform::Utf8ToUtf16(*name));
        if (!registerName) {
            ShowJobError(NameAtRowMessage(static_cast<int64_t>(index) + 1));
            return;
        }
        table[index] = {static_cast<uint8_t>(*number), std::move(*registerName)};
        if (job.progress.Step()) return;
    }
    job.state.MakeMetod.Done = 1;
}

void ImportGroupsXls(JobContext& job) {
    xls::TTabrix4& book = JobWorkbook(job.side);
    ReadImportWorkbook(book, job.state.MakeMetod.FileName);
    const char* const kNoData = "Дані для запису в ЕККА не знайдені!";
    if (book.Sheets().Count() == 0) {
        ShowJobError(kNoData);
        return;
    }
    WorkbookCells cells(book, 0);
    // A number, or a formula whose value is a number; an error value and a
    // formula whose value is not known get the number's message.
    auto groupRow = [&cells](int row) { return cells.At(0, row).IsNumberOrError(); };
    const int lastRow = cells.Sheet().GetLastRow();
    int row = 0;
    while (row <= lastRow && !groupRow(row)) ++row;
    if (row > lastRow) {
        ShowJobError(kNoData);
        return;
    }
    std::vector<GoodsGroupRecord>& table = FreshTable(job);
    std::size_t index = 0;
    for (; row <= lastRow && index < table.size(); ++row) {
        if (!groupRow(row)) continue;
        std::optional<int64_t> number = cells.At(0, row).Integer();
        // The groups of the rows before a refused one are kept.
        if (!number || !InGroupRange(*number)) {
            ShowJobError(NumberAtRowMessage(row) + (number ? kRangeLine : ""));
            job.state.MakeMetod.Done = 1;
            return;
        }
        // An error value, or a formula without a value, is no name: the
        // register's name stays.
        std::optional<std::string> name =
            cells.At(1, row).error ? std::nullopt : RegisterName(cells.Text(1, row));
        if (!name) {
            ShowJobError(NameAtRowMessage(row));
            job.state.MakeMetod.Done = 1;
            return;
        }
        table[index++] = {static_cast<uint8_t>(*number), std::move(*name)};
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
    // Names read byte for byte from a UTF-8 file would reach the register garbled.
    if (IsUtf8Text(bytes, job.state.CsvOptions.Cp866)) {
        ShowJobError(Utf8FileMessage);
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

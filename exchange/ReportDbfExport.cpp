#include "exchange/ReportDbfExport.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

#include "exchange/NameChanges.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"

namespace exchange {

namespace {

constexpr const char* kNotCreated = "Не вдалося створити таблицю dbf!";

std::optional<std::string> ChooseTarget(JobContext& job) {
    const FormatDialogText* text = DialogTextOf(FormatDbf);
    platform::FileDialogRequest& dialog = job.side.SaveDialog();
    dialog.filter = text->filter;
    dialog.defaultExt = text->defaultExt;
    dialog.fileName.clear();
    if (!platform::SaveFileDialog(dialog)) return std::nullopt;
    return dialog.fileName;
}

// A fresh file beside the target, with the mode the target has or a new file would get.
std::string StageBeside(const std::string& target) {
    if (target.empty()) throw platform::FileError("Не вдається записати файл без імені");
    std::filesystem::path path(target);
    std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    platform::TempFile file =
        platform::TempFile::CreateIn(folder, "." + path.filename().string() + ".", ".dbf");
    struct stat st {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(file.Descriptor(), mode);
    file.Keep();
    return file.Path();
}

template <class Record>
void ExportReportDbf(JobContext& job, const ReportLayout& layout, std::vector<Record>& report,
                     int32_t maximum = -1) {
    job.progress.SetMaximum(maximum >= 0 ? maximum : ProgressMaximumOf(report));
    std::optional<std::string> target = ChooseTarget(job);
    if (!target) return;
    job.state.MakeMetod.FileName = *target;
    // The table takes only a ".dbf" name: another one typed in the dialog is
    // refused with the table's own error before anything is written.
    TDBF{}.SetTableName(*target);

    std::optional<ReportTable> table;
    try {
        table.emplace(*target, layout);
    } catch (const std::exception& e) {
        // The system's reason, as the other formats give it (a full disk, a missing folder).
        std::string text = kNotCreated;
        const auto* file = dynamic_cast<const platform::FileError*>(&e);
        if (file != nullptr && file->SystemError() != 0)
            text +=
                "\r\n" + platform::CannotWriteText(*target, platform::FileErrorReason(file->SystemError()));
        platform::MessageBox(platform::Utf8ToAnsi(text), platform::Utf8ToAnsi("Помилка"),
                             platform::MbIconError);
        return;
    }
    ExportNameChanges changes(ExportNameChanges::Reading::Dbf);
    for (std::size_t i = 0; i < report.size(); ++i) {
        const ReportRow row = RowAt(report, i);
        table->Add(layout, row);
        changes.Note(layout, row);
        if (job.progress.Step()) break;
    }
    table->Commit();
    report.clear();
    job.state.MakeMetod.Done = 1;
    // A table cut short by a cancel stays, but is no success to report.
    job.side.FileWritten = !job.Cancelled();
    if (job.side.FileWritten) job.state.ExportChanges = changes.Text();
}

} // namespace

ReportTable::ReportTable(const std::string& target, const ReportLayout& layout)
    : target(platform::WriteTarget(target)), staged(StageBeside(this->target)) {
    try {
        table.SetTableName(staged);
        for (const ReportColumn& column : layout.columns)
            table.AddFieldDefs(column.dbf.name, column.dbf.type, column.dbf.length, column.dbf.decimals);
        table.CreateTable();
        table.EmptyTable();
    } catch (const ED& e) {
        std::remove(staged.c_str());
        ThrowWithReason(e);
    } catch (...) {
        std::remove(staged.c_str());
        throw;
    }
}

void ReportTable::ThrowWithReason(const ED& failure) const {
    const int err = table.SystemError();
    if (err == 0) throw failure;
    throw platform::FileError(std::string(failure.what()) + "\r\n" +
                                  platform::CannotWriteText(target, platform::FileErrorReason(err)),
                              err);
}

// The table object releases the file after the name is gone.
ReportTable::~ReportTable() {
    if (!staged.empty()) std::remove(staged.c_str());
}

void ReportTable::Add(const ReportLayout& layout, const ReportRow& row) {
    try {
        table.Append();
        for (std::size_t i = 0; i < layout.columns.size(); ++i) {
            ValueKind kind = layout.columns[i].kind;
            int fieldNo = static_cast<int>(i + 1);
            if (IsTextValue(kind))
                table.SetFieldData(fieldNo, TextValueOf(kind, row, i));
            else
                table.SetFieldData(fieldNo, PlainValueText(kind, row.numbers[i], "Yes", "No"));
        }
        table.Post();
    } catch (const ED& e) {
        ThrowWithReason(e);
    }
}

void ReportTable::Commit() {
    try {
        table.Close();
    } catch (const ED& e) {
        ThrowWithReason(e);
    }
    if (std::rename(staged.c_str(), target.c_str()) != 0)
        throw platform::FileError(platform::CannotWriteText(target, platform::FileErrorReason(errno)));
    staged.clear();
}

void ExportGoodsDbf(JobContext& job) {
    ExportReportDbf(job, GoodsReportLayout(), job.arrays.GoodsReport);
}

void ExportPeriodicGoodsReportDbf(JobContext& job) {
    ExportReportDbf(job, PeriodicGoodsReportLayout(), job.arrays.PeriodicGoodsReport);
}

void ExportGroupsDbf(JobContext& job) {
    std::vector<GoodsGroupRecord>& table = job.arrays.GoodsGroupTable;
    std::vector<GoodsGroupRecord> used(table.begin(),
                                       table.begin() + static_cast<std::ptrdiff_t>(UsedGroupEntries(table)));
    ExportReportDbf(job, GoodsGroupsLayout(), used, GoodsGroupCount);
    // A save dialog not confirmed leaves the table as it was.
    if (job.state.MakeMetod.Done == 1) table.clear();
}

void ExportDailyHoursReportDbf(JobContext& job) {
    ExportReportDbf(job, HoursReportLayout(), job.arrays.HourlyReport);
}

void ExportPeriodicHoursReportDbf(JobContext& job) {
    ExportReportDbf(job, HoursReportLayout(), job.arrays.PeriodicHourlyReport);
}

} // namespace exchange

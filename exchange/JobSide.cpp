#include "exchange/JobSide.h"

#include "console/MessageBoxes.h"
#include "platform/CodePages.h"

#include <stdexcept>

namespace exchange {

namespace {

constexpr FormatDialogText kDialogTexts[FormatCount] = {
    {"XML Document (*.xml)|*.xml", "xml"},
    {"Excel files (*.xls)|*.xls", "xls"},
    {"CSV (*.csv)|*.csv", "csv"},
    {"DBF (*.dbf)|*.dbf", "dbf"},
};

} // namespace

const FormatDialogText* DialogTextOf(int formatIndex) {
    if (formatIndex < 0 || formatIndex >= FormatCount) return nullptr;
    return &kDialogTexts[formatIndex];
}

platform::FileDialogRequest& JobSide::OpenDialog() {
    return Main.OpenDialog1 != nullptr ? *Main.OpenDialog1 : ownOpenDialog;
}

platform::FileDialogRequest& JobSide::SaveDialog() {
    return Main.SaveDialog1 != nullptr ? *Main.SaveDialog1 : ownSaveDialog;
}

platform::XmlDocument& JobSide::NewXmlDocument() {
    XmlDocument.reset();
    XmlDocument = std::make_unique<platform::XmlDocument>();
    return *XmlDocument;
}

JobSide& Side() {
    static JobSide side;
    return side;
}

void SaveBuiltExport(JobContext& job, int formatIndex,
                     const std::function<void(const std::string& path)>& write, std::string_view filter) {
    if (!job.Cancelled()) {
        const FormatDialogText* text = DialogTextOf(formatIndex);
        if (text == nullptr) throw std::invalid_argument("Для цього формату немає діалогу збереження");
        platform::FileDialogRequest& dialog = job.side.SaveDialog();
        dialog.filter = filter.empty() ? std::string(text->filter) : std::string(filter);
        dialog.defaultExt = text->defaultExt;
        dialog.fileName.clear();
        if (platform::SaveFileDialog(dialog)) {
            job.state.MakeMetod.FileName = dialog.fileName;
            if (!dialog.fileName.empty()) {
                write(dialog.fileName);
                job.side.FileWritten = true;
            }
        }
    }
    job.state.MakeMetod.Done = 1;
}

void TellSavedFile(JobContext& job) {
    if (!job.side.FileWritten || !job.side.Main.AppendMemo2) return;
    for (const std::string& line : {std::string(62, '-'), std::string("Данні збережено у файлі:"),
                                    job.state.MakeMetod.FileName, std::string("Файл експорту закрито!")})
        job.side.Main.AppendMemo2(line);
}

void ShowJobError(const std::string& utf8Text) {
    console::ShowErrorText(platform::Utf8ToAnsi(utf8Text));
}

} // namespace exchange

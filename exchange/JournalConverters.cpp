// The journal's and the Z report's converters: the document built, then the
// save dialog; a document that cannot be built is told in an error box.
#include <exception>

#include "exchange/JournalXml.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/XmlDocument.h"
#include "platform/ui/Ui.h"

namespace exchange {

void SaveMainDocument(console::ConsoleState& state, JobSide& side, const std::string& text) {
    platform::FileDialogRequest& dialog = side.SaveDialog();
    dialog.filter = "XML Document (*.xml)|*.xml";
    dialog.defaultExt = "xml";
    dialog.fileName.clear();
    if (platform::SaveFileDialog(dialog)) {
        state.MakeMetod.FileName = dialog.fileName;
        if (!dialog.fileName.empty()) {
            try {
                platform::WriteFileAtomic(dialog.fileName, text);
            } catch (const platform::FileError& e) {
                throw platform::XmlError(std::string("Не вдається зберегти документ XML. ") + e.what());
            }
        }
    }
    state.MakeMetod.Done = 1;
}

void ConvertJournalToXml(console::ConsoleState& state, JobSide& side, const Q710JournalParams& params,
                         std::span<const uint8_t> stream) {
    const Q710JournalParams copy = params;
    std::string text;
    try {
        text = JournalXmlText(copy, stream);
    } catch (const std::exception&) {
        platform::MessageBox(platform::Utf8ToAnsi("Виникла помика при обробці даних електронного журналу!"),
                             platform::Utf8ToAnsi("Помилка"), platform::MbIconError);
        return;
    }
    SaveMainDocument(state, side, text);
}

void ConvertZReportToXml(console::ConsoleState& state, JobSide& side, int reportNo,
                         std::span<const uint8_t> buffer) {
    std::string text;
    bool built = false;
    try {
        built = ZReportXmlText(reportNo, buffer, text);
    } catch (const std::exception&) {
    }
    // A buffer that is no Z report is told, not saved as an empty document.
    if (!built) {
        platform::MessageBox(platform::Utf8ToAnsi("Виникла помика при обробці даних денного Z-звіту!"),
                             platform::Utf8ToAnsi("Помилка"), platform::MbIconError);
        return;
    }
    SaveMainDocument(state, side, text);
}

} // namespace exchange

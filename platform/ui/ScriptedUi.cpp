#include "platform/ui/ScriptedUi.h"

#include <QCoreApplication>
#include <QDialog>
#include <filesystem>

#include "platform/ui/AnsiText.h"

namespace platform {

std::string ScriptedUi::Box::Utf8Text() const {
    return Utf8(text);
}
std::string ScriptedUi::Box::Utf8Caption() const {
    return Utf8(caption);
}

ScriptedUi::ScriptedUi() : previous(SetUi(this)) {}
ScriptedUi::~ScriptedUi() {
    // Answerers may be replaced out of order (a new one made before the old one goes): unlink this one
    // from wherever it sits, so neither the real windows nor a destroyed answerer come back.
    UiBackend* top = SetUi(nullptr);
    SetUi(top);
    if (top == this) {
        SetUi(previous);
        return;
    }
    for (auto* above = dynamic_cast<ScriptedUi*>(top); above != nullptr;
         above = dynamic_cast<ScriptedUi*>(above->previous)) {
        if (above->previous == this) {
            above->previous = previous;
            return;
        }
    }
}

void ScriptedUi::QueueAnswer(int answer) {
    answers.push_back(answer);
}
void ScriptedUi::QueueModal(ModalReply reply) {
    modalReplies.push_back(std::move(reply));
}
void ScriptedUi::QueueModalResult(int result) {
    modalReplies.push_back([result](QDialog&) { return result; });
}
void ScriptedUi::QueueFile(std::optional<std::string> path) {
    files.push_back(std::move(path));
}

int ScriptedUi::Unscripted() const {
    return unscripted;
}
std::size_t ScriptedUi::PendingReplies() const {
    return answers.size() + modalReplies.size() + files.size();
}

int ScriptedUi::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
    Box box{text, caption, style, DismissAnswer(style), !answers.empty()};
    if (box.scripted) {
        box.answer = answers.front();
        answers.pop_front();
    } else {
        ++unscripted;
    }
    boxes.push_back(box);
    return box.answer;
}

int ScriptedUi::ShowModal(QDialog& dialog) {
    Modal modal{dialog.objectName().toStdString(), dialog.windowTitle().toStdString(), QDialog::Rejected,
                !modalReplies.empty()};
    // Recorded before the reply runs, so boxes the dialog shows come after it.
    std::size_t index = modals.size();
    modals.push_back(modal);
    int result = QDialog::Rejected;
    if (modal.scripted) {
        ModalReply reply = std::move(modalReplies.front());
        modalReplies.pop_front();
        result = reply(dialog);
    } else {
        ++unscripted;
    }
    modals[index].result = result;
    return result;
}

bool ScriptedUi::Answer(FileDialogRequest& request, bool save) {
    FileDialog record{save, request, std::nullopt};
    if (files.empty()) {
        ++unscripted;
    } else {
        record.answer = files.front();
        files.pop_front();
    }
    fileDialogs.push_back(record);
    if (!record.answer) return false;
    request.fileName = WithDefaultExtension(*record.answer, request.defaultExt);
    return true;
}

bool ScriptedUi::OpenFileDialog(FileDialogRequest& request) {
    return Answer(request, false);
}
bool ScriptedUi::SaveFileDialog(FileDialogRequest& request) {
    return Answer(request, true);
}

bool ScriptedUi::ShowHelp(const std::string& helpFile, uint32_t context) {
    bool shown = helpViewerWorks && std::filesystem::is_regular_file(helpFile);
    helps.push_back({helpFile, context, shown});
    return shown;
}

void ScriptedUi::ProcessMessages() {
    ++processMessagesCalls;
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    if (onProcessMessages) onProcessMessages();
}

void ScriptedUi::Sleep(unsigned milliseconds) {
    sleeps.push_back(milliseconds);
}

} // namespace platform

#include "platform/ui/Ui.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/ui/AnsiText.h"
#include "platform/ui/WindowPlacement.h"

namespace platform {
namespace {

struct ButtonSet {
    unsigned code;
    std::vector<std::pair<QMessageBox::StandardButton, int>> buttons;
};

const std::vector<ButtonSet>& ButtonSets() {
    static const std::vector<ButtonSet> sets = {
        {MbOk, {{QMessageBox::Ok, IdOk}}},
        {MbOkCancel, {{QMessageBox::Ok, IdOk}, {QMessageBox::Cancel, IdCancel}}},
        {MbAbortRetryIgnore,
         {{QMessageBox::Abort, IdAbort}, {QMessageBox::Retry, IdRetry}, {QMessageBox::Ignore, IdIgnore}}},
        {MbYesNoCancel,
         {{QMessageBox::Yes, IdYes}, {QMessageBox::No, IdNo}, {QMessageBox::Cancel, IdCancel}}},
        {MbYesNo, {{QMessageBox::Yes, IdYes}, {QMessageBox::No, IdNo}}},
        {MbRetryCancel, {{QMessageBox::Retry, IdRetry}, {QMessageBox::Cancel, IdCancel}}},
    };
    return sets;
}

const ButtonSet& ButtonsOf(unsigned style) {
    for (const auto& set : ButtonSets())
        if (set.code == (style & 0xFu)) return set;
    return ButtonSets().front();
}

QMessageBox::Icon IconOf(unsigned style) {
    switch (style & 0xF0u) {
    case MbIconError:
        return QMessageBox::Critical;
    case MbIconQuestion:
        return QMessageBox::Question;
    case MbIconWarning:
        return QMessageBox::Warning;
    case MbIconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

class QtUi final : public UiBackend {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned style) override {
        std::unique_ptr<QMessageBox> box = MakeMessageBox(text, caption, style);
        box->exec();
        QAbstractButton* clicked = box->clickedButton();
        for (const auto& [standard, answer] : ButtonsOf(style).buttons)
            if (clicked != nullptr && box->standardButton(clicked) == standard) return answer;
        return DismissAnswer(style);
    }

    int ShowModal(QDialog& dialog) override {
        PlaceOnFirstShow(dialog);
        return dialog.exec();
    }

    bool OpenFileDialog(FileDialogRequest& request) override { return Run(request, QFileDialog::AcceptOpen); }
    bool SaveFileDialog(FileDialogRequest& request) override { return Run(request, QFileDialog::AcceptSave); }

    bool ShowHelp(const std::string& helpFile, uint32_t /*context*/) override {
        // The desktop's viewer opens the file; it offers no way to jump to a context.
        if (!std::filesystem::is_regular_file(helpFile)) return false;
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(helpFile)));
    }

    void ProcessMessages() override { QCoreApplication::processEvents(); }

    void Sleep(unsigned milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

private:
    static bool Run(FileDialogRequest& request, QFileDialog::AcceptMode mode) {
        QFileDialog dialog(nullptr, QString(), QString::fromStdString(request.initialDir),
                           QString::fromStdString(ToQtFilter(request.filter)));
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
        if (!request.overwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
        request.fileName =
            WithDefaultExtension(dialog.selectedFiles().front().toStdString(), request.defaultExt);
        return true;
    }
};

QtUi& DefaultUi() {
    static QtUi ui;
    return ui;
}

UiBackend* current = nullptr;
std::string programFolder;
std::string applicationTitle;
std::string applicationHelpFile;

} // namespace

std::string MessageLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out.push_back(text[i]);
            continue;
        }
        out.push_back('\n');
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return out;
}

std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& text, const std::string& caption,
                                            unsigned style) {
    // No owner window; application-modal stands in for task-modal. Texts are
    // plain: a file name or register text never turns into markup.
    auto box =
        std::make_unique<QMessageBox>(IconOf(style), ToQString(caption), ToQString(MessageLines(text)));
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::ApplicationModal);
    const ButtonSet& set = ButtonsOf(style);
    std::size_t defaultIndex = (style >> 8) & 0x3u;
    for (std::size_t i = 0; i < set.buttons.size(); ++i) {
        QPushButton* button = box->addButton(set.buttons[i].first);
        if (i == defaultIndex) box->setDefaultButton(button);
    }
    return box;
}

int DismissAnswer(unsigned style) {
    switch (style & 0xFu) {
    case MbOkCancel:
    case MbYesNoCancel:
    case MbRetryCancel:
        return IdCancel;
    case MbYesNo:
        return IdNo;
    case MbAbortRetryIgnore:
        return IdAbort;
    default:
        return IdOk;
    }
}

UiBackend& Ui() {
    return current != nullptr ? *current : DefaultUi();
}

UiBackend* SetUi(UiBackend* backend) {
    UiBackend* previous = current;
    current = backend;
    return previous;
}

int MessageBox(const std::string& text, const std::string& caption, unsigned style) {
    return Ui().MessageBox(text, caption, style);
}
int ShowModal(QDialog& dialog) {
    return Ui().ShowModal(dialog);
}
bool OpenFileDialog(FileDialogRequest& request) {
    return Ui().OpenFileDialog(request);
}
bool SaveFileDialog(FileDialogRequest& request) {
    return Ui().SaveFileDialog(request);
}
bool ShowHelp(const std::string& helpFile, uint32_t context) {
    return Ui().ShowHelp(helpFile, context);
}
void ProcessMessages() {
    Ui().ProcessMessages();
}
void Sleep(unsigned milliseconds) {
    Ui().Sleep(milliseconds);
}

void ShowMessage(const std::string& text) {
    MessageBox(text, ApplicationTitle(), MbOk);
}

std::string ProgramFolder() {
    if (!programFolder.empty()) return programFolder;
    if (QCoreApplication::instance() != nullptr) return QCoreApplication::applicationDirPath().toStdString();
    return std::filesystem::current_path().string();
}

void SetProgramFolder(const std::string& folder) {
    programFolder = folder;
}

std::string ProgramFile(const std::string& name) {
    return (std::filesystem::path(ProgramFolder()) / name).string();
}

std::string ApplicationTitle() {
    return applicationTitle;
}

// Only the captions of plain messages show it: Qt would append an application
// display name to every window's caption.
void SetApplicationTitle(const std::string& title) {
    applicationTitle = title;
}

std::string ApplicationHelpFile() {
    return applicationHelpFile;
}
void SetApplicationHelpFile(const std::string& path) {
    applicationHelpFile = path;
}

std::string ToQtFilter(const std::string& windowsFilter) {
    // "Name|pattern|Name|pattern" -> "Name (pattern);;Name (pattern)"; Qt takes
    // the patterns from the parentheses of each name.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= windowsFilter.size()) {
        std::size_t bar = windowsFilter.find('|', start);
        if (bar == std::string::npos) bar = windowsFilter.size();
        parts.push_back(windowsFilter.substr(start, bar - start));
        start = bar + 1;
    }
    std::string out;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string pattern = parts[i + 1];
        for (char& c : pattern)
            if (c == ';') c = ' ';
        std::string entry = parts[i];
        if (entry.find('(') == std::string::npos || entry.find(')') == std::string::npos)
            entry += " (" + pattern + ")";
        else
            entry = entry.substr(0, entry.find('(')) + "(" + pattern + ")";
        if (!out.empty()) out += ";;";
        out += entry;
    }
    return out;
}

std::string WithDefaultExtension(const std::string& path, const std::string& defaultExt) {
    if (defaultExt.empty() || path.empty()) return path;
    std::filesystem::path p(path);
    if (p.has_extension()) return path;
    return path + "." + defaultExt;
}

} // namespace platform

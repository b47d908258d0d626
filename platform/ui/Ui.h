// The windowing seam: every message box, modal window, file dialog and help
// request of the program goes through these functions, so tests can answer
// them (ScriptedUi) instead of a person. Texts shown to the user are 8-bit
// Windows-1251; file paths are native (UTF-8) paths.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class QDialog;
class QMessageBox;

namespace platform {

// Message box styles and answers, with the values of the Windows API.
enum MessageBoxStyle : unsigned {
    MbOk = 0x0,
    MbOkCancel = 0x1,
    MbAbortRetryIgnore = 0x2,
    MbYesNoCancel = 0x3,
    MbYesNo = 0x4,
    MbRetryCancel = 0x5,
    MbIconError = 0x10,
    MbIconQuestion = 0x20,
    MbIconWarning = 0x30,
    MbIconInformation = 0x40,
    MbDefButton2 = 0x100,
    MbDefButton3 = 0x200,
    MbTaskModal = 0x2000,
};
enum MessageBoxAnswer : int {
    IdOk = 1,
    IdCancel = 2,
    IdAbort = 3,
    IdRetry = 4,
    IdIgnore = 5,
    IdYes = 6,
    IdNo = 7,
};

// The answer a box gives when it is dismissed without a choice (Escape, or no
// script): Cancel or No where the box has them, else its first button.
int DismissAnswer(unsigned style);

// An open or save dialog. Filters use the "Name (*.ext)|*.ext|..." form.
struct FileDialogRequest {
    std::string filter;
    std::string defaultExt; // without the dot; added when the chosen name has no extension
    std::string initialDir;
    std::string fileName; // proposed name in, chosen path out
    bool overwritePrompt = false;
};

// What actually shows things; the program uses the Qt one, tests a script.
class UiBackend {
public:
    virtual ~UiBackend() = default;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
    virtual int ShowModal(QDialog& dialog) = 0;
    virtual bool OpenFileDialog(FileDialogRequest& request) = 0;
    virtual bool SaveFileDialog(FileDialogRequest& request) = 0;
    // Opens the help file at a context; false when it cannot be shown.
    virtual bool ShowHelp(const std::string& helpFile, uint32_t context) = 0;
    virtual void ProcessMessages() = 0;
    // Blocks the user-interface thread for a while (the Windows Sleep).
    virtual void Sleep(unsigned milliseconds) = 0;
};

// The backend in use (the Qt one unless a test installed another), and
// installing one: the previous backend is returned so it can be put back.
UiBackend& Ui();
UiBackend* SetUi(UiBackend* backend);

// Shortcuts to the backend in use.
int MessageBox(const std::string& text, const std::string& caption, unsigned style);
int ShowModal(QDialog& dialog);
bool OpenFileDialog(FileDialogRequest& request);
bool SaveFileDialog(FileDialogRequest& request);
bool ShowHelp(const std::string& helpFile, uint32_t context);
void ProcessMessages();
void Sleep(unsigned milliseconds);

// The plain message of the application: OK button, application title as caption.
void ShowMessage(const std::string& text);

// The folder of the running program, without a trailing separator; tests may
// put another folder in its place (an empty text restores the real one).
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);
// A file in the program's folder.
std::string ProgramFile(const std::string& name);

// The application title (ANSI): the caption of plain messages; the long
// register operations put their progress in front of it.
std::string ApplicationTitle();
void SetApplicationTitle(const std::string& title);
// The help file of windows that leave the help key to the default handling.
std::string ApplicationHelpFile();
void SetApplicationHelpFile(const std::string& path);

// Qt parents own their children: a widget made with a parent is handed over.
template <class T, class... Args> T* MakeChild(Args&&... args) {
    return std::make_unique<T>(std::forward<Args>(args)...).release();
}

// Helpers of the Qt dialogs, exposed for their tests.
// Line breaks of a message as a Windows message box makes them: CR LF, a lone
// CR and a lone LF each start a new line.
std::string MessageLines(std::string_view text);
std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& text, const std::string& caption,
                                            unsigned style);
std::string ToQtFilter(const std::string& windowsFilter);
std::string WithDefaultExtension(const std::string& path, const std::string& defaultExt);

} // namespace platform

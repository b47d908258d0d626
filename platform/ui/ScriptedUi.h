// A stand-in for the person in front of the program: installed for its
// lifetime, it answers message boxes, modal windows and file dialogs from
// queued replies and records everything it was shown.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Ui.h"

namespace platform {

class ScriptedUi final : public UiBackend {
public:
    struct Box {
        std::string text;    // ANSI, as shown
        std::string caption; // ANSI
        unsigned style = 0;
        int answer = 0;
        bool scripted = false;
        std::string Utf8Text() const;
        std::string Utf8Caption() const;
    };
    struct FileDialog {
        bool save = false;
        FileDialogRequest request; // as the program asked
        std::optional<std::string> answer;
    };
    struct Modal {
        std::string objectName;
        std::string title; // UTF-8
        int result = 0;
        bool scripted = false;
    };
    struct Help {
        std::string file;
        uint32_t context = 0;
        bool shown = false;
    };
    using ModalReply = std::function<int(QDialog&)>;

    ScriptedUi();
    ~ScriptedUi() override;
    ScriptedUi(const ScriptedUi&) = delete;
    ScriptedUi& operator=(const ScriptedUi&) = delete;

    // Replies, used in order; a box without one gets DismissAnswer, a modal
    // window without one is rejected (0) without being shown, a file dialog
    // without one is cancelled.
    void QueueAnswer(int answer);
    void QueueModal(ModalReply reply);
    void QueueModalResult(int result);
    void QueueFile(std::optional<std::string> path);
    // Runs inside every ProcessMessages, after the Qt events (e.g. to press a
    // stop button in the middle of a loop).
    std::function<void()> onProcessMessages;
    // Whether the help viewer opens an existing help file.
    bool helpViewerWorks = true;

    std::vector<Box> boxes;
    std::vector<FileDialog> fileDialogs;
    std::vector<Modal> modals;
    std::vector<Help> helps;
    int processMessagesCalls = 0;
    std::vector<unsigned> sleeps; // waits asked for; none is actually waited

    // Boxes, modal windows and dialogs met without a queued reply.
    int Unscripted() const;
    std::size_t PendingReplies() const;

    int MessageBox(const std::string& text, const std::string& caption, unsigned style) override;
    int ShowModal(QDialog& dialog) override;
    bool OpenFileDialog(FileDialogRequest& request) override;
    bool SaveFileDialog(FileDialogRequest& request) override;
    bool ShowHelp(const std::string& helpFile, uint32_t context) override;
    void ProcessMessages() override;
    void Sleep(unsigned milliseconds) override;

private:
    bool Answer(FileDialogRequest& request, bool save);

    UiBackend* previous = nullptr;
    std::deque<int> answers;
    std::deque<ModalReply> modalReplies;
    std::deque<std::optional<std::string>> files;
    int unscripted = 0;
};

} // namespace platform

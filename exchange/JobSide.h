// The exchange job's shared state and the rules every import and export
// procedure follows: progress with cancel after each row, and the save step.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/ConsoleState.h"
#include "device/GoodsRecords.h"
#include "platform/XmlDocument.h"
#include "platform/ui/Ui.h"

namespace exchange {

class TForm4;
class TForm5;
class TForm8;

// Items of the format choice, in the order of its radio group.
enum FileFormat : int { FormatXml = 0, FormatXls = 1, FormatCsv = 2, FormatDbf = 3 };
inline constexpr int FormatCount = 4;

// Filter and default extension of the open and save dialogs of one format.
struct FormatDialogText {
    const char* filter;
    const char* defaultExt;
};
// Null for a format index outside 0..3.
const FormatDialogText* DialogTextOf(int formatIndex);

// One imported goods row, kept to report rows that share a PLU code.
struct GoodsDupCheckRecord {
    uint16_t Number = 0;
    int32_t Plu = 0;
    int64_t Barcode = 0;
    uint8_t Reported = 0;
};

// What the job side uses of the main window; the main window fills it once.
// Unset members fall back to the job side's own (a dialog of its own, no
// modem, nothing to repaint, no memo).
struct MainWindowHooks {
    platform::FileDialogRequest* OpenDialog1 = nullptr;
    platform::FileDialogRequest* SaveDialog1 = nullptr;
    std::function<bool()> ModemLinkUp;     // the main window's ModemDisconnect action is enabled
    std::function<void()> ModemDisconnect; // executes that action
    std::function<void()> Repaint;
    std::function<void(const std::string&)> AppendMemo2; // one line, UTF-8
    std::function<void(int32_t)> GoodsBarMaximum;        // the maximum of the writing loops' bar
};

struct JobSide {
    MainWindowHooks Main;
    int FormatIndex = FormatXml; // item chosen in the format choice; kept from job to job
    std::vector<GoodsDupCheckRecord> GoodsDupCheck;
    std::unique_ptr<platform::XmlDocument> XmlDocument; // the current document, kept until the next XML job
    bool FileWritten = false;                           // the current job wrote its file
    // The last journal parameters read (zeros before the first read); never cleared.
    Q710JournalParams JournalParamsValue{};

    // The program's dialogs register themselves here while they exist.
    TForm4* Form4 = nullptr;
    TForm5* Form5 = nullptr;
    TForm8* Form8 = nullptr;

    platform::FileDialogRequest& OpenDialog();
    platform::FileDialogRequest& SaveDialog();
    // A fresh current document in place of the earlier one.
    platform::XmlDocument& NewXmlDocument();

private:
    platform::FileDialogRequest ownOpenDialog;
    platform::FileDialogRequest ownSaveDialog;
};

// The program's one job side.
JobSide& Side();

// The job window as the procedures see it.
class JobProgress {
public:
    virtual ~JobProgress() = default;
    // Set once before the loop over the rows; the position goes back to 0.
    virtual void SetMaximum(int32_t maximum) = 0;
    // After each row: position + 1, the percentage, pending window messages.
    // True when the job was cancelled meanwhile.
    virtual bool Step() = 0;
};

// Everything a procedure reads and writes.
struct JobContext {
    console::ConsoleState& state;
    SharedArrays& arrays;
    JobSide& side;
    JobProgress& progress;

    bool Cancelled() const { return state.JobCancelled != 0; }
};

// The save step of XML, XLS and CSV exports, once the document is built and
// its source array emptied: unless the job was cancelled, the save dialog
// gets the format's filter (or `filter` when given), its default extension
// and an empty name; a confirmed path becomes MakeMetod.FileName and `write`
// writes the file there. Done is 1 afterwards, also after a cancelled dialog
// or job; an exception from `write` passes through with Done left as it was.
void SaveBuiltExport(JobContext& job, int formatIndex,
                     const std::function<void(const std::string& path)>& write, std::string_view filter = {});

// After the save step of a goods-group export that wrote its file: the main
// window's memo gets a dash line, "Данні збережено у файлі:", the file's
// name and "Файл експорту закрито!".
void TellSavedFile(JobContext& job);

// Error box of the job side (caption "Помилка", task-modal); text in UTF-8.
void ShowJobError(const std::string& utf8Text);

} // namespace exchange

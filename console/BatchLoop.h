// The loops of the long register operations: read (or write) one record after
// the other with progress in a bar, its percentage label and the application
// title, let the message loop run after each record so the stop action and
// the close request can reach the loop, ask Retry or Cancel when a record
// fails, and always restore the window at the end. The loops know the window
// only through the two small interfaces below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "console/ConsoleState.h"
#include "device/GoodsRecords.h"

namespace console {

// A progress bar with its percentage label.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual int32_t Maximum() const = 0;
    virtual void SetMaximum(int32_t value) = 0;
    virtual int32_t Position() const = 0;
    virtual void SetPosition(int32_t value) = 0;
    virtual std::string Label() const = 0; // ANSI
    virtual void SetLabel(const std::string& text) = 0;
};

// What a loop needs of the main window.
class BatchWindow {
public:
    virtual ~BatchWindow() = default;
    virtual void Repaint() = 0;
    virtual void ShowPage(int index) = 0;
    // The starting button becomes the stop button; every control that
    // reaches the register is disabled.
    virtual void Lock() = 0;
    // The starting button gets its own action back; the register controls
    // come back while a session is open.
    virtual void Unlock() = 0;
};

// The records a reading loop collects into its shared array.
class BatchTarget {
public:
    virtual ~BatchTarget() = default;
    virtual int RawSize() const = 0;
    // Adds element 0 and has the library fill it (the batch's first call).
    virtual uint8_t ReadFirst(const char** err) = 0;
    // Gives element 0 its own copy of the name.
    virtual void CompleteFirst() = 0;
    // Appends an element unpacked from a raw record of RawSize bytes.
    virtual void Append(std::span<const uint8_t> raw) = 0;
    // Goods number of the last element; -1 while there is none.
    virtual int32_t LastNumber() const = 0;
    virtual std::size_t Size() const = 0;
    virtual void Clear() = 0;
};

// A target over one of the shared arrays: the first call fills element 0,
// raw records are unpacked into the next ones. Records without a goods
// number or name (hour lines) have no last number and nothing to complete.
template <class Record> class ArrayTarget final : public BatchTarget {
public:
    using FirstCall = std::function<uint8_t(Record& first, const char** err)>;
    using Unpack = bool (*)(std::span<const uint8_t>, Record&);

    ArrayTarget(std::vector<Record>& array, int rawSize, FirstCall first, Unpack unpack)
        : array(array), rawSize(rawSize), first(std::move(first)), unpack(unpack) {}

    int RawSize() const override { return rawSize; }
    uint8_t ReadFirst(const char** err) override {
        array.emplace_back();
        return first(array.back(), err);
    }
    void CompleteFirst() override {
        if constexpr (requires(Record & r) { CompleteLibraryRecord(r); })
            CompleteLibraryRecord(array.front());
    }
    void Append(std::span<const uint8_t> raw) override {
        array.emplace_back();
        if (!unpack(raw, array.back())) array.pop_back();
    }
    int32_t LastNumber() const override {
        if constexpr (requires(const Record& r) { r.number; })
            return array.empty() ? -1 : array.back().number;
        else
            return -1;
    }
    std::size_t Size() const override { return array.size(); }
    void Clear() override { array.clear(); }

private:
    std::vector<Record>& array;
    int rawSize;
    FirstCall first;
    Unpack unpack;
};

// One reading operation: its count call, texts and operation kind. Texts ANSI.
struct ReadingMember {
    std::optional<int32_t> countSelector; // GetQuantityRecordsOfGoods gives the bar's maximum
    std::optional<int32_t> maximumAtEnd;  // the bar's maximum after the loop
    int32_t lastNumber = -1;              // reading ends after a record numbered this or above
    std::string titlePrefix;
    std::string nothingFoundText;
    std::string stopQuestion;
    std::string stopCaption;
    uint8_t kind = 0;
    // Runs after the window is prepared, before the count and the first call;
    // false ends the operation (the user has been told why).
    std::function<bool()> prepare;
    // A report of a fixed number of records (the hours of a day): reading
    // stops after that many; a failed first call, a failed record or an end
    // of data before the last one ends the operation without an export (the
    // library's text, or `incompleteText` for an early end, is shown). Such a
    // report never asks Retry.
    std::optional<std::size_t> fixedCount;
    std::string incompleteText;
};

// How a loop ended.
enum class BatchEnd {
    Exported,     // end of data, the export job wrote its file
    NotExported,  // end of data, the format choice or the job gave up
    Failed,       // the count, the preparation or the first call failed
    NothingFound, // the first call found nothing
    Incomplete,   // a report of a fixed number of records ended early
    Cancelled,    // Cancel after a failed record
    Stopped,      // the stop question answered Yes
    Closed,       // the main window closes: a close confirmed meanwhile, or a failure then
    Completed,    // a writing loop wrote every element
};

struct BatchOutcome {
    BatchEnd end = BatchEnd::Failed;
    std::size_t records = 0; // read or written
};

// The percentage text of a position, "0 %" while the maximum is 0.
std::string PercentLabel(int64_t position, int64_t maximum);

BatchOutcome RunReadingLoop(ConsoleState& state, BatchWindow& window, ProgressDisplay& display,
                            BatchTarget& target, const ReadingMember& member);

// One writing operation over ImportedGoods.
struct WritingMember {
    std::string startPrefix;
    std::string recordPrefix;
    std::vector<uint8_t> finalErrors; // statuses that end the writing at once
    std::string stopQuestion;
    std::string stopCaption;
    std::string completionMessage;
    uint8_t kind = 0;
    // Writes element `index`.
    std::function<uint8_t(std::size_t index, const GoodsProg& goods, const char** err)> write;
};

// Runs the import job, then writes its records. A failed element that the
// user retries is sent again, so no record is skipped without a Cancel.
BatchOutcome RunWritingLoop(ConsoleState& state, BatchWindow& window, ProgressDisplay& display,
                            std::vector<GoodsProg>& records, const WritingMember& member);

// Page of the reading loops' bar, and of the writing loops'.
inline constexpr int ReportsPage = 5;
inline constexpr int GoodsPage = 3;

} // namespace console

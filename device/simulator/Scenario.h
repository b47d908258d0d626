// Faults and oddities a test or a demo asks the simulated register for:
// failing calls, failing or short batches, overridden counts, null error
// texts, texts without terminators.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Fault {
    uint8_t status = 0xFF;
    std::string text; // Windows-1251
};

class Scenario {
public:
    // Counts a call of `name`; the answer is its number since the start.
    int CountCall(const std::string& name);
    int Calls(const std::string& name) const;

    // Fails `name` on its `at`-th call from now (and every later one when
    // persistent).
    void FailCall(const std::string& name, int at, bool persistent, Fault fault);
    std::optional<Fault> CallFault(const std::string& name, int callNumber);

    // NextCommand fails when it would deliver record `index` (the batch's
    // first record is 0).
    void FailRecord(int index, bool persistent, Fault fault);
    std::optional<Fault> RecordFault(int index);

    // Every batch ends after `delivered` records with `status`.
    void EndBatches(int delivered, uint8_t status) { earlyEnd_ = std::pair{delivered, status}; }
    std::optional<std::pair<int, uint8_t>> EarlyEnd() const { return earlyEnd_; }

    // The first call of the next batch (every batch when persistent).
    void FailBatchStart(bool persistent, Fault fault);
    std::optional<Fault> BatchStartFault();

    void OverrideCount(int selector, int count) { counts_[selector] = count; }
    std::optional<int> CountOverride(int selector) const;

    void NullError(const std::string& name, bool persistent);
    bool TakeNullError(const std::string& name);

    // Records of every batch are this many bytes (cut or padded with zeros).
    void SetRecordSize(std::optional<int> size) { recordSize_ = size; }
    std::optional<int> RecordSize() const { return recordSize_; }

    void SetUnterminated(bool on) { unterminated_ = on; }
    bool Unterminated() const { return unterminated_; }
    void SetQuietDial(bool on) { quietDial_ = on; }
    bool QuietDial() const { return quietDial_; }

    // Lines and record size of the batches of the reports by hours; 0 keeps
    // the register's own (24 lines, the layout's size).
    void SetHourBatch(int lines, int recordSize) {
        hourLines_ = lines;
        hourRecordSize_ = recordSize;
    }
    int HourLines() const { return hourLines_; }
    int HourRecordSize(int normal) const { return hourRecordSize_ > 0 ? hourRecordSize_ : normal; }

    // Drops every rule; call counts start again.
    void Clear() { *this = Scenario(); }
    std::string Describe() const;

private:
    struct CallRule {
        std::string name;
        int at = 1;
        bool persistent = false;
        Fault fault;
        bool spent = false;
    };
    struct OnceRule {
        int index = 0;
        bool persistent = false;
        Fault fault;
        bool spent = false;
    };
    std::map<std::string, int> calls_;
    std::vector<CallRule> callRules_;
    std::vector<OnceRule> recordRules_;
    std::optional<OnceRule> batchStart_;
    std::optional<std::pair<int, uint8_t>> earlyEnd_;
    std::map<int, int> counts_;
    std::map<std::string, bool> nullErrors_; // name -> persistent
    std::optional<int> recordSize_;
    bool unterminated_ = false;
    bool quietDial_ = false;
    int hourLines_ = 24;
    int hourRecordSize_ = 0;
};

} // namespace sim

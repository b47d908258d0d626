// The control commands of the simulated register (language in README.md).
#include <cctype>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>

#include "device/simulator/ControlWords.h"
#include "device/simulator/SimText.h"
#include "device/simulator/Simulator.h"

namespace sim {

namespace {

// Splits a command line into words; a quoted word may hold blanks and the
// escapes \" \\ \xHH, and its UTF-8 text becomes Windows-1251.
bool Tokenize(const std::string& line, std::vector<std::string>& words, std::string& error) {
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        std::string word;
        if (line[i] != '"') {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
            words.push_back(word);
            continue;
        }
        ++i;
        std::string utf8;
        bool closed = false;
        while (i < line.size()) {
            const char c = line[i++];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c != '\\') {
                utf8 += c;
                continue;
            }
            if (i >= line.size()) break;
            const char e = line[i++];
            if (e == 'x' && i + 2 <= line.size() && std::isxdigit(static_cast<unsigned char>(line[i])) &&
                std::isxdigit(static_cast<unsigned char>(line[i + 1]))) {
                word += ToCp1251(utf8);
                utf8.clear();
                word += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
                i += 2;
            } else {
                utf8 += e;
            }
        }
        if (!closed) {
            error = "unterminated quoted text";
            return false;
        }
        word += ToCp1251(utf8);
        words.push_back("\x01" + word); // marks a quoted word
    }
    return true;
}

} // namespace

std::optional<long long> Number(const std::string& word) {
    if (word.empty() || word[0] == '\x01') return std::nullopt;
    try {
        std::size_t used = 0;
        const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
        const long long value = hex ? std::stoll(word.substr(2), &used, 16) : std::stoll(word, &used, 10);
        if (used != (hex ? word.size() - 2 : word.size())) return std::nullopt;
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<long long> NumberAt(const std::vector<std::string>& words, std::size_t index, long long low,
                                  long long high) {
    const auto n = index < words.size() ? Number(words[index]) : std::nullopt;
    if (!n || *n < low || *n > high) return std::nullopt;
    return n;
}

std::string Plain(const std::string& word) {
    return !word.empty() && word[0] == '\x01' ? word.substr(1) : word;
}

namespace {

// The options after a command's fixed words: at N, status S, text T, persistent.
struct FaultOptions {
    int at = 1;
    bool persistent = false;
    Fault fault{StatusInjected, ToCp1251("Імітована помилка ЕККА")};
};

bool ParseOptions(const std::vector<std::string>& words, std::size_t from, FaultOptions& out,
                  std::string& error) {
    for (std::size_t i = from; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "persistent") {
            out.persistent = true;
        } else if (w == "once") {
            out.persistent = false;
        } else if ((w == "at" || w == "status" || w == "text") && i + 1 < words.size()) {
            const std::string& value = words[++i];
            if (w == "text") {
                out.fault.text = Plain(value);
                continue;
            }
            const auto n = Number(value);
            if (!n || *n < 0 || (w == "status" && *n > 255) || (w == "at" && (*n < 1 || *n > 1000000000))) {
                error = "bad number: " + Plain(value);
                return false;
            }
            if (w == "at")
                out.at = static_cast<int>(*n);
            else
                out.fault.status = static_cast<uint8_t>(*n);
        } else {
            error = "unexpected word: " + Plain(w);
            return false;
        }
    }
    return true;
}

bool ParseModemStep(const std::string& word, ModemStep& step) {
    const auto colon = word.find(':');
    const auto state = Number(word.substr(0, colon));
    if (!state || *state < 0 || *state > 255) return false;
    step = {};
    step.state = static_cast<uint8_t>(*state);
    if (colon == std::string::npos) return true;
    const std::string rest = word.substr(colon + 1);
    const auto slash = rest.find('/');
    const auto first = Number(rest.substr(0, slash));
    if (!first || *first < 0 || *first > 65535) return false;
    if (slash == std::string::npos) {
        step.wait = static_cast<uint16_t>(*first);
        return true;
    }
    const auto second = Number(rest.substr(slash + 1));
    if (!second || *second < 0 || *second > 65535) return false;
    step.attempt = static_cast<uint16_t>(*first);
    step.maximum = static_cast<uint16_t>(*second);
    return true;
}

} // namespace

void Simulator::Reset() {
    memory_ = RegisterMemory::Demo();
    scenario_.Clear();
    discountGroupByte_.reset();
    journalDamage_ = JournalDamage{};
    cursor_.Close();
    modem_ = Modem();
    ports_.assign(9, true);
    transmitter_ = 1;
    receiver_ = 0;
    registerAddress_ = 2;
    rs485Disabled_ = false;
    radar_ = false;
    connected_ = false;
    poweredOff_ = false;
    Changed();
}

bool Simulator::RunScript(const std::string& text, std::string& reply) {
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    bool allOk = true;
    reply.clear();
    while (std::getline(in, line)) {
        ++lineNumber;
        std::string answer;
        if (!Control(line, answer)) {
            allOk = false;
            reply += "line " + std::to_string(lineNumber) + ": " + answer + "\n";
        } else if (answer != "ok") {
            reply += answer;
        }
    }
    if (reply.empty()) reply = allOk ? "ok" : "error";
    return allOk;
}

// A command of the verbs below: its words, the reply it gives and the
// simulator it works on. Each handler answers false with the reason in the
// reply, and changes nothing then.
struct Simulator::ControlCommand {
    Simulator& sim;
    const std::vector<std::string>& words;
    std::string& reply;

    bool Refuse(const std::string& why) const {
        reply = "error: " + why;
        return false;
    }

    // The second of exactly two words, on or off.
    bool OnOff(bool& out) const {
        if (words.size() != 2 || (words[1] != "on" && words[1] != "off")) return false;
        out = words[1] == "on";
        return true;
    }

    bool Options(std::size_t from, FaultOptions& options) const {
        std::string error;
        return ParseOptions(words, from, options, error) || Refuse(error);
    }

    bool FailCall() {
        if (words.size() < 2) return Refuse("fail needs a function name");
        FaultOptions options;
        if (!Options(2, options)) return false;
        sim.scenario_.FailCall(Plain(words[1]), options.at, options.persistent, options.fault);
        return true;
    }

    bool FailRecord() {
        const auto index = NumberAt(words, 1, 1, 1000000);
        if (!index) return Refuse("fail-record needs a record index from 1");
        FaultOptions options;
        if (!Options(2, options)) return false;
        sim.scenario_.FailRecord(static_cast<int>(*index), options.persistent, options.fault);
        return true;
    }

    bool EndBatch() {
        const auto count = NumberAt(words, 1, 0, 1000000);
        if (!count) return Refuse("end-batch needs a record count");
        long long status = Q710_END_OF_DATA;
        if (words.size() == 4 && words[2] == "status") {
            const auto s = NumberAt(words, 3, 0, 255);
            if (!s) return Refuse("bad status");
            status = *s;
        } else if (words.size() != 2) {
            return Refuse("end-batch K [status S]");
        }
        sim.scenario_.EndBatches(static_cast<int>(*count), static_cast<uint8_t>(status));
        return true;
    }

    bool BatchFirst() {
        const auto status = NumberAt(words, 1, 0, 255);
        if (!status) return Refuse("batch-first needs a status");
        FaultOptions options;
        options.fault.status = static_cast<uint8_t>(*status);
        if (*status == Q710_NOT_FOUND || *status == Q710_END_OF_DATA) options.fault.text.clear();
        if (!Options(2, options)) return false;
        sim.scenario_.FailBatchStart(options.persistent, options.fault);
        return true;
    }

    bool OverrideCount() {
        const auto selector = NumberAt(words, 1, -1, 0);
        const auto count = NumberAt(words, 2, 0, 65535);
        if (!selector || !count || words.size() != 3) return Refuse("count SELECTOR N (selector 0 or -1)");
        sim.scenario_.OverrideCount(static_cast<int>(*selector), static_cast<int>(*count));
        return true;
    }

    bool ModemScript() {
        std::vector<ModemStep> steps;
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (words[i] == "default" && words.size() == 2) break;
            ModemStep step;
            if (!ParseModemStep(words[i], step)) return Refuse("bad modem step: " + Plain(words[i]));
            steps.push_back(step);
        }
        sim.modem_.SetScript(std::move(steps));
        return true;
    }

    bool QuietDial() {
        bool on = false;
        if (!OnOff(on)) return Refuse("quiet-dial on|off");
        sim.scenario_.SetQuietDial(on);
        return true;
    }

    bool NullError() {
        if (words.size() < 2 || words.size() > 3 || (words.size() == 3 && words[2] != "persistent"))
            return Refuse("null-error FUNCTION [persistent]");
        sim.scenario_.NullError(Plain(words[1]), words.size() == 3);
        return true;
    }

    bool RecordSize() {
        const auto size = NumberAt(words, 1, 1, 4096);
        if (words.size() != 2 || (!size && words[1] != "off"))
            return Refuse("record-size N (1..4096) or off");
        sim.scenario_.SetRecordSize(size ? std::optional<int>(static_cast<int>(*size)) : std::nullopt);
        return true;
    }

    bool Unterminated() {
        bool on = false;
        if (!OnOff(on)) return Refuse("unterminated on|off");
        sim.scenario_.SetUnterminated(on);
        return true;
    }

    bool Ports() {
        if (words.size() != 2) return Refuse("ports N,N,... or none");
        std::vector<bool> present(9, false);
        if (words[1] != "none") {
            std::istringstream list(words[1]);
            std::string item;
            while (std::getline(list, item, ',')) {
                const auto port = Number(item);
                if (!port || *port < 1 || *port > 8) return Refuse("ports are 1..8");
                present[static_cast<std::size_t>(*port)] = true;
            }
        }
        sim.ports_ = present;
        return true;
    }

    bool Address() {
        const auto address = NumberAt(words, 1, 1, 255);
        if (!address || words.size() != 2) return Refuse("address N (1..255)");
        sim.registerAddress_ = static_cast<int32_t>(*address);
        return true;
    }

    bool SeedGoods() {
        const auto count = NumberAt(words, 1, 0, GoodsCapacity);
        if (!count || words.size() != 2)
            return Refuse("seed-goods N (0.." + std::to_string(GoodsCapacity) + ")");
        sim.cursor_.Close();
        sim.memory_.SeedGoods(static_cast<int>(*count));
        sim.Changed();
        return true;
    }

    bool MarkFailure() {
        const auto goods = NumberAt(words, 1, 0, GoodsCapacity - 1);
        if (!goods || !sim.memory_.goods.At(static_cast<int>(*goods)))
            return Refuse("mark-failure needs a programmed number");
        sim.memory_.goods.MarkFailure(static_cast<int>(*goods));
        sim.Changed();
        return true;
    }

    bool ClearFaults() {
        sim.scenario_.Clear();
        sim.discountGroupByte_.reset();
        sim.modem_.SetScript({});
        return true;
    }

    bool Reset() {
        sim.Reset();
        return true;
    }

    bool Save() {
        sim.Flush();
        return true;
    }

    bool Log() {
        if (words.size() != 2) return Refuse("log PATH|off");
        sim.log_.SetPath(words[1] == "off" ? "" : Plain(words[1]));
        return true;
    }

    // The memory so far goes to the old file first; a new file that holds
    // no register's memory starts one of demo data.
    bool SwitchStateFile() {
        if (words.size() != 2) return Refuse("state-file PATH");
        sim.Flush();
        sim.options_.statePath = Plain(words[1]);
        sim.stateFile_ = StateFile(sim.options_.statePath);
        if (!sim.LoadState()) {
            sim.memory_ = RegisterMemory::Demo();
            sim.dirty_ = true;
        }
        sim.SaveIfDue(true);
        return true;
    }

    bool Dump() {
        std::ostringstream out;
        const GoodsBase& base = sim.memory_.goods;
        const Modem& modem = sim.modem_;
        out << "connected=" << sim.connected_ << "\nlink=" << sim.LinkUp() << "\nradar=" << sim.radar_
            << "\npowered-off=" << sim.poweredOff_ << "\ntransmitter=" << sim.transmitter_
            << "\nreceiver=" << sim.receiver_ << "\nregister-address=" << sim.registerAddress_
            << "\nrs485-disabled=" << sim.rs485Disabled_ << "\nmodem-active=" << modem.Active()
            << "\nmodem-connected=" << modem.Connected() << "\nmodem-phone=" << modem.Phone()
            << "\nmodem-max-attempts=" << modem.MaxAttempts() << "\nname-length=" << base.NameLength()
            << "\ncapacity=" << base.Capacity() << "\nprogrammed=" << base.Programmed()
            << "\nfailures=" << base.Failures() << "\nadditional-codes=" << base.AdditionalCodes().size()
            << "\nbatch-open=" << sim.cursor_.IsOpen() << "\nstate-file=" << sim.options_.statePath << "\n"
            << sim.SalesDump() << sim.JournalDump() << sim.DiscountDump() << sim.scenario_.Describe();
        reply = out.str();
        return true;
    }
};

bool Simulator::Control(const std::string& command, std::string& reply) {
    std::vector<std::string> words;
    std::string error;
    reply = "ok";
    if (!Tokenize(command, words, error)) {
        reply = "error: " + error;
        return false;
    }
    if (words.empty()) return true;
    using Handler = bool (ControlCommand::*)();
    static constexpr std::pair<std::string_view, Handler> commands[] = {
        {"fail", &ControlCommand::FailCall},
        {"fail-record", &ControlCommand::FailRecord},
        {"end-batch", &ControlCommand::EndBatch},
        {"batch-first", &ControlCommand::BatchFirst},
        {"count", &ControlCommand::OverrideCount},
        {"modem-script", &ControlCommand::ModemScript},
        {"quiet-dial", &ControlCommand::QuietDial},
        {"null-error", &ControlCommand::NullError},
        {"record-size", &ControlCommand::RecordSize},
        {"unterminated", &ControlCommand::Unterminated},
        {"ports", &ControlCommand::Ports},
        {"address", &ControlCommand::Address},
        {"seed-goods", &ControlCommand::SeedGoods},
        {"mark-failure", &ControlCommand::MarkFailure},
        {"clear-faults", &ControlCommand::ClearFaults},
        {"reset", &ControlCommand::Reset},
        {"save", &ControlCommand::Save},
        {"log", &ControlCommand::Log},
        {"state-file", &ControlCommand::SwitchStateFile},
        {"dump", &ControlCommand::Dump},
    };
    const std::string& verb = words[0];
    ControlCommand run{*this, words, reply};
    for (const auto& [name, handler] : commands)
        if (verb == name) return (run.*handler)();
    if (IsSalesCommand(verb)) return SalesControl(words, reply);
    if (IsJournalCommand(verb)) return JournalControl(words, reply);
    if (IsDiscountCommand(verb)) return DiscountControl(words, reply);
    reply = "error: unknown command: " + Plain(verb);
    return false;
}

} // namespace sim

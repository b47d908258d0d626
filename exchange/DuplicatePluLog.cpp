#include "exchange/DuplicatePluLog.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include "platform/AtomicFile.h"
#include "platform/CodePages.h"

namespace exchange {

std::vector<std::string> DuplicatePluLines(std::vector<GoodsDupCheckRecord>& entries) {
    // Entries by PLU in list order, so a long import is not compared pair by pair. The first entry of a PLU
    // marks every later one, so the later ones never start a line.
    std::unordered_map<int32_t, std::vector<std::size_t>> byPlu;
    for (std::size_t i = 0; i < entries.size(); ++i) byPlu[entries[i].Plu].push_back(i);

    const std::string listed = platform::Utf8ToAnsi("] Номер за списком: ");
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const GoodsDupCheckRecord& entry = entries[i];
        const std::vector<std::size_t>& same = byPlu[entry.Plu];
        if (same.front() != i) continue;
        std::string line = "[PLU:" + std::to_string(entry.Plu) + " Barcode:" + std::to_string(entry.Barcode) +
                           listed + std::to_string(entry.Number);
        bool appended = false;
        for (std::size_t k = 1; k < same.size(); ++k) {
            GoodsDupCheckRecord& other = entries[same[k]];
            if (other.Reported != 0) continue;
            line += " = " + std::to_string(other.Number);
            other.Reported = 1;
            appended = true;
        }
        if (appended) lines.push_back(std::move(line));
    }
    return lines;
}

std::string DuplicatePluLogName(const std::string& importFile) {
    return importFile + ".log";
}

std::string CannotWriteLogText(const std::string& logName, const std::string& reason) {
    return "Не вдається записати журнал повторних кодів PLU " + logName + ": " + reason;
}

void WriteDuplicatePluLog(const std::string& importFile, std::vector<GoodsDupCheckRecord>& entries) {
    const std::string logName = DuplicatePluLogName(importFile);
    // Only an older log that is there is removed; a name that cannot be
    // looked up (a read-only folder, a name too long) has none to remove,
    // and whether a new one can be written shows when it is written.
    std::error_code error;
    const bool present = std::filesystem::exists(std::filesystem::symlink_status(logName, error));
    if (present && !std::filesystem::remove(logName, error) && error)
        throw platform::FileError("Не вдається видалити файл " + logName + ": " +
                                  platform::FileErrorReason(error.value()));

    std::vector<std::string> lines = DuplicatePluLines(entries);
    if (lines.empty()) return;
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(logName.c_str(), "ab"));
    if (!file) throw platform::FileError(CannotWriteLogText(logName, platform::FileErrorReason(errno)));
    bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    written = std::fflush(file.get()) == 0 && written;
    if (!written) throw platform::FileError(CannotWriteLogText(logName, platform::FileErrorReason(errno)));
}

} // namespace exchange

#include "support_freexl.h"

#include "support_process.h"

#include <cstdlib>
#include <sstream>

namespace testfiles {

FreeXLBook ReadWithFreeXL(const std::string& path, const std::vector<FreeXLCell>& cells, bool countCells) {
    FreeXLBook book;
    const char* bin = std::getenv("Q710_BIN_DIR");
    std::string command = ShellQuote(std::string(bin ? bin : ".") + "/freexl_cells") +
                          (countCells ? " --count " : " ") + ShellQuote(path);
    for (const FreeXLCell& c : cells)
        command += " " + std::to_string(c.Sheet) + ":" + std::to_string(c.Row) + ":" + std::to_string(c.Col);
    const TProgramRun run = RunProgram(command);
    if (!run.Ran() || run.Status != 0) {
        book.Failure = "FreeXL gave no answer: " + run.Why();
        return book;
    }
    std::istringstream lines(run.Output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "open") {
            fields >> book.Status;
        } else if (key == "sheets") {
            fields >> book.Sheets;
        } else if (key == "cells") {
            fields >> book.NonEmptyCells;
        } else if (key == "size") {
            unsigned rows = 0, cols = 0;
            fields >> rows >> cols;
            book.Dimensions.emplace_back(rows, (unsigned short)(cols));
        } else if (key == "value") {
            const std::string raw = line.size() > 6 ? line.substr(6) : "";
            std::string text;
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] != '\\' || i + 1 == raw.size()) {
                    text += raw[i];
                    continue;
                }
                const char c = raw[++i];
                text += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
            }
            book.Values.push_back(text);
        }
    }
    book.Opened = book.Status == 0 && run.Output.find("\nsheets ") != std::string::npos;
    return book;
}

} // namespace testfiles

// The recalculation workload of xlsbench:
//   xlsbench write formulas FILE  10,000 rows of numbers (A) and ten formula
//                        columns (100,000 formulas): a running total chain,
//                        sums over windows, IF, LOOKUP over the 10,000 rows,
//                        ROUND, MOD/INT, AND, MAX/MIN, ABS and a second chain
//   xlsbench recalc FILE the time to read FILE and to calculate every formula
//                        cell in one pass
#include "xlsbench_read.h"

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/Cell.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace xls;

namespace {

std::u16string Row(const char* pattern, int row) {
    // "#" stands for the row number, "@" for the row before it, "%" for the
    // row ten below it (at most the last row).
    std::u16string out;
    for (const char* p = pattern; *p; ++p) {
        if (*p == '#')
            out += Utf8ToWide(std::to_string(row + 1));
        else if (*p == '@')
            out += Utf8ToWide(std::to_string(row));
        else if (*p == '%')
            out += Utf8ToWide(std::to_string(std::min(row + 10, 10000)));
        else
            out += char16_t(*p);
    }
    return out;
}

} // namespace

void BuildFormulas(TTabrix4& book) {
    constexpr int rows = 10000;
    TSheet& sheet = book.GetSheet(0);
    const char* columns[] = {
        "B@+A#",                                           // B: running total
        "SUM(A#:A%)",                                      // C: a window of ten rows
        "IF(A#>5000,B#,-B#)",                              // D
        "LOOKUP(MOD(A#*7,10000),A$1:A$10000,B$1:B$10000)", // E
        "ROUND(D#/7,2)",                                   // F
        "MOD(A#,7)+INT(C#/3)",                             // G
        "AND(A#>1,C#<100000)",                             // H
        "MAX(C#,F#)-MIN(D#,E#)",                           // I
        "ABS(I#)+SUM(F#:G#)+H#",                           // J
        "K@+J#/1000",                                      // K: second chain
    };
    TFormulaHandler& handler = book.FormulaHandler();
    for (int r = 0; r < rows; ++r) sheet.SetAsFloat(0, r, r + 1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 10; ++c) {
            std::u16string text = Row(columns[c], r);
            // The first row of a chain starts it.
            if (r == 0 && (c == 0 || c == 9)) text = c == 0 ? u"A1" : u"J1/1000";
            TFormulaEncoding how;
            how.FileSyntax = true;
            how.Sheet = 0;
            const TEncodedFormula f = handler.EncodeFormula(text, how);
            sheet.PutFormula(ctNumberFormula, c + 1, r, 15, int(f.TokenLength), f.Data, {});
        }
}

int RunRecalc(const char* file, const std::u16string& password) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    TTabrix4 book;
    try {
        book.SetFilename(std::filesystem::path(file).u16string());
        book.Password = password;
        book.Read();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xlsbench: %s\n", e.what());
        return 1;
    }
    const auto read = Clock::now();
    long formulas = 0, failed = 0;
    const auto evaluator = book.MakeEvaluator();
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        std::vector<std::pair<int, int>> cells;
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell())
            if (c->IsFormula()) cells.emplace_back(c->Col, int(c->Row));
        for (auto [col, row] : cells) {
            TFormulaValue v;
            try {
                evaluator->CalculateCell(s, col, row, v);
            } catch (const std::exception&) {
                ++failed;
            }
            ++formulas;
        }
    }
    const auto done = Clock::now();
    auto seconds = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    };
    std::printf("read   %.3f s\nrecalc %.3f s, %ld formulas, %ld not computed\n", seconds(start, read),
                seconds(read, done), formulas, failed);
    return 0;
}

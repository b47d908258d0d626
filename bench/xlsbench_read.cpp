// The reading commands of xlsbench:
//   xlsbench read FILE   the time to read FILE and its cell count
//   xlsbench dump FILE   every cell of every sheet, one line each: sheet
//                        index, row, column, type code and the value as
//                        GetAsString shows it (\, tab, CR and LF escaped);
//                        with --shown the value as the cell shows it, its
//                        number format applied in the en-US locale ('.' as
//                        decimal and ',' as thousands separator)
//   xlsbench formulas FILE  every formula cell, one line each: sheet index,
//                        row, column, the formula in file syntax ("," between
//                        arguments, "." in numbers) and the cached value as
//                        dump shows it ("(no value)" for a formula read or
//                        set without one; a formula that cannot be shown
//                        gives the library's message in its place), then the value
//                        our evaluator computes for the cell (the library's
//                        message when it cannot)
// All take --password TEXT for an encrypted workbook, and print what the read
// left behind on stderr ("xlsbench: warning: ..."), one line each.
// All exit with 0 when the file was read and with 1 and the library's
// message when it was refused.
#include "xlsbench_read.h"

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/ExcelMask.h"
#include "platform/RegionalSettings.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace xls;

void PrintWarnings(const TTabrix4& book) {
    for (const std::string& w : book.Warnings()) std::fprintf(stderr, "xlsbench: warning: %s\n", w.c_str());
}

namespace {

bool ReadBook(TTabrix4& book, const char* file, const std::u16string& password) {
    try {
        book.Password = password;
        book.SetFilename(std::filesystem::path(file).u16string());
        book.Read();
        PrintWarnings(book);
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xlsbench: %s\n", e.what());
        return false;
    }
}

std::string Escaped(const std::u16string& text) {
    std::string out;
    for (char c : WideToUtf8(text)) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The cells of a sheet (formula cells only, when asked), before any is read:
// reading a formula's text may not walk the store.
std::vector<std::pair<int, int>> Positions(TSheet& sheet, bool formulasOnly) {
    std::vector<std::pair<int, int>> positions;
    sheet.Cells().BeginIterate();
    while (TCell* c = sheet.Cells().NextCell())
        if (!formulasOnly || c->IsFormula()) positions.emplace_back(c->Col, int(c->Row));
    return positions;
}

} // namespace

int RunRead(const char* file, const std::u16string& password) {
    const auto start = std::chrono::steady_clock::now();
    TTabrix4 book;
    if (!ReadBook(book, file, password)) return 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int64_t cells = 0;
    for (int s = 0; s < book.Sheets().Count(); ++s) cells += book.Sheets().Items(s).Cells().Count();
    std::printf("read   %.3f s\ncells  %lld\n", seconds, static_cast<long long>(cells));
    return 0;
}

std::u16string ComputedText(TFormulaEvaluator& evaluator, int sheet, int col, int row) {
    TFormulaValue v;
    try {
        evaluator.CalculateCell(sheet, col, row, v);
    } catch (const std::exception& e) {
        return Utf8ToWide(e.what());
    }
    switch (v.ValType) {
    case fvFloat:
        return FloatToGeneralText(v.Float, LibState().Locale.DecimalSeparator);
    case fvBoolean:
        return v.Boolean ? LibState().StrTRUE : LibState().StrFALSE;
    case fvError:
        return std::u16string(ErrorDisplayText(v.Error));
    case fvString:
        return v.Text;
    default:
        return {};
    }
}

int RunFormulas(const char* file, const std::u16string& password) {
    TTabrix4 book;
    if (!ReadBook(book, file, password)) return 1;
    // One pass over the workbook: each cell is calculated once.
    const auto evaluator = book.MakeEvaluator();
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.Sheets().Items(s);
        for (auto [col, row] : Positions(sheet, true)) {
            std::string text;
            try {
                text = sheet.GetAsFormula(col, row);
            } catch (const std::exception& e) {
                text = e.what();
            }
            const auto& cell = static_cast<const TFormulaCell&>(*sheet.GetCell(col, row));
            const std::u16string cached =
                book.HoldsNoResult(s, cell) ? u"(no value)" : sheet.GetAsString(col, row);
            std::printf("%d\t%d\t%d\t%s\t%s\t%s\n", s, row, col, Escaped(Utf8ToWide(text)).c_str(),
                        Escaped(cached).c_str(), Escaped(ComputedText(*evaluator, s, col, row)).c_str());
        }
    }
    return 0;
}

int RunDump(const char* file, const std::u16string& password, bool shown) {
    if (shown) {
        LibState().Locale = TXLSLocale();
        platform::RegionalSettings us = platform::Regional();
        us.shortDateFormat = "M/d/yy";
        us.longTimeFormat = "H:mm:ss";
        platform::SetRegional(us);
    }
    TTabrix4 book;
    if (!ReadBook(book, file, password)) return 1;
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.Sheets().Items(s);
        for (auto [col, row] : Positions(sheet, false))
            std::printf("%d\t%d\t%d\t%d\t%s\n", s, row, col, sheet.GetCellType(col, row),
                        Escaped(shown ? sheet.Cells().GetDisplayText(col, row) : sheet.GetAsString(col, row))
                            .c_str());
    }
    return 0;
}

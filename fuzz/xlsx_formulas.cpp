// The formulas of a package (its parts as xlsx_parts.h cuts the input):
// every formula cell's text and value, members of shared formulas made
// from their anchor's and array formulas computed element by element, the
// first sheet's values as the workbook imports take them, then the workbook
// written as a binary file, shared and array formulas included.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/model/Cell.h"
#include "exchange/WorkbookCells.h"
#include "fuzz/xlsx_parts.h"

#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace xls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image;
    if (!PackageOfParts(data, size, image)) return 0;
    static TTabrix4 book;
    // The binary copy of each run goes to one file, removed at the end.
    static const struct TScratch {
        std::filesystem::path File = std::filesystem::temp_directory_path() /
                                     ("fuzz_xlsx_formulas_" + std::to_string(getpid()) + ".xls");
        ~TScratch() {
            std::error_code e;
            std::filesystem::remove(File, e);
        }
    } scratch;
    book.TempFileMode = TTempFileMode::tfmInMemory;
    try {
        ReadPackageFile(book, &image);
    } catch (const XLSError&) {
    }
    book.AfterRead();
    const auto evaluator = book.MakeEvaluator();
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.Sheets().Items(s);
        std::vector<std::pair<int, int>> formulas;
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell())
            if (c->IsFormula()) formulas.emplace_back(c->Col, int(c->Row));
        for (auto [col, row] : formulas) {
            try {
                sheet.GetAsFormula(col, row);
            } catch (const XLSError&) {
            }
            try {
                TFormulaValue v;
                evaluator->CalculateCell(s, col, row, v);
            } catch (const XLSError&) {
            }
        }
    }
    // The values the workbook imports take from the first sheet.
    if (book.Sheets().Count() > 0) {
        exchange::WorkbookCells cells(book, 0);
        std::vector<std::pair<int, int>> positions;
        cells.Sheet().Cells().BeginIterate();
        while (TCell* c = cells.Sheet().Cells().NextCell()) positions.emplace_back(c->Col, int(c->Row));
        for (auto [col, row] : positions) {
            cells.At(col, row).Integer();
            cells.Text(col, row);
        }
    }
    try {
        book.SetVersion(TExcelVersion::xvExcel97);
        book.SetFilename(scratch.File.u16string());
        book.Write();
    } catch (const XLSError&) {
    }
    return 0;
}

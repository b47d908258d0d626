// The package written from a workbook read, and read back: the write may
// refuse with the library's message; a package written that does not read
// back is a finding.
#pragma once

#include "SrcXLS/Tabrix4.h"
#include "fuzz/oracle_judge.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

// With readBack false (what a refused read left: the writer must not fall
// over it, but it is no workbook whose copy must read back) only the write.
// A copy read back is judged by openpyxl too where Q710_FUZZ_ORACLE is set.
inline void CopyPackage(xls::TTabrix4& book, xls::TTabrix4& again, const std::vector<uint8_t>& source,
                        bool readBack = true) {
    std::vector<uint8_t> written;
    try {
        xls::WritePackageFile(book, &written);
    } catch (const xls::XLSError&) {
        return;
    }
    if (!readBack) return;
    try {
        xls::ReadPackageFile(again, &written);
    } catch (const xls::XLSError& e) {
        std::fprintf(stderr, "the package written does not read back: %s\n", e.what());
        std::abort();
    }
    if (TOracleJudge* judge = TOracleJudge::Get()) judge->Judge(source, true, written, true, "package copy");
}

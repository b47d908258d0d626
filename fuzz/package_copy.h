// The package written from a workbook read, and read back: the write may
// refuse with the library's message; a package written that does not read
// back is a finding.
#pragma once

#include "SrcXLS/Tabrix4.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

// With readBack false (what a refused read left: the writer must not fall
// over it, but it is no workbook whose copy must read back) only the write.
inline void CopyPackage(xls::TTabrix4& book, xls::TTabrix4& again, bool readBack = true) {
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
}

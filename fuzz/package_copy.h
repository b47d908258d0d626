// The package written from a workbook read, and read back: the write may
// refuse with the library's message; a package written that does not read
// back is a finding.
#pragma once

#include "SrcXLS/Tabrix4.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

inline void CopyPackage(xls::TTabrix4& book, xls::TTabrix4& again) {
    std::vector<uint8_t> written;
    try {
        xls::WritePackageFile(book, &written);
    } catch (const xls::XLSError&) {
        return;
    }
    try {
        xls::ReadPackageFile(again, &written);
    } catch (const xls::XLSError& e) {
        std::fprintf(stderr, "the package written does not read back: %s\n", e.what());
        std::abort();
    }
}

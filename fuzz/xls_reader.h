// Reads an image into a fresh workbook the way the component does, then
// deletes its first defined name; refusals are the library's exceptions,
// anything else reaches the fuzzer.
#pragma once

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"

#include <vector>

inline void ReadImage(const std::vector<uint8_t>& image) {
    xls::TTabrix4 book;
    try {
        xls::ReadWorkbookFile(book, &image);
    } catch (const xls::XLSError&) {
    }
    book.AfterRead();
    // A deleted name renumbers the names in every formula read.
    if (book.GetInternalNames().Count() > 0) book.GetInternalNames().Delete(0);
    xls::LibState().Reset();
}

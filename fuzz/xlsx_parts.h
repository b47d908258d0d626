// A small package from the parts of one input: the input is cut at
// "\n--\n" into the workbook, its relationships, styles, shared strings,
// two worksheets and the first one's relationships, which are zipped.
#pragma once

#include "SrcXLS/formats/XLSZip.h"

#include <string>
#include <vector>

inline bool PackageOfParts(const uint8_t* data, size_t size, std::vector<uint8_t>& image) {
    static const char* names[] = {"xl/workbook.xml",
                                  "xl/_rels/workbook.xml.rels",
                                  "xl/styles.xml",
                                  "xl/sharedStrings.xml",
                                  "xl/worksheets/sheet1.xml",
                                  "xl/worksheets/sheet2.xml",
                                  "xl/worksheets/_rels/sheet1.xml.rels"};
    std::string input(reinterpret_cast<const char*>(data), size);
    try {
        xls::TXLSZipArchive zip;
        zip.Create();
        size_t from = 0;
        for (const char* name : names) {
            if (from > input.size()) break;
            size_t end = input.find("\n--\n", from);
            if (end == std::string::npos) end = input.size();
            zip.AddFile(name, input.substr(from, end - from), 0);
            from = end + 4;
        }
        image = zip.Close();
    } catch (const xls::XLSError&) {
        return false;
    }
    return true;
}

// Types every part of the workbook library shares: the file versions, their
// limits and the library's exception.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace xls {

enum class TExcelVersion : uint8_t {
    xvNone,
    xvExcelUnknown,
    xvExcel21,
    xvExcel30,
    xvExcel40,
    xvExcel50,
    xvExcel97,
    xvExcel2007,
};

// Largest record body a version allows before CONTINUE records are needed.
constexpr int MaxRecordSize(TExcelVersion v) {
    return v >= TExcelVersion::xvExcel97 ? 8224 : 2080;
}
constexpr int MaxColumn(TExcelVersion v) {
    return v == TExcelVersion::xvExcel2007 ? 16383 : 255;
}
constexpr int MaxRow(TExcelVersion v) {
    return v == TExcelVersion::xvExcel2007 ? 1048575 : 65535;
}
// The last row a file of the version holds: files before Excel 97 have
// 16,384 rows, and the other readers take no cell below them.
constexpr int LastFileRow(TExcelVersion v) {
    return v >= TExcelVersion::xvExcel97 ? MaxRow(v) : 16383;
}

// The library's general exception; its messages are fixed English texts.
class XLSError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace xls

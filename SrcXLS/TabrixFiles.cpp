// The hand-over from the component to the file readers and writers: the
// reader by the file name's extension, the writer by Version.
#include "SrcXLS/Tabrix4.h"

#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/TabrixReader.h"
#include "SrcXLS/formats/WorkbookFile.h"

namespace xls {

namespace {
bool IsPackageName(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    if (dot == name.npos) return false;
    std::u16string ext = UpperCaseWide(name.substr(dot));
    return ext == u".XLSX" || ext == u".XLSM" || ext == u".ZIP";
}
} // namespace

void TTabrix4::ReadFile() {
    if (IsPackageName(filename)) throw XLSError("Reading .xlsx packages is not available");
    try {
        ReadWorkbookFile(*this);
    } catch (...) {
        AfterRead();
        throw;
    }
    AfterRead();
}

void TTabrix4::WriteFile() {
    if (version == TExcelVersion::xvExcel2007) throw XLSError("Writing .xlsx packages is not available");
    WriteWorkbookFile(*this);
}

} // namespace xls

#include "exchange/JobWorkbook.h"

// The workbook headers before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/Tabrix4.h"
#include "exchange/TForm4.h"

namespace exchange {

void JobWorkbookDeleter::operator()(xls::TTabrix4* book) const {
    std::default_delete<xls::TTabrix4>()(book);
}

JobWorkbookPtr NewJobWorkbook() {
    JobWorkbookPtr book(std::make_unique<xls::TTabrix4>().release());
    book->SetVersion(xls::TExcelVersion::xvExcel97);
    book->Clear(); // one empty worksheet, "Sheet1"
    book->Workbook().SetLeft(100);
    book->Workbook().SetTop(100);
    book->Workbook().SetWidth(10000);
    book->Workbook().SetHeight(7000);
    book->OptionsDialog().SetPrecisionAsDisplayed(true);
    xls::TTabrix4::SetStrTRUE(u"TRUE");
    xls::TTabrix4::SetStrFALSE(u"FALSE");
    book->TempFileMode = xls::TTempFileMode::tfmOnDisk;
    book->PreserveMacros = true;
    return book;
}

xls::TTabrix4& JobWorkbook(JobSide& side) {
    if (side.Form4 != nullptr && side.Form4->XLS) return *side.Form4->XLS;
    static JobWorkbookPtr own = NewJobWorkbook();
    return *own;
}

} // namespace exchange

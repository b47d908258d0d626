// The component's hand-over to the BIFF writers: the file format follows
// the workbook's Version.
#pragma once

namespace xls {

class TTabrix4;

// xvExcel97: BIFF8 in a compound file ("Workbook"); xvExcel50: BIFF5
// ("Book"); xvExcel40: the first sheet as a plain BIFF4 file. Raises
// "Can not write Excel 2.1/3.0 files" for the older versions.
void WriteWorkbookFile(TTabrix4& book);

} // namespace xls

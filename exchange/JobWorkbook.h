// The workbook component of the job side: the one the job window owns, or,
// while there is no job window (procedures run on their own), one kept here.
#pragma once

#include <memory>

namespace xls {
class TTabrix4;
}

namespace exchange {

struct JobSide;

// Lets windows hold the component without the workbook headers, which do not
// mix with Qt's keyword macros.
struct JobWorkbookDeleter {
    void operator()(xls::TTabrix4* book) const;
};
using JobWorkbookPtr = std::unique_ptr<xls::TTabrix4, JobWorkbookDeleter>;

// A component set up as the job window holds it: BIFF8 (xvExcel97), one
// worksheet "Sheet1", window at 100/100 sized 10000 x 7000, precision as
// displayed, "TRUE"/"FALSE", temporary files on disk, macros kept, no event
// handler.
JobWorkbookPtr NewJobWorkbook();

// The component the XLS procedures of the job use.
xls::TTabrix4& JobWorkbook(JobSide& side);

} // namespace exchange

// The goods imports as jobs of the job window: the register's number of
// goods, the job's boxes and progress around the file readers.
#include "exchange/GoodsImport.h"

#include "exchange/JobWorkbook.h"
#include "platform/CodePages.h"
#include "platform/ui/Ui.h"

namespace exchange {

void RunGoodsImport(JobContext& job, bool skipNumber, const std::function<bool(GoodsImportRun&)>& read) {
    uint8_t nameLength = 0;
    uint16_t maximum = 0, programmed = 0, failures = 0;
    const char* err = nullptr;
    uint8_t status = job.state.Api().GetLengthGoodsName(&nameLength, &maximum, &programmed, &failures, &err);
    if (status != Q710_OK) {
        platform::MessageBox(device::DeviceText(err), platform::Utf8ToAnsi("Помилка"),
                             platform::MbTaskModal | platform::MbIconError);
        return;
    }
    if (job.side.Main.GoodsBarMaximum) job.side.Main.GoodsBarMaximum(maximum);
    job.progress.SetMaximum(maximum);
    GoodsImportRun run(
        maximum, skipNumber, job.arrays.ImportedGoods, job.side.GoodsDupCheck,
        [](const std::string& text, const std::string& caption, unsigned style) {
            return platform::MessageBox(text, caption, style);
        },
        [&job] { return job.progress.Step(); });
    bool done = read(run);
    if (job.side.Main.Repaint) job.side.Main.Repaint();
    if (done) job.state.MakeMetod.Done = 1;
}

void ImportGoodsXml(JobContext& job, bool skipNumber) {
    RunGoodsImport(job, skipNumber, [&job](GoodsImportRun& run) {
        return ReadGoodsXmlFile(run, job.state.MakeMetod.FileName);
    });
}

void ImportGoodsXls(JobContext& job, bool skipNumber) {
    RunGoodsImport(job, skipNumber, [&job](GoodsImportRun& run) {
        return ReadGoodsXlsFile(run, JobWorkbook(job.side), job.state.MakeMetod.FileName);
    });
}

void ImportGoodsCsv(JobContext& job, bool skipNumber) {
    RunGoodsImport(job, skipNumber, [&job](GoodsImportRun& run) {
        return ReadGoodsCsvFile(run, job.state.MakeMetod.FileName, job.state.CsvOptions);
    });
}

void ImportGoodsDbf(JobContext& job, bool skipNumber) {
    RunGoodsImport(job, skipNumber, [&job](GoodsImportRun& run) {
        return ReadGoodsDbfFile(run, job.state.MakeMetod.FileName);
    });
}

} // namespace exchange

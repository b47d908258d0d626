// The periodic goods report as an XML report document: element and
// attribute order, signed values under both regional profiles, the import's
// frame checks on the written file, and the job's save and cancel paths.
#include <gtest/gtest.h>

#include "exchange/PeriodicXmlExport.h"
#include "exchange/ReportDocument.h"
#include "support_reports.h"

using namespace exchange_test;

namespace {

const char* const kAttributes[] = {"Number",
                                   "PLU",
                                   "Barcode",
                                   "Name",
                                   "Price",
                                   "Remains",
                                   "GroupID",
                                   "VAT",
                                   "Weight",
                                   "Presence",
                                   "Blocking",
                                   "PaymentType",
                                   "TotalSoldQuantity",
                                   "TotalSoldSum",
                                   "TotalRefundQuantity",
                                   "TotalRefundSum"};

std::vector<std::string> FrameLines() {
    std::vector<std::string> lines = {"REPORT",
                                      "REPORT/HEADER",
                                      "REPORT/HEADER/DEVELOPMENT=ЗАТ \"ВЕЛОТА\"",
                                      "REPORT/HEADER/MODEL=ZRV-Q710",
                                      "REPORT/HEADER/VERSION=2-01",
                                      "REPORT/HEADER/REPORT_ID={XMLREP5}",
                                      "REPORT/HEADER/REPORT_NAME=Періодичний звіт по товарам",
                                      "REPORT/FIELDS_NAME"};
    const char* captions[] = {"PLU",
                              "ШТРИХ-КОД",
                              "НАЙМЕНУВАННЯ",
                              "ЦІНА",
                              "ЗАЛИШОК",
                              "ТОВАРНА ГРУПА",
                              "ПОДАТКОВА ГРУПА",
                              "ТИП",
                              "КОНТРОЛЬ НАЯВНОСТІ",
                              "БЛОКУВАННЯ ПРОДАЖУ",
                              "НОМЕР ОПЕРАЦІЇ ВИПЛАТИ",
                              "КІЛЬ-ТЬ (ПРОДАЖ)",
                              "СУМА (ПРОДАЖ)",
                              "КІЛЬ-ТЬ (ВИПЛАТИ)",
                              "СУМА (ВИПЛАТИ)"};
    for (int i = 0; i < 15; ++i)
        lines.push_back("REPORT/FIELDS_NAME@FIELD_" + std::to_string(i + 1) + "=" + captions[i]);
    lines.push_back("REPORT/DATA");
    return lines;
}

// The text values with the flags as the document writes them.
std::vector<std::string> ItemLines(std::vector<std::string> texts) {
    std::vector<std::string> lines = {"REPORT/DATA/Item"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i >= 8 && i <= 10) texts[i] = texts[i] == "1" ? "True" : "False";
        lines.push_back(std::string("REPORT/DATA/Item@") + kAttributes[i] + "=" + texts[i]);
    }
    return lines;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class PeriodicXml : public ::testing::Test {
protected:
    void SetUp() override {
        job.arrays.PeriodicGoodsReport = {PeriodicBread(), PeriodicLarge(), PeriodicBread()};
    }
    exchange::DispatchResult Run(std::optional<std::string> path) {
        return RunExport(job, exchange::FormatXml, 6, std::move(path), ui);
    }
    ScratchDir dir;
    platform::ScriptedUi ui;
    Job job;
};

} // namespace

TEST_F(PeriodicXml, DocumentHoldsEveryValueInOrderUnderBothProfiles) {
    for (const auto& settings : {UkrainianProfile(), DotProfile()}) {
        char sep = settings.decimalSeparator;
        SCOPED_TRACE(sep);
        RegionalProfile profile(settings);
        job.arrays.PeriodicGoodsReport = {PeriodicBread(), PeriodicLarge()};
        job.progress.steps = 0;
        std::string path = dir.File(std::string("periodic") + sep + ".xml");
        ASSERT_EQ(Run(path), exchange::DispatchResult::Ran);
        ASSERT_FALSE(ui.fileDialogs.empty());
        EXPECT_EQ(ui.fileDialogs.back().request.filter, "XML Document (*.xml)|*.xml");
        EXPECT_EQ(job.progress.steps, 2);
        EXPECT_EQ(job.state.MakeMetod.FileName, path);
        EXPECT_EQ(job.state.MakeMetod.Done, 1);
        EXPECT_TRUE(exchange::Side().FileWritten);
        EXPECT_TRUE(job.arrays.PeriodicGoodsReport.empty());
        EXPECT_TRUE(XmllintAccepts(path));
        EXPECT_EQ(ReadFile(path).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0),
                  0u);
        EXPECT_EQ(PythonXmlOutline(path), Concat({FrameLines(), ItemLines(PeriodicBreadTexts(sep)),
                                                  ItemLines(PeriodicLargeTexts(sep))}));
        KeepTestOutput(path, "periodic_report.xml");
    }
}

TEST_F(PeriodicXml, WrittenDocumentPassesTheImportFrameChecks) {
    std::string path = dir.File("periodic.xml");
    ASSERT_EQ(Run(path), exchange::DispatchResult::Ran);
    platform::XmlDocument back;
    exchange::ReportFrame frame = exchange::OpenReportDocument(back, path, "{XMLREP5}");
    ASSERT_TRUE(frame.ok) << frame.message;
    ASSERT_EQ(frame.data.ChildCount(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(exchange::CheckReportItem(frame.data.Child(i)), "");
        EXPECT_EQ(frame.data.Child(i).Attributes().size(), 16u);
    }
    EXPECT_EQ(frame.data.Child(0).Attribute("Name"), "Сир твердий");
    EXPECT_EQ(back.DocumentElement().Child(1).Attributes().size(), 15u);
}

TEST_F(PeriodicXml, CancelledDialogOrJobSavesNothing) {
    EXPECT_EQ(Run(std::nullopt), exchange::DispatchResult::Ran);
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
    EXPECT_FALSE(exchange::Side().FileWritten);
    EXPECT_TRUE(job.arrays.PeriodicGoodsReport.empty());

    job.arrays.PeriodicGoodsReport = {PeriodicBread(), PeriodicLarge(), PeriodicBread()};
    job.state.MakeMetod.Done = 0;
    job.progress.cancelAfter = 1;
    EXPECT_EQ(Run(dir.File("never.xml")), exchange::DispatchResult::Ran);
    EXPECT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
    EXPECT_FALSE(exchange::Side().FileWritten);
    EXPECT_TRUE(job.arrays.PeriodicGoodsReport.empty());
    EXPECT_EQ(testfiles::CountEntries(dir.Path()), 0);
}

TEST_F(PeriodicXml, EmptyReportSavesTheFrameOnly) {
    job.arrays.PeriodicGoodsReport.clear();
    std::string path = dir.File("empty.xml");
    EXPECT_EQ(Run(path), exchange::DispatchResult::Ran);
    EXPECT_EQ(job.progress.maximum, 0);
    EXPECT_EQ(PythonXmlOutline(path), FrameLines());
}

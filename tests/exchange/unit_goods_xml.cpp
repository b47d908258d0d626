// The goods report as an XML report document: layout element by element and
// attribute by attribute, values under two regional profiles, and the job
// procedure's save and cancel paths.
#include <filesystem>
#include <gtest/gtest.h>

#include "exchange/Dispatcher.h"
#include "exchange/GoodsXmlExport.h"
#include "exchange/ReportDocument.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"

using namespace exchange_test;

namespace {

const std::vector<std::string> kCaptionLines = {
    "REPORT/FIELDS_NAME",
    "REPORT/FIELDS_NAME@FIELD_1=PLU",
    "REPORT/FIELDS_NAME@FIELD_2=ШТРИХ-КОД",
    "REPORT/FIELDS_NAME@FIELD_3=НАЙМЕНУВАННЯ",
    "REPORT/FIELDS_NAME@FIELD_4=ЦІНА",
    "REPORT/FIELDS_NAME@FIELD_5=ЗАЛИШОК",
    "REPORT/FIELDS_NAME@FIELD_6=ТОВАРНА ГРУПА",
    "REPORT/FIELDS_NAME@FIELD_7=ПОДАТКОВА ГРУПА",
    "REPORT/FIELDS_NAME@FIELD_8=ТИП",
    "REPORT/FIELDS_NAME@FIELD_9=КОНТРОЛЬ НАЯВНОСТІ",
    "REPORT/FIELDS_NAME@FIELD_10=БЛОКУВАННЯ ПРОДАЖУ",
    "REPORT/FIELDS_NAME@FIELD_11=НОМЕР ОПЕРАЦІЇ ВИПЛАТИ",
    "REPORT/FIELDS_NAME@FIELD_12=КІЛЬ-ТЬ (ПРОДАЖ)",
    "REPORT/FIELDS_NAME@FIELD_13=СУМА (ПРОДАЖ)",
    "REPORT/FIELDS_NAME@FIELD_14=КІЛЬ-ТЬ (ВИПЛАТИ)",
    "REPORT/FIELDS_NAME@FIELD_15=СУМА (ВИПЛАТИ)",
    "REPORT/FIELDS_NAME@FIELD_16=СУМА ЗНИЖОК З ПРОДАЖІВ",
    "REPORT/FIELDS_NAME@FIELD_17=СУМА ЗНИЖОК З ВИПЛАТ",
    "REPORT/FIELDS_NAME@FIELD_18=СУМА НАЦІНОК З ПРОДАЖІВ",
    "REPORT/FIELDS_NAME@FIELD_19=СУМА НАЦІНОК З ВИПЛАТ",
};

std::vector<std::string> HeaderLines(const char* id, const char* name) {
    return {"REPORT",
            "REPORT/HEADER",
            "REPORT/HEADER/DEVELOPMENT=ТОВ \"ВЕЛОТА\"",
            "REPORT/HEADER/MODEL=ZRV-Q710",
            "REPORT/HEADER/VERSION=2-01",
            std::string("REPORT/HEADER/REPORT_ID=") + id,
            std::string("REPORT/HEADER/REPORT_NAME=") + name};
}

// An ordinary record: small values in every column.
GoodsStruct Bread() {
    GoodsStruct g = Goods(1, 5, 4820000000001LL, "\xD5\xEB\xB3\xE1 \"<&>\""); // Хліб "<&>"
    g.price = 1250;
    g.remainder = 1500;
    g.group = 3;
    g.tax = 0;
    g.weighed = -1;
    g.presenceControl = 1;
    g.saleBlocking = 0;
    g.payoutOperation = 2;
    g.soldQuantity = 2000;
    g.salesSum = 123456;
    g.payoutQuantity = 1;
    g.payoutsSum = 5;
    g.discountsOnSales = 0;
    g.discountsOnPayouts = 10;
    g.marginsOnSales = 99;
    g.marginsOnPayouts = 100;
    return g;
}

// Every value at the edge: top bits set, signed codes negative, a control
// character in the name.
GoodsStruct Extremes() {
    GoodsStruct g = Goods(65535, -1, -5, "A\x01" "B\x1F");
    g.price = 4294967295u;
    g.remainder = 0x80000000u;
    g.group = 100;
    g.tax = 4;
    g.weighed = 0;
    g.presenceControl = 0;
    g.saleBlocking = static_cast<int16_t>(0xFFFF);
    g.payoutOperation = 3;
    g.soldQuantity = 4294967295u;
    g.salesSum = 0x80000000u;
    g.payoutQuantity = 0;
    g.payoutsSum = 4294967295u;
    g.discountsOnSales = 1;
    g.discountsOnPayouts = 0;
    g.marginsOnSales = 0;
    g.marginsOnPayouts = 4294967295u;
    return g;
}

std::vector<std::string> ItemLines(const std::vector<std::pair<const char*, std::string>>& values) {
    std::vector<std::string> lines = {"REPORT/DATA/Item"};
    for (const auto& [name, value] : values) lines.push_back(std::string("REPORT/DATA/Item@") + name + "=" + value);
    return lines;
}

std::vector<std::string> BreadLines(char sep) {
    auto d = [sep](const char* whole, const char* frac) { return std::string(whole) + sep + frac; };
    return ItemLines({{"Number", "1"},
                      {"PLU", "5"},
                      {"Barcode", "4820000000001"},
                      {"Name", "Хліб \"<&>\""},
                      {"Price", d("12", "50")},
                      {"Remains", d("1", "5")},
                      {"GroupID", "3"},
                      {"VAT", "1"},
                      {"Weight", "True"},
                      {"Presence", "True"},
                      {"Blocking", "False"},
                      {"PaymentType", "2"},
                      {"TotalSoldQuantity", "2"},
                      {"TotalSoldSum", d("1234", "56")},
                      {"TotalRefundQuantity", d("0", "001")},
                      {"TotalRefundSum", d("0", "05")},
                      {"TotalSalesDiscountSum", d("0", "00")},
                      {"TotalRefundsDiscountSum", d("0", "10")},
                      {"TotalSalesMarkupSum", d("0", "99")},
                      {"TotalRefundsMarkupSum", d("1", "00")}});
}

std::vector<std::string> ExtremeLines(char sep) {
    auto d = [sep](const char* whole, const char* frac) { return std::string(whole) + sep + frac; };
    return ItemLines({{"Number", "65535"},
                      {"PLU", "-1"},
                      {"Barcode", "-5"},
                      {"Name", "A B "},
                      {"Price", d("42949672", "95")},
                      {"Remains", d("2147483", "648")},
                      {"GroupID", "100"},
                      {"VAT", "5"},
                      {"Weight", "False"},
                      {"Presence", "False"},
                      {"Blocking", "True"},
                      {"PaymentType", "3"},
                      {"TotalSoldQuantity", d("4294967", "295")},
                      {"TotalSoldSum", d("21474836", "48")},
                      {"TotalRefundQuantity", "0"},
                      {"TotalRefundSum", d("42949672", "95")},
                      {"TotalSalesDiscountSum", d("0", "01")},
                      {"TotalRefundsDiscountSum", d("0", "00")},
                      {"TotalSalesMarkupSum", d("0", "00")},
                      {"TotalRefundsMarkupSum", d("42949672", "95")}});
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool BuildGoodsReportDocumentForTest(platform::XmlDocument& document, uint8_t variant,
                                     const std::vector<GoodsStruct>& records) {
    return exchange::BuildGoodsReportDocument(document, variant, records, nullptr);
}

std::string SaveReport(const ScratchDir& dir, uint8_t variant, const std::vector<GoodsStruct>& records) {
    platform::XmlDocument document;
    EXPECT_TRUE(BuildGoodsReportDocumentForTest(document, variant, records));
    std::string path = dir.File("report" + std::to_string(variant) + ".xml");
    document.Save(path);
    return path;
}

} // namespace

TEST(GoodsXml, EachVariantHasItsHeaderCaptionsAndItemsInOrder) {
    ScratchDir dir;
    RegionalProfile uk(UkrainianProfile());
    struct Case {
        uint8_t variant;
        const char* id;
        const char* name;
    } cases[] = {{0, "{XMLREP3}", "Звіт по товарам (денний)"},
                 {1, "{XMLREP2}", "Звіт по товарам (повний)"},
                 {2, "{XMLREP4}", "Звіт по товарам з критичним залишком"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        std::string path = SaveReport(dir, c.variant, {Bread(), Extremes()});
        EXPECT_TRUE(XmllintAccepts(path));
        EXPECT_EQ(ReadFile(path).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u);
        std::vector<std::string> expected = Concat(
            {HeaderLines(c.id, c.name), kCaptionLines, {"REPORT/DATA"}, BreadLines(','), ExtremeLines(',')});
        EXPECT_EQ(PythonXmlOutline(path), expected);
    }
}

TEST(GoodsXml, NumbersFollowTheRegionalDecimalSeparator) {
    ScratchDir dir;
    RegionalProfile dot(DotProfile());
    std::string path = SaveReport(dir, 1, {Bread(), Extremes()});
    std::vector<std::string> expected = Concat({HeaderLines("{XMLREP2}", "Звіт по товарам (повний)"),
                                                kCaptionLines,
                                                {"REPORT/DATA"},
                                                BreadLines('.'),
                                                ExtremeLines('.')});
    EXPECT_EQ(PythonXmlOutline(path), expected);
}

TEST(GoodsXml, VariantsDifferOnlyInIdAndName) {
    std::vector<GoodsStruct> records = {Bread(), Extremes()};
    platform::XmlDocument daily, full, critical;
    BuildGoodsReportDocumentForTest(daily, 0, records);
    BuildGoodsReportDocumentForTest(full, 1, records);
    BuildGoodsReportDocumentForTest(critical, 2, records);
    auto normalise = [](std::string text, const char* id, const char* name) {
        text.replace(text.find(id), std::string(id).size(), "ID");
        text.replace(text.find(name), std::string(name).size(), "NAME");
        return text;
    };
    std::string a = normalise(daily.SaveToString(), "{XMLREP3}", "Звіт по товарам (денний)");
    EXPECT_EQ(a, normalise(full.SaveToString(), "{XMLREP2}", "Звіт по товарам (повний)"));
    EXPECT_EQ(a, normalise(critical.SaveToString(), "{XMLREP4}", "Звіт по товарам з критичним залишком"));
    EXPECT_THROW(exchange::GoodsReportIdentity(3), std::invalid_argument);
}

TEST(GoodsXml, WrittenDocumentPassesTheImportFrameChecks) {
    ScratchDir dir;
    std::string path = SaveReport(dir, 0, {Bread()});
    platform::XmlDocument back;
    exchange::ReportFrame frame = exchange::OpenReportDocument(back, path, "{XMLREP3}");
    ASSERT_TRUE(frame.ok) << frame.message;
    ASSERT_EQ(frame.data.ChildCount(), 1u);
    EXPECT_EQ(exchange::CheckReportItem(frame.data.Child(0)), "");
    EXPECT_EQ(frame.data.Child(0).Attribute("Name"), "Хліб \"<&>\"");
    EXPECT_EQ(frame.data.Child(0).Attributes().size(), 20u);
    EXPECT_EQ(back.DocumentElement().Child(1).Attributes().size(), 19u);
}

// The job procedure: what is saved, when, and what is left behind.
class GoodsXmlJob : public ::testing::Test {
protected:
    void SetUp() override {
        job.arrays.GoodsReport = {Bread(), Extremes(), Bread()};
        job.state.MakeMetod.OperationKind = 9;
    }
    exchange::DispatchResult Run(int kind = 9) {
        exchange::JobContext context = job.Context();
        return exchange::Dispatch(context, exchange::FormatXml, kind);
    }
    ScratchDir dir;
    platform::ScriptedUi ui;
    Job job;
};

TEST_F(GoodsXmlJob, ConfirmedSaveWritesTheFileAndEmptiesTheReport) {
    std::string path = dir.File("day.xml");
    ui.QueueFile(path);
    EXPECT_EQ(Run(), exchange::DispatchResult::Ran);
    EXPECT_EQ(job.progress.maximum, 3);
    EXPECT_EQ(job.progress.steps, 3);
    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_TRUE(ui.fileDialogs[0].save);
    EXPECT_EQ(ui.fileDialogs[0].request.filter, "XML Document (*.xml)|*.xml");
    EXPECT_EQ(ui.fileDialogs[0].request.defaultExt, "xml");
    EXPECT_EQ(ui.fileDialogs[0].request.fileName, "");
    EXPECT_EQ(job.state.MakeMetod.FileName, path);
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
    EXPECT_TRUE(exchange::Side().FileWritten);
    EXPECT_TRUE(job.arrays.GoodsReport.empty());
    EXPECT_TRUE(XmllintAccepts(path));
    EXPECT_EQ(PythonXmlOutline(path).size(), 7u + 20u + 1u + 3u * 21u);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(GoodsXmlJob, DefaultExtensionIsAddedToAChosenName) {
    ui.QueueFile(dir.File("day"));
    Run();
    EXPECT_EQ(job.state.MakeMetod.FileName, dir.File("day.xml"));
    EXPECT_TRUE(FileExists(dir.File("day.xml")));
}

TEST_F(GoodsXmlJob, CancelledSaveDialogWritesNothingButEndsTheJob) {
    ui.QueueFile(std::nullopt);
    job.state.MakeMetod.FileName = "earlier.xml";
    EXPECT_EQ(Run(), exchange::DispatchResult::Ran);
    EXPECT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
    EXPECT_FALSE(exchange::Side().FileWritten);
    EXPECT_EQ(job.state.MakeMetod.FileName, "earlier.xml");
    EXPECT_TRUE(job.arrays.GoodsReport.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

TEST_F(GoodsXmlJob, CancelDuringTheItemsSkipsTheDialog) {
    job.progress.cancelAfter = 2;
    EXPECT_EQ(Run(), exchange::DispatchResult::Ran);
    EXPECT_TRUE(ui.fileDialogs.empty());
    EXPECT_EQ(job.progress.steps, 2);
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
    EXPECT_FALSE(exchange::Side().FileWritten);
    EXPECT_TRUE(job.arrays.GoodsReport.empty());
    ASSERT_TRUE(exchange::Side().XmlDocument);
    EXPECT_EQ(exchange::Side().XmlDocument->DocumentElement().Child(2).ChildCount(), 2u);
}

TEST_F(GoodsXmlJob, EmptyReportStillSavesTheFrame) {
    job.arrays.GoodsReport.clear();
    std::string path = dir.File("empty.xml");
    ui.QueueFile(path);
    Run(5);
    EXPECT_EQ(job.progress.maximum, 0);
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
    std::vector<std::string> expected =
        Concat({HeaderLines("{XMLREP2}", "Звіт по товарам (повний)"), kCaptionLines, {"REPORT/DATA"}});
    EXPECT_EQ(PythonXmlOutline(path), expected);
}

TEST_F(GoodsXmlJob, FailedSaveIsShownAndNotTakenForSuccess) {
    std::string target = dir.File("report.xml");
    WriteFile(target, "old contents");
    ui.QueueFile(dir.File("missing-folder/report.xml"));
    EXPECT_EQ(Run(), exchange::DispatchResult::Failed);
    EXPECT_EQ(job.state.MakeMetod.Done, 0);
    EXPECT_FALSE(exchange::Side().FileWritten);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].style & 0xF0u, platform::MbIconError);
    EXPECT_NE(ui.boxes[0].Utf8Text().find("missing-folder"), std::string::npos);
    EXPECT_EQ(ReadFile(target), "old contents");
}

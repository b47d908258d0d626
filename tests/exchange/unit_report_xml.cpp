// The goods reports as XML report documents: header, captions, element and
// attribute order, values under both regional profiles, escaped and
// forbidden characters, and the import's frame checks on the written file.
#include <gtest/gtest.h>

#include "exchange/GoodsXmlExport.h"
#include "exchange/ReportDocument.h"
#include "platform/CodePages.h"
#include "support_report_layout.h"
#include "support_reports.h"

using namespace exchange_test;

namespace {

using testfiles::kReportAttributes;
using testfiles::kReportCaptions;

struct Identity {
    const char* development;
    const char* id;
    const char* name;
};

std::vector<std::string> FrameLines(const Identity& who, int captions) {
    std::vector<std::string> lines = {"REPORT",
                                      "REPORT/HEADER",
                                      std::string("REPORT/HEADER/DEVELOPMENT=") + who.development,
                                      "REPORT/HEADER/MODEL=ZRV-Q710",
                                      "REPORT/HEADER/VERSION=2-01",
                                      std::string("REPORT/HEADER/REPORT_ID=") + who.id,
                                      std::string("REPORT/HEADER/REPORT_NAME=") + who.name,
                                      "REPORT/FIELDS_NAME"};
    for (int i = 0; i < captions; ++i)
        lines.push_back("REPORT/FIELDS_NAME@FIELD_" + std::to_string(i + 1) + "=" + kReportCaptions[i]);
    lines.push_back("REPORT/DATA");
    return lines;
}

// One item's lines: the text values with the flags as the document writes them.
void AddItem(std::vector<std::string>& lines, std::vector<std::string> texts) {
    lines.push_back("REPORT/DATA/Item");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i >= 8 && i <= 10) texts[i] = texts[i] == "1" ? "True" : "False";
        lines.push_back(std::string("REPORT/DATA/Item@") + kReportAttributes[i] + "=" + texts[i]);
    }
}

// Markup characters in the name.
GoodsStruct Escaped() {
    GoodsStruct g = Bread();
    g.SetName(platform::Utf8ToAnsi("Хліб \"<&>\""));
    return g;
}

// Every value at the edge: top bits set, signed codes negative, control
// characters in the name.
GoodsStruct Extremes() {
    GoodsStruct g = Goods(65535, -1, -5,
                          "A\x01"
                          "B\x1F");
    g.price = 4294967295u;
    g.remainder = 0x80000000u;
    g.group = 100;
    g.tax = 4;
    g.saleBlocking = static_cast<int16_t>(0xFFFF);
    g.payoutOperation = 3;
    g.soldQuantity = 4294967295u;
    g.salesSum = 0x80000000u;
    g.payoutsSum = 4294967295u;
    g.discountsOnSales = 1;
    g.marginsOnPayouts = 4294967295u;
    return g;
}

const Identity kLtd[] = {{"ТОВ \"ВЕЛОТА\"", "{XMLREP3}", "Звіт по товарам (денний)"},
                         {"ТОВ \"ВЕЛОТА\"", "{XMLREP2}", "Звіт по товарам (повний)"},
                         {"ТОВ \"ВЕЛОТА\"", "{XMLREP4}", "Звіт по товарам з критичним залишком"},
                         {"ЗАТ \"ВЕЛОТА\"", "{XMLREP5}", "Періодичний звіт по товарам"}};

} // namespace

TEST(ReportXml, EachKindHasItsHeaderCaptionsAndItemsInOrderAndPassesTheImportChecks) {
    struct Case {
        int kind;
        const Identity& who;
        platform::RegionalSettings profile;
    } cases[] = {{9, kLtd[0], UkrainianProfile()},
                 {5, kLtd[1], DotProfile()},
                 {10, kLtd[2], UkrainianProfile()},
                 {6, kLtd[3], UkrainianProfile()},
                 {6, kLtd[3], DotProfile()}};
    ScratchDir dir;
    for (const Case& c : cases) {
        char sep = c.profile.decimalSeparator;
        SCOPED_TRACE(std::to_string(c.kind) + sep);
        RegionalProfile profile(c.profile);
        platform::ScriptedUi ui;
        Job job;
        bool periodic = c.kind == 6;
        job.arrays.GoodsReport = {Escaped(), Extremes()};
        job.arrays.PeriodicGoodsReport = {PeriodicBread(), PeriodicLarge()};
        std::string path = dir.File("report" + std::to_string(c.kind) + sep + ".xml");
        ASSERT_EQ(RunExport(job, exchange::FormatXml, c.kind, path, ui), exchange::DispatchResult::Ran);
        EXPECT_TRUE(XmllintAccepts(path));
        EXPECT_EQ(ReadFile(path).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0),
                  0u);
        std::vector<std::string> expected = FrameLines(c.who, periodic ? 15 : 19);
        if (periodic) {
            AddItem(expected, PeriodicBreadTexts(sep));
            AddItem(expected, PeriodicLargeTexts(sep));
        } else {
            std::vector<std::string> escaped = BreadTexts(sep);
            escaped[3] = "Хліб \"<&>\"";
            AddItem(expected, escaped);
            AddItem(expected, Texts(sep, "65535|-1|-5|A B |42949672~95|2147483~648|100|5|0|0|1|3|4294967~295|"
                                         "21474836~48|0|42949672~95|0~01|0~00|0~00|42949672~95"));
        }
        EXPECT_EQ(PythonXmlOutline(path), expected);
        KeepTestOutput(path, "report_kind" + std::to_string(c.kind) + ".xml");

        platform::XmlDocument back;
        exchange::ReportFrame frame = exchange::OpenReportDocument(back, path, c.who.id);
        ASSERT_TRUE(frame.ok) << frame.message;
        ASSERT_EQ(frame.data.ChildCount(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(exchange::CheckReportItem(frame.data.Child(i)), "");
            EXPECT_EQ(frame.data.Child(i).Attributes().size(), periodic ? 16u : 20u);
        }
    }
    EXPECT_THROW(exchange::GoodsReportIdentity(3), std::invalid_argument);
}

TEST(ReportXml, EmptyReportSavesTheFrameOnly) {
    ScratchDir dir;
    for (int kind : {5, 6}) {
        platform::ScriptedUi ui;
        Job job;
        std::string path = dir.File("empty" + std::to_string(kind) + ".xml");
        ASSERT_EQ(RunExport(job, exchange::FormatXml, kind, path, ui), exchange::DispatchResult::Ran);
        EXPECT_EQ(PythonXmlOutline(path), kind == 6 ? FrameLines(kLtd[3], 15) : FrameLines(kLtd[1], 19));
    }
}

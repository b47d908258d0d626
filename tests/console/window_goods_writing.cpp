// The writing loop: imported goods written to the simulated register one by
// one, with Retry, Cancel, final errors and the stop question.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QStackedWidget>

#include "console/TQProgressBar.h"
#include "platform/ui/AnsiText.h"
#include "support_reports.h"

namespace {

using testing_console::ReportHarness;

GoodsProg Goods(int32_t plu, const char* name) {
    GoodsProg g;
    g.price = 150 * plu;
    g.group = 3;
    g.tax = 1;
    g.weighed = -1;
    g.quantity = 2000;
    g.plu = plu;
    g.barcode = 4820000009000 + plu;
    g.SetName(name);
    return g;
}

std::string Line(const char* call, int32_t plu, const char* name) {
    return std::string(call) + "{" + std::to_string(150 * plu) + ", 3, 1, -1, 0, 0, 0, 2000, " +
           std::to_string(plu) + ", " + std::to_string(4820000009000 + plu) + ", \"" + name + "\"})";
}

struct WritingRun {
    explicit WritingRun(const std::string& scenario = "") : h(scenario) {
        h.importJob = [] {
            Shared().ImportedGoods = {Goods(901, "Tea"), Goods(902, "Milk"), Goods(903, "Salt")};
        };
        h.atRecord = [this](int) {
            labels.push_back(h.Form().Label36->text().toStdString());
            titles.push_back(platform::Utf8(platform::ApplicationTitle()));
            locked = locked && h.State().Busy == 1 && !h.Form().ActionWriteGoodsByNumber->isEnabled();
        };
    }
    void ExpectRestored() {
        EXPECT_TRUE(Shared().ImportedGoods.empty());
        EXPECT_EQ(h.State().Busy, 0);
        EXPECT_EQ(platform::ApplicationTitle(), "ZRV-Q710");
        EXPECT_EQ(h.Form().Label36->text(), "0 %");
        EXPECT_EQ(h.Form().QProgressBar1->Position(), 0);
        EXPECT_TRUE(h.Form().ActionWriteGoodsByNumber->isEnabled());
    }
    std::vector<std::string> Written() const { return h.Log("SetGoodsByNumber"); }
    ReportHarness h;
    std::vector<std::string> labels, titles;
    bool locked = true;
};

struct Writing : testing::Test, WritingRun {};

TEST_F(Writing, WritesEachElementAtItsPosition) {
    h.Form().ActionWriteGoodsByNumber->trigger();
    EXPECT_EQ(h.handOff.kind, 3);
    EXPECT_EQ(Written(), (std::vector<std::string>{Line("SetGoodsByNumber(0, ", 901, "Tea"),
                                                   Line("SetGoodsByNumber(1, ", 902, "Milk"),
                                                   Line("SetGoodsByNumber(2, ", 903, "Salt")}));
    EXPECT_EQ(labels, (std::vector<std::string>{"33 %", "66 %", "100 %"}));
    EXPECT_EQ(titles, (std::vector<std::string>{"Q710 Запис 33 %", "Q710 Запис 66 %", "Q710 Запис 100 %"}));
    EXPECT_TRUE(locked);
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Запис бази товарів завершений!");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Повідомлення");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2040u);
    EXPECT_EQ(h.Form().PageControl1->currentIndex(), 3);
    ExpectRestored();
}

TEST_F(Writing, UpdateByCodeSendsEveryElement) {
    h.Form().ActionUpdateDBToECRByCode->trigger();
    EXPECT_EQ(h.handOff.kind, 4);
    EXPECT_EQ(h.Log("SetGoodsByCode2"), (std::vector<std::string>{Line("SetGoodsByCode2(", 901, "Tea"),
                                                                  Line("SetGoodsByCode2(", 902, "Milk"),
                                                                  Line("SetGoodsByCode2(", 903, "Salt")}));
    EXPECT_EQ(titles.front(), "Q710 Оновлення даних 33 %");
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "Оновлення даних товарної бази завершено!");
    ExpectRestored();
}

TEST_F(Writing, ImportThatDidNotRunWritesNothing) {
    h.exportWrites = false;
    h.Form().ActionWriteGoodsByNumber->trigger();
    EXPECT_TRUE(Written().empty());
    EXPECT_TRUE(h.ui.boxes.empty());
    ExpectRestored();
}

TEST_F(Writing, StopAnsweredYesEndsAfterTheCurrentElement) {
    h.atRecord = [this](int k) {
        if (k == 1) {
            h.Form().ActionGoodsStop->trigger();
            h.ui.QueueAnswer(platform::IdYes);
        }
    };
    h.Form().ActionWriteGoodsByNumber->trigger();
    EXPECT_EQ(Written().size(), 1u);
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Ви дійсно бажаєте зупинити запис товарної бази?");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Запис товарної бази");
    ExpectRestored();
}

// A failing element: Retry sends it again, Cancel ends there, a final error
// ends with the library's text; only a finished run reports completion.
TEST(WritingFaults, RetryCancelAndFinalErrors) {
    struct Case {
        const char* scenario;
        int answer; // to the Retry/Cancel question, 0: none asked
        std::size_t written;
        std::vector<std::string> boxes;
        unsigned style; // of the first box
    } cases[] = {
        {"fail SetGoodsByNumber at 2 text \"Збій запису\"\n",
         platform::IdRetry,
         4,
         {"Збій запису\r\nВИБЕРІТЬ ДІЮ!", "Запис бази товарів завершений!"},
         0x2015u},
        {"fail SetGoodsByNumber at 2 text \"Збій запису\"\n",
         platform::IdCancel,
         2,
         {"Збій запису\r\nВИБЕРІТЬ ДІЮ!"},
         0x2015u},
        {"fail SetGoodsByNumber at 2 status 0x2D text \"Номер поза таблицею\"\n",
         0,
         2,
         {"Номер поза таблицею"},
         0x2010u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        WritingRun t(c.scenario);
        if (c.answer != 0) t.h.ui.QueueAnswer(c.answer);
        t.h.Form().ActionWriteGoodsByNumber->trigger();
        std::vector<std::string> written = t.Written();
        ASSERT_EQ(written.size(), c.written);
        if (c.answer == platform::IdRetry) {
            EXPECT_EQ(written[1], written[2]);
            EXPECT_EQ(written[3], Line("SetGoodsByNumber(2, ", 903, "Salt"));
            EXPECT_EQ(t.labels.back(), "100 %");
        }
        EXPECT_EQ(t.h.BoxTexts(), c.boxes);
        EXPECT_EQ(t.h.ui.boxes[0].style, c.style);
        t.ExpectRestored();
    }
}

} // namespace

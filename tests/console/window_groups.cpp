// The goods-group page against the simulated register: one name by number,
// all names into the memo, and the export and import batches with a stand-in
// for the exchange job; stop questions, failures and damaged answers.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>

#include "console/ActionButton.h"
#include "console/TQProgressBar.h"
#include "platform/ui/AnsiText.h"
#include "support_reports.h"

namespace {

using testing_console::ReportHarness;
using Lines = std::vector<std::string>;

const std::string kDash(62, '-');

// The page's run: progress label, title and lock state after each record.
struct GroupsRun {
    explicit GroupsRun(const std::string& scenario = "") : h(scenario) {
        h.ui.onProcessMessages = [this] {
            console::TForm1& f = h.Form();
            labels.push_back(f.Label36->text().toStdString());
            titles.push_back(platform::Utf8(platform::ApplicationTitle()));
            locked = locked && h.State().Busy == 1 && !f.ActionReadNameOfGroup->isEnabled() &&
                     !f.ActionReadAllTextPatterns->isEnabled();
            ++steps;
            if (atStep) atStep(steps);
        };
    }
    console::TForm1& Form() { return h.Form(); }
    Lines Memo() {
        Lines lines;
        for (const QString& line : Form().Memo2->toPlainText().split('\n'))
            lines.push_back(line.toStdString());
        return lines;
    }
    // The register calls of one function, in order (UTF-8).
    Lines Calls(const std::string& function) const {
        Lines calls;
        for (const std::string& line : testing_console::LogLines(h.SimulatorLog(), ""))
            if (line.rfind(function + "(", 0) == 0) calls.push_back(platform::Utf8(line));
        return calls;
    }
    Lines Boxes() const { return h.BoxTexts(); }
    // Everything a batch changed is back.
    void ExpectRestored() {
        console::TForm1& f = Form();
        EXPECT_EQ(h.State().Busy, 0);
        EXPECT_EQ(h.State().StopRequested.Groups, 0);
        EXPECT_EQ(platform::ApplicationTitle(), "ZRV-Q710");
        EXPECT_EQ(f.Label36->text(), "0 %");
        EXPECT_EQ(f.QProgressBar1->Position(), 0);
        EXPECT_TRUE(f.ActionReadNamesOfAllGroups->isEnabled());
        EXPECT_EQ(f.BitBtnReadNamesOfAllGroups->Action(), f.ActionReadNamesOfAllGroups);
        EXPECT_EQ(f.BitBtnExportGroupsOfGoods->Action(), f.ActionExportGroupsOfGoods);
        EXPECT_EQ(f.BitBtnImportGroupsOfGoods->Action(), f.ActionImportGroupsOfGoods);
        EXPECT_TRUE(Shared().GoodsGroupTable.empty());
    }
    ReportHarness h;
    Lines labels, titles;
    bool locked = true;
    int steps = 0;
    std::function<void(int)> atStep;
};

TEST(GroupPage, OneNameWrittenAndReadByNumber) {
    GroupsRun run;
    console::TForm1& f = run.Form();
    f.GoodsGroupIndex->setText("7");
    f.GoodsGroupName->setText(QString::fromUtf8("Кава мелена"));
    f.ActionWriteNameOfGroup->trigger();
    f.GoodsGroupName->clear();
    f.ActionReadNameOfGroup->trigger();
    EXPECT_EQ(f.GoodsGroupName->text().toStdString(), "Кава мелена");
    EXPECT_EQ(f.PageControl1->currentIndex(), 4);
    EXPECT_EQ(run.Calls("SetGoodsGroupName"), Lines{"SetGoodsGroupName(7, \"Кава мелена\")"});
    ASSERT_EQ(run.h.ui.boxes.size(), 1u);
    EXPECT_EQ(run.h.ui.boxes[0].Utf8Text(), "Назва товарної групи №7 була успішно записана.");
    EXPECT_EQ(run.h.ui.boxes[0].style, 0x2040u);

    // A refused number goes nowhere; one beyond 100 is the register's to refuse.
    f.GoodsGroupIndex->setText("abc");
    f.ActionReadNameOfGroup->trigger();
    EXPECT_EQ(f.GoodsGroupIndex->text(), "1");
    f.GoodsGroupIndex->setText("101");
    f.GoodsGroupIndexExit();
    EXPECT_EQ(f.GoodsGroupIndex->text(), "101");
    f.ActionReadNameOfGroup->trigger();
    EXPECT_EQ(run.Calls("GetGoodsGroupName"), (Lines{"GetGoodsGroupName(7)", "GetGoodsGroupName(101)"}));
    ASSERT_EQ(run.h.ui.boxes.size(), 3u);
    EXPECT_EQ(
        run.h.ui.boxes[1].Utf8Text(),
        "Невірно заданий номер товарної групи!\r\nВ якості номера товарної групи може бути тільки число!");
    EXPECT_EQ(run.h.ui.boxes[1].style, 0x2010u);
    EXPECT_EQ(run.h.ui.boxes[2].Utf8Text(), "Невірний номер товарної групи (1..100)");
    EXPECT_EQ(run.h.ui.boxes[2].Utf8Caption(), "Помилка");
}

TEST(GroupPage, AllNamesIntoTheMemoEndAsTheRegisterAnswers) {
    const struct {
        const char* scenario;
        std::size_t lines;
        const char* box;
        const char* line2; // the memo's second line
    } cases[] = {
        {"", 100, "Зчитування даних закінчено!", "Група 2: Молочні продукти"},
        {"end-batch 10", 10, "Зчитування даних завершено!", "Група 2: Молочні продукти"},
        {"fail-record 5 text \"Обрив зв'язку\"", 5, "Обрив зв'язку", "Група 2: Молочні продукти"},
        // Texts without their terminator are read no further than a name goes.
        {"unterminated on", 100, "Зчитування даних закінчено!", "Група 2: Молочні продукти~~~~"},
        {"record-size 40", 1, "Розмір буфера замалий для запису", nullptr},
        {"batch-first 0x44 text \"Немає даних\"", 1, "Немає даних", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        GroupsRun run(c.scenario);
        run.Form().ActionReadNamesOfAllGroups->trigger();
        Lines memo = run.Memo();
        EXPECT_EQ(memo.size(), c.lines);
        if (c.line2 != nullptr && memo.size() > 1) {
            EXPECT_EQ(memo[1], c.line2);
        }
        EXPECT_EQ(run.Boxes(), Lines{c.box});
        EXPECT_TRUE(run.locked);
        run.ExpectRestored();
    }
}

TEST(GroupPage, StopQuestionOfAllNames) {
    for (int answer : {platform::IdYes, platform::IdNo}) {
        GroupsRun run;
        run.atStep = [&run](int step) {
            if (step == 3) {
                EXPECT_EQ(run.Form().BitBtnReadNamesOfAllGroups->text().toStdString(), "Стоп !");
                run.Form().BitBtnReadNamesOfAllGroups->click();
            }
        };
        run.h.ui.QueueAnswer(answer);
        run.Form().ActionReadNamesOfAllGroups->trigger();
        EXPECT_EQ(run.Memo().size(), answer == platform::IdYes ? 4u : 100u);
        EXPECT_EQ(run.Boxes(), (Lines{"Ви дійсно бажаєте зупинити процес зчитування назв товарних груп?",
                                      "Зчитування даних закінчено!"}));
        EXPECT_EQ(run.h.ui.boxes[0].Utf8Caption(), "Товарні групи");
        run.ExpectRestored();
    }
}

// Export: the names read into the table, handed to the job.
struct ExportCase {
    const char* scenario;
    bool jobWrites;
    int stopAt; // 0: never
    std::size_t handOffs;
    Lines memoTail;
    Lines boxes;
};

TEST(GroupPage, ExportReadsEveryNameThenHandsTheTableOver) {
    const ExportCase cases[] = {
        {"", true, 0, 1, {kDash, "Експорт даних завершено!"}, {"Експорт даних завершено!"}},
        // No file written: no success told.
        {"", false, 0, 1, {kDash, "Експорт даних завершено з помилками!"}, {}},
        {"fail GetGoodsGroupName at 5 text \"Немає зв'язку\"",
         true,
         0,
         0,
         {kDash, "Експорт даних завершено з помилкою!", kDash},
         {"Немає зв'язку"}},
        {"",
         true,
         3,
         0,
         {kDash, "Експорт даних зупинений користувачем!"},
         {"Ви дійсно бажаєте зупинити експорт товарних груп?"}},
    };
    for (const ExportCase& c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + (c.jobWrites ? " writes" : "") + std::to_string(c.stopAt));
        GroupsRun run(c.scenario);
        run.h.exportWrites = c.jobWrites;
        std::vector<GoodsGroupRecord> handed;
        run.h.importJob = [&handed] { handed = Shared().GoodsGroupTable; };
        if (c.stopAt > 0) {
            run.h.ui.QueueAnswer(platform::IdYes);
            run.atStep = [&run, &c](int step) {
                if (step == c.stopAt) run.Form().BitBtnExportGroupsOfGoods->click();
            };
        }
        run.Form().ActionExportGroupsOfGoods->trigger();
        EXPECT_EQ(static_cast<std::size_t>(run.h.handOff.calls), c.handOffs);
        Lines memo = run.Memo();
        ASSERT_GE(memo.size(), 2 + c.memoTail.size());
        EXPECT_EQ(Lines(memo.begin(), memo.begin() + 2),
                  (Lines{"Розпочато експорт назв товарних груп:", kDash}));
        EXPECT_EQ(Lines(memo.end() - static_cast<std::ptrdiff_t>(c.memoTail.size()), memo.end()), c.memoTail);
        EXPECT_EQ(run.Boxes(), c.boxes);
        EXPECT_TRUE(run.locked);
        run.ExpectRestored();
        if (c.handOffs == 0) continue;
        EXPECT_EQ(run.h.handOff.kind, 2);
        ASSERT_EQ(handed.size(), 100u);
        EXPECT_EQ(handed[0].Number, 1);
        EXPECT_EQ(platform::Utf8(handed[0].Name), "Хлібобулочні");
        EXPECT_EQ(handed[99].Number, 100);
        EXPECT_EQ(memo[2], "Група 1: Хлібобулочні");
        EXPECT_EQ(run.labels.front(), "1 %");
        EXPECT_EQ(run.titles.back(), "Q710 Експорт 100 %");
    }
}

// Import: the stand-in job fills the table as a file would.
struct ImportRun : GroupsRun {
    explicit ImportRun(std::vector<GoodsGroupRecord> table, const std::string& scenario = "",
                       uint8_t done = 1)
        : GroupsRun(scenario) {
        std::string file = h.dir.File("groups.csv");
        testfiles::Spit(file, "1;x\r\n");
        h.importJob = [this, table, file, done] {
            Shared().GoodsGroupTable = table;
            h.State().MakeMetod.Done = done;
            h.State().MakeMetod.FileName = file;
        };
    }
};

std::vector<GoodsGroupRecord> Table(std::initializer_list<std::pair<int, const char*>> entries) {
    std::vector<GoodsGroupRecord> table = EmptyGroupTable();
    std::size_t i = 0;
    for (auto [number, name] : entries) table[i++] = {static_cast<uint8_t>(number), platform::Ansi(name)};
    return table;
}

TEST(GroupPage, ImportWritesTheTablesEntriesInOrder) {
    ImportRun run(Table({{5, "Чай"}, {9, ""}, {5, "Кава"}}));
    run.Form().ActionImportGroupsOfGoods->trigger();
    EXPECT_EQ(run.h.handOff.kind, 1);
    EXPECT_EQ(run.Calls("SetGoodsGroupName"),
              (Lines{"SetGoodsGroupName(5, \"Чай\")", "SetGoodsGroupName(9, \"\")",
                     "SetGoodsGroupName(5, \"Кава\")"}));
    EXPECT_EQ(run.Memo(),
              (Lines{"Розпочато запис назв товарних груп:", kDash, "Група 5: Чай", "Група 9: <немає назви>",
                     "Група 5: Кава", kDash, "Імпорт даних завершено!", "Файл імпорту закрито!", kDash}));
    EXPECT_EQ(run.titles, (Lines{"Q710 Імпорт 1 %", "Q710 Імпорт 2 %", "Q710 Імпорт 3 %"}));
    EXPECT_EQ(run.Boxes(), Lines{"Імпорт даних завершено!"});
    EXPECT_TRUE(run.locked);
    run.ExpectRestored();
}

TEST(GroupPage, ImportClearsEveryNameFirstWhenAsked) {
    // Yes to the clearing's stop question ends the clearing only.
    for (int stopAt : {0, 2}) {
        ImportRun run(Table({{3, "Сир"}}));
        run.Form().CBEraseGoodsGroup->setChecked(true);
        if (stopAt > 0) {
            run.h.ui.QueueAnswer(platform::IdYes);
            run.atStep = [&run, stopAt](int step) {
                if (step == stopAt) run.Form().BitBtnImportGroupsOfGoods->click();
            };
        }
        run.Form().ActionImportGroupsOfGoods->trigger();
        Lines calls = run.Calls("SetGoodsGroupName");
        std::size_t clears = stopAt > 0 ? 2 : 100;
        ASSERT_EQ(calls.size(), clears + 1);
        EXPECT_EQ(calls[0], "SetGoodsGroupName(1, null)");
        EXPECT_EQ(calls[clears - 1], "SetGoodsGroupName(" + std::to_string(clears) + ", null)");
        EXPECT_EQ(calls.back(), "SetGoodsGroupName(3, \"Сир\")");
        EXPECT_EQ(run.titles.front(), "Q710 Очищення 0 %");
        EXPECT_EQ(run.titles.back(), "Q710 Імпорт " + std::string(stopAt > 0 ? "1 %" : "50 %"));
        EXPECT_EQ(run.Memo().front(), "Триває очищення назв товарних груп");
        // One question only: the writing after it is not stopped by the same request.
        Lines boxes = {"Імпорт даних завершено!"};
        if (stopAt > 0) boxes.insert(boxes.begin(), "Ви дійсно бажаєте зупинити очищення товарних груп?");
        EXPECT_EQ(run.Boxes(), boxes);
        if (stopAt > 0) {
            EXPECT_EQ(run.h.ui.boxes[0].Utf8Caption(), "Очишення товарних груп");
        }
        run.ExpectRestored();
    }
}

TEST(GroupPage, ImportThatCannotGoOnWritesNothingMoreAndSaysWhy) {
    const struct {
        const char* what;
        std::vector<GoodsGroupRecord> table;
        const char* scenario;
        uint8_t done;
        bool removeFile;
        std::size_t writes;
        Lines boxes;
        Lines memoTail;
    } cases[] = {
        {"job not done", Table({{1, "a"}}), "", 0, false, 0, {}, {}},
        {"file gone", Table({{1, "a"}}), "", 1, true, 0, {"Файл не знайдено!"}, {}},
        {"first number 0", Table({}), "", 1, false, 0, {"Імпорт даних завершено!"}, {kDash}},
        {"write fails",
         Table({{1, "a"}, {2, "b"}, {3, "c"}}),
         "fail SetGoodsGroupName at 2 text \"Збій\"",
         1,
         false,
         2,
         {"Збій"},
         {kDash, "Імпорт даних завершено з помилкою!", "Файл імпорту товарних груп закрито!", kDash}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ImportRun run(c.table, c.scenario, c.done);
        if (c.removeFile) {
            auto fill = run.h.importJob;
            run.h.importJob = [&run, fill] {
                fill();
                std::remove(run.h.State().MakeMetod.FileName.c_str());
            };
        }
        run.Form().ActionImportGroupsOfGoods->trigger();
        EXPECT_EQ(run.Calls("SetGoodsGroupName").size(), c.writes);
        EXPECT_EQ(run.Boxes(), c.boxes);
        Lines memo = run.Memo();
        if (!c.memoTail.empty()) {
            EXPECT_EQ(Lines(memo.end() - static_cast<std::ptrdiff_t>(c.memoTail.size()), memo.end()),
                      c.memoTail);
        }
        run.ExpectRestored();
    }
}

TEST(PatternPage, OnePatternWrittenAndReadWithItsCursor) {
    GroupsRun run;
    console::TForm1& f = run.Form();
    f.PatternNumber->setText("25");
    f.PatternNumberExit();
    EXPECT_EQ(f.PatternNumber->text(), "20");
    f.PatternNumber->setText(" 3 ");
    f.CursorPosition->setText("5");
    f.PatternText->setText(QString::fromUtf8("Привіт, світ"));
    f.ActionWriteTextPattern->trigger();
    f.CursorPosition->setText("1");
    f.PatternText->clear();
    f.ActionReadTextPattern->trigger();
    EXPECT_EQ(f.CursorPosition->text(), "5");
    EXPECT_EQ(f.PatternText->text().toStdString(), "Привіт, світ");
    EXPECT_EQ(f.PageControl1->currentIndex(), 7);
    EXPECT_EQ(run.Calls("SetTextPattern"), Lines{"SetTextPattern(3, 5, \"Привіт, світ\")"});
    EXPECT_EQ(run.Boxes(), Lines{"Записаний текстовий шаблон №3."});

    // A refused cursor position reaches no register.
    f.CursorPosition->setText("1a");
    f.ActionWriteTextPattern->trigger();
    EXPECT_EQ(f.CursorPosition->text(), "1");
    EXPECT_EQ(run.Calls("SetTextPattern").size(), 1u);
    EXPECT_EQ(
        run.Boxes().back(),
        "Невірно задана позиція курсора в рядку текстового шаблону!\r\nМожливий діапазон значень: 1..28!");
}

TEST(PatternPage, AllPatternsInOneBoxWithTheCaretAtTheCursor) {
    GroupsRun run;
    console::TForm1& f = run.Form();
    auto write = [&f](int number, int cursor, const char* text) {
        f.PatternNumber->setText(QString::number(number));
        f.CursorPosition->setText(QString::number(cursor));
        f.PatternText->setText(QString::fromUtf8(text));
        f.ActionWriteTextPattern->trigger();
    };
    write(1, 2, "abc");
    write(2, 28, "1234567890123456789012345678");
    write(3, 1, "");
    std::string caption;
    run.atStep = [&f, &caption](int) { caption = f.BitBtnReadAllTextPatterns->text().toStdString(); };
    f.ActionReadAllTextPatterns->trigger();
    EXPECT_EQ(caption, "Зачекайте!");
    EXPECT_EQ(f.BitBtnReadAllTextPatterns->text().toStdString(), "Прочитати всі шаблони");
    ASSERT_EQ(run.h.ui.boxes.size(), 4u);
    const auto& box = run.h.ui.boxes.back();
    EXPECT_EQ(box.Utf8Caption(), "Текстові шаблони");
    EXPECT_EQ(box.style, 0x2040u);
    std::string expected = "Шаблон №1: a^bc\r\n"
                           "Шаблон №2: 123456789012345678901234567^8\r\n"
                           "Шаблон №3: <пустий>\r\n"
                           "Шаблон №4: Акц^ія тижня\r\n"
                           "Шаблон №5: Зниж^ка 5%\r\n";
    for (int n = 6; n <= 20; ++n) expected += "Шаблон №" + std::to_string(n) + ": <пустий>\r\n";
    EXPECT_EQ(box.Utf8Text(), expected);
    EXPECT_TRUE(run.locked);
    EXPECT_EQ(run.h.State().Busy, 0);
    EXPECT_TRUE(f.ActionReadAllTextPatterns->isEnabled());
}

TEST(PatternPage, AllPatternsEndedEarlyShowNothingOfWhatWasRead) {
    const struct {
        const char* scenario;
        const char* box;
    } cases[] = {
        {"end-batch 5", "Зчитування даних завершено!"},
        {"fail-record 7 text \"Обрив\"", "Обрив"},
        {"batch-first 0x30 text \"Немає шаблонів\"", "Немає шаблонів"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        GroupsRun run(c.scenario);
        run.Form().ActionReadAllTextPatterns->trigger();
        EXPECT_EQ(run.Boxes(), Lines{c.box});
        EXPECT_EQ(run.h.State().Busy, 0);
        EXPECT_EQ(run.Form().BitBtnReadAllTextPatterns->text().toStdString(), "Прочитати всі шаблони");
        EXPECT_TRUE(run.Form().ActionReadAllTextPatterns->isEnabled());
    }
}

} // namespace

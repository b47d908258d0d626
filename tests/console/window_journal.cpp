// The electronic journal dialogs against the simulated register: the
// parameters and the spinners, the journal read whole or stopped by a
// failure, damage or its size, the Z report, the option bits and the free
// space.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "console/UpDown.h"
#include "exchange/JobSide.h"
#include "exchange/TForm12.h"
#include "exchange/TForm13.h"
#include "support_files.h"
#include "support_program.h"
#include "support_readers.h"

namespace {

using testing_console::ProgramHarness;
using Lines = std::vector<std::string>;

// The program connected to the register, with sales recorded by `scenario`.
struct JournalRun {
    explicit JournalRun(const std::string& scenario) {
        h.WriteScenario("clear-sales\nclock 2024-03-01T09:00\n" + scenario);
        created = h.Create();
        if (created) h.Form().Connect->trigger();
    }
    // Opens the journal dialog and runs `act` on it while it is shown.
    void Journal(const std::function<void(exchange::TForm13&)>& act) {
        h.ui.QueueModal([act](QDialog& d) {
            act(dynamic_cast<exchange::TForm13&>(d));
            return 0;
        });
        h.Form().BitBtn7->click();
    }
    void Options(const std::function<void(exchange::TForm12&)>& act) {
        h.ui.QueueModal([act](QDialog& d) {
            act(dynamic_cast<exchange::TForm12&>(d));
            return 0;
        });
        h.Form().BitBtn5->click();
    }
    Lines Boxes() const {
        Lines texts;
        for (const auto& box : h.ui.boxes) texts.push_back(box.Utf8Text());
        return texts;
    }
    ProgramHarness h;
    bool created = false;
};

const char* const kSales = "receipt sale item 2 qty 2 item 3 pay cash 1000.00\n"
                           "receipt refund item 2\n"
                           "cash-out 1.00\n"
                           "z-report at 2024-03-01T20:00\n"
                           "receipt sale item 3\n";

TEST(JournalDialog, ParametersSetTheSpinners) {
    JournalRun run(kSales);
    ASSERT_TRUE(run.created);
    run.Journal([](exchange::TForm13& f) {
        EXPECT_FALSE(f.Edit1->isEnabled());
        EXPECT_FALSE(f.Edit2->isEnabled());
        f.Edit1->setText("2");
        f.BitBtn2->click();
        EXPECT_TRUE(f.Edit1->isEnabled() && f.UpDown1->isEnabled() && f.Edit2->isEnabled());
        EXPECT_EQ(f.Values[0]->text(), "2");
        EXPECT_EQ(f.Values[1]->text(), "2") << "the second shift since the sales were cleared";
        EXPECT_EQ(f.UpDown1->Max(), 2);
        // The report spinner offers 1..shift and stands at the shift before.
        EXPECT_EQ(f.UpDown2->Max(), 2);
        EXPECT_EQ(f.UpDown2->Position(), 1);
        EXPECT_EQ(f.Edit2->text(), "1");
        f.Edit1->setText("1");
        f.BitBtn2->click();
        // Shift 1: the spinner never stands below its first number.
        EXPECT_EQ(f.Values[1]->text(), "1");
        EXPECT_EQ(f.UpDown2->Position(), 1);
        // A copy of the packed record's field: a reference to it would be misaligned.
        EXPECT_EQ(uint16_t{exchange::Side().JournalParamsValue.shift}, 1);
        f.Edit1->setText("9");
        f.BitBtn2->click();
        EXPECT_EQ(f.Edit1->text(), "2") << "a number beyond the journals counts as the last";
    });
    EXPECT_TRUE(run.Boxes().empty());
}

// A register of twelve journals: the spinner shows every number it takes
// whole, so the journal chosen with the up-down is the journal read.
TEST(JournalDialog, JournalNumbersOfTwoDigitsAreReadAsShown) {
    std::string sales;
    for (int shift = 0; shift < 11; ++shift) sales += "receipt sale item 3\nz-report\n";
    JournalRun run(sales + "receipt sale item 3\n");
    ASSERT_TRUE(run.created);
    run.Journal([](exchange::TForm13& f) {
        f.BitBtn2->click();
        ASSERT_EQ(f.Values[0]->text().toStdString(), "12");
        f.UpDown1->SetPosition(12);
        EXPECT_EQ(f.Edit1->text().toStdString(), "12");
        f.BitBtn2->click();
        EXPECT_EQ(f.Values[1]->text().toStdString(), "12");
        EXPECT_EQ(uint16_t{exchange::Side().JournalParamsValue.shift}, 12);
    });
    EXPECT_TRUE(run.Boxes().empty());
}

struct ReadCase {
    const char* what;
    std::string scenario;
    Lines boxes;      // shown, in order
    bool asksForFile; // the save dialog came
};

TEST(JournalDialog, JournalReadWholeOrNotAtAll) {
    const std::string sold = kSales;
    const ReadCase cases[] = {
        {"whole", sold, {"Зчитування електронного журналу закінчено"}, true},
        {"failure at block 1", sold + "fail-record 1 text \"Обрив зв'язку\"", {"Обрив зв'язку"}, false},
        {"failure at the first block",
         sold + "fail GetJournal text \"Немає журналу\"",
         {"Немає журналу"},
         false},
        {"a register that never ends its journal",
         sold + "journal-damage endless",
         {"Обсяг електронного журналу перевищує 16 МБ. Зчитування зупинено, журнал не збережено!"},
         false},
        {"lengths past the end",
         sold + "journal-damage body-length 1 60000",
         {"Зчитування електронного журналу закінчено"},
         true},
        {"a zero record length",
         sold + "journal-damage record-length 0 1 0",
         {"Зчитування електронного журналу закінчено"},
         true},
        {"a stream cut short",
         sold + "journal-damage cut 40",
         {"Зчитування електронного журналу закінчено"},
         true},
        // The last block at once: 128 bytes holding the end mark, an empty DATA.
        {"the end at once", "cash-in 1.00\nnew-journal", {"Зчитування електронного журналу закінчено"}, true},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        JournalRun run(c.scenario);
        ASSERT_TRUE(run.created);
        const std::string file = run.h.dir.File("journal.xml");
        run.h.ui.QueueFile(file);
        const bool atOnce = std::string(c.what) == "the end at once";
        run.Journal([atOnce](exchange::TForm13& f) {
            if (atOnce) f.Edit1->setText("2"); // the shift's second journal, still empty
            f.BitBtn3->click();
        });
        if (atOnce) {
            EXPECT_NE(testfiles::Slurp(file).find("<DATA/>"), std::string::npos);
        }
        EXPECT_EQ(run.Boxes(), c.boxes);
        EXPECT_EQ(run.h.ui.fileDialogs.size(), c.asksForFile ? 1u : 0u);
        EXPECT_EQ(testfiles::Exists(file), c.asksForFile);
        if (c.asksForFile) {
            EXPECT_TRUE(testfiles::XmllintAccepts(file));
        }
    }
}

TEST(JournalDialog, ZReportSavedOrRefused) {
    const struct {
        const char* what;
        std::string scenario;
        int report;
        Lines boxes;
        bool saved;
    } cases[] = {
        {"the closed shift", kSales, 1, {"Зчитування денного Z-звіту закінчено"}, true},
        {"the open shift has none", kSales, 2, {"Z-звіт №2 не знайдено"}, false},
        // A buffer that fails its check is told and nothing is saved.
        {"not a Z report",
         std::string(kSales) + "z-damage type 9",
         1,
         {"Виникла помика при обробці даних денного Z-звіту!", "Зчитування денного Z-звіту закінчено"},
         false},
        {"body length not 165",
         std::string(kSales) + "z-damage length 164",
         1,
         {"Виникла помика при обробці даних денного Z-звіту!", "Зчитування денного Z-звіту закінчено"},
         false},
        {"identities too long",
         "fiscal-ids \"" + std::string(25, 'F') + "\" \"" + std::string(20, 'P') + "\"\n" + kSales,
         1,
         {"Виникла помика при обробці даних денного Z-звіту!", "Зчитування денного Z-звіту закінчено"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        JournalRun run(c.scenario);
        ASSERT_TRUE(run.created);
        const std::string file = run.h.dir.File("zreport.xml");
        if (c.saved) run.h.ui.QueueFile(file);
        const int report = c.report;
        run.Journal([report](exchange::TForm13& f) {
            f.Edit1->setText("2");
            f.BitBtn2->click();
            f.Edit2->setText(QString::number(report));
            f.BitBtn4->click();
        });
        EXPECT_EQ(run.Boxes(), c.boxes);
        EXPECT_EQ(testfiles::Exists(file), c.saved);
        if (c.boxes.size() == 2) {
            EXPECT_EQ(run.h.ui.boxes[0].style, 0x10u);
        }
    }
}

TEST(JournalOptionsDialog, BitsReadWrittenAndTheFreeSpace) {
    JournalRun run("journal-free 3000000000");
    ASSERT_TRUE(run.created);
    run.Options([](exchange::TForm12& f) {
        f.BitBtn1->click();
        EXPECT_TRUE(f.CheckBox1->isChecked());
        EXPECT_FALSE(f.CheckBox2->isChecked() || f.CheckBox3->isChecked());
        for (bool all : {true, false}) {
            for (QCheckBox* c : {f.CheckBox1, f.CheckBox2, f.CheckBox3}) c->setChecked(all);
            f.BitBtn2->click();
        }
        f.CheckBox2->setChecked(true);
        f.BitBtn2->click();
        f.CheckBox2->setChecked(false);
        f.BitBtn1->click();
        EXPECT_TRUE(f.CheckBox2->isChecked());
        f.BitBtn4->click();
    });
    const Lines written = {"Опції формування електронного журнала успішно записані!"};
    Lines expected = {written[0], written[0], written[0],
                      "Вільний об'єм електронного журнала скадає 3000000000 байт."};
    EXPECT_EQ(run.Boxes(), expected);
    Lines calls;
    for (const std::string& line : testing_console::LogLines(run.h.SimulatorLog(), ""))
        if (line.rfind("SetJournalOptions", 0) == 0) calls.push_back(line);
    EXPECT_EQ(calls, (Lines{"SetJournalOptions(7)", "SetJournalOptions(0)", "SetJournalOptions(2)"}));
}

// The journal dialogs have no default button: Enter typed in the report
// number or on an option reads nothing over what the user set.
TEST(JournalDialogs, EnterPressesNoButton) {
    JournalRun run(kSales);
    ASSERT_TRUE(run.created);
    run.Journal([](exchange::TForm13& f) {
        f.show();
        f.BitBtn2->click();
        f.Edit2->setFocus();
        f.Edit2->setText("2");
        testing_console::PressKey(f.Edit2, Qt::Key_Return);
        EXPECT_EQ(f.Edit2->text().toStdString(), "2");
        f.hide();
    });
    run.Options([](exchange::TForm12& f) {
        f.show();
        f.CheckBox3->setFocus();
        f.CheckBox3->setChecked(true);
        testing_console::PressKey(f.CheckBox3, Qt::Key_Return);
        EXPECT_TRUE(f.CheckBox3->isChecked());
        f.hide();
    });
    Lines calls;
    for (const std::string& line : testing_console::LogLines(run.h.SimulatorLog(), ""))
        if (line.find("Journal") != std::string::npos || line.rfind("GetReport", 0) == 0)
            calls.push_back(line);
    EXPECT_EQ(calls, (Lines{"GetJournalParams(1)"}));
    EXPECT_TRUE(run.Boxes().empty());
}

} // namespace

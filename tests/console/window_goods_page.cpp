// The goods-name length page and the goods page against the simulated
// register: each operation's call, boxes and texts, the field checks that
// keep a refused value from the register, failures, and the page's buttons
// while a writing loop runs.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "console/ActionButton.h"
#include "platform/ui/AnsiText.h"
#include "support_reports.h"

namespace {

using platform::IdNo;
using platform::IdYes;
using testing_console::ReportHarness;
using F = console::TForm1;

std::string U(const QLineEdit* edit) {
    return edit->text().toStdString();
}

void Set(QLineEdit* edit, const char* utf8) {
    edit->setText(QString::fromUtf8(utf8));
}

// The log lines of one function, ANSI texts shown as UTF-8.
std::vector<std::string> Calls(const ReportHarness& h, const std::string& function) {
    std::vector<std::string> out;
    for (const std::string& line : testing_console::LogLines(h.SimulatorLog(), ""))
        if (line.rfind(function + "(", 0) == 0) out.push_back(platform::Utf8(line));
    return out;
}

// The user clears the edit and types the text key by key.
void TypeInto(QLineEdit* edit, const char* text) {
    edit->setFocus();
    edit->selectAll();
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(edit, &erase);
    for (const char* c = text; *c != '\0'; ++c) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_0 + (*c - '0'), Qt::NoModifier, QString(QChar(*c)));
        QApplication::sendEvent(edit, &press);
    }
}

void FillGoods(F& f) {
    Set(f.Goods_Code, "4820000099999");
    Set(f.Goods_PLU, " 4321");
    Set(f.Goods_Name, "Тест «1»");
    Set(f.Goods_Price, "1,2,3");
    Set(f.Goods_Quant, "2,5");
    Set(f.Goods_Group, "7");
    f.CBTax_Group->setCurrentIndex(2);
    f.CBGoodsIsWeight->setChecked(true);
    f.CBGoodsPresenceAttr->setChecked(true);
    f.CBGoodsBlocking->setChecked(true);
}

TEST(GoodsPage, WriteReadBackRepriceRecountAndDelete) {
    ReportHarness h;
    F& f = h.Form();
    FillGoods(f);
    f.ActionWriteGoods->trigger();
    // The page's texts were normalised before the register got them; the
    // name's guillemets are not in the register's code page.
    EXPECT_EQ(U(f.Goods_Price), "12,30");
    EXPECT_EQ(U(f.Goods_Quant), "2,500");
    EXPECT_EQ(
        Calls(h, "SetGoodsByCode"),
        std::vector<std::string>{"SetGoodsByCode({1230, 7, 2, -1, -1, -1, 0, 2500, 4321, 4820000099999, "
                                 "\"Тест «1»\"})"});
    ASSERT_EQ(h.BoxTexts(),
              std::vector<std::string>{"Товар з кодом: 4820000099999\r\nбуло успішно записано в ЕККА."});
    EXPECT_EQ(h.ui.boxes[0].style, 0x2040u);
    EXPECT_EQ(f.BitBtnWriteGoods->text(), QString::fromUtf8("Записати"));

    // Read back into an emptied page.
    Set(f.Goods_Name, "");
    Set(f.Goods_Price, "0,00");
    Set(f.Goods_Quant, "0,000");
    Set(f.Goods_Group, "1");
    f.CBTax_Group->setCurrentIndex(0);
    f.CBGoodsIsWeight->setChecked(false);
    f.CBGoodsPresenceAttr->setChecked(false);
    f.PageControl1->setCurrentIndex(0);
    f.ActionReadGoods->trigger();
    EXPECT_EQ(Calls(h, "GetGoodsByCode"), std::vector<std::string>{"GetGoodsByCode(4321, 4820000099999)"});
    EXPECT_EQ(U(f.Goods_Name), "Тест «1»");
    EXPECT_EQ(U(f.Goods_Price), "12,30");
    EXPECT_EQ(U(f.Goods_Quant), "2,500");
    EXPECT_EQ(U(f.Goods_Group), "7");
    EXPECT_EQ(f.CBTax_Group->currentIndex(), 2);
    EXPECT_TRUE(f.CBGoodsIsWeight->isChecked() && f.CBGoodsPresenceAttr->isChecked() &&
                f.CBGoodsBlocking->isChecked() && f.CBGoodsBlocking->isEnabled());
    EXPECT_EQ(f.PageControl1->currentIndex(), 3);
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(h.ui.boxes[1].Utf8Caption(), "Параметри бази товарів");
    EXPECT_EQ(h.ui.boxes[1].style, 0x2040u);
    EXPECT_EQ(h.ui.boxes[1].Utf8Text().substr(0, h.ui.boxes[1].Utf8Text().find("\r\nЦіна")),
              "Порядковий номер товару в базі: 300\r\nКод товару (PLU): 4321\r\nШтрих-код: 4820000099999\r\n"
              "Найменування товару: Тест «1»");

    Set(f.Goods_Price, "5");
    f.ActionWriteNewPrice->trigger();
    Set(f.Goods_Quant, "1");
    f.CB_Option->setCurrentIndex(1);
    f.ActionWriteNewQuant->trigger();
    EXPECT_EQ(Calls(h, "SetGoodsPrice"), std::vector<std::string>{"SetGoodsPrice(4321, 4820000099999, 5)"});
    EXPECT_EQ(Calls(h, "SetGoodsQuantity"),
              std::vector<std::string>{"SetGoodsQuantity(4321, 4820000099999, 1, 1)"});

    h.ui.QueueAnswer(IdNo);
    f.ActionGoodsDelete->trigger();
    EXPECT_TRUE(Calls(h, "EraseGoodsByCode").empty());
    h.ui.QueueAnswer(IdYes);
    f.ActionGoodsDelete->trigger();
    EXPECT_EQ(Calls(h, "EraseGoodsByCode"),
              std::vector<std::string>{"EraseGoodsByCode(4321, 4820000099999)"});
    std::vector<std::string> boxes = h.BoxTexts();
    ASSERT_EQ(boxes.size(), 7u);
    EXPECT_EQ(boxes[2], "Нова ціна була успішно записана.");
    EXPECT_EQ(boxes[3], "Нова кількість товарів була успішно записана.");
    EXPECT_EQ(boxes[4], "Ви дійсно бажаєте видалити \r\n товар з кодом: 4820000099999?");
    EXPECT_EQ(h.ui.boxes[4].Utf8Caption(), "Видалення");
    EXPECT_EQ(h.ui.boxes[4].style, 0x2024u);
    EXPECT_EQ(boxes[6], "Товар з кодом: 4820000099999 успішно видалений.");
}

// The three options of a new quantity: set, add to and subtract from the remainder.
TEST(GoodsPage, NewQuantityOptions) {
    ReportHarness h;
    F& f = h.Form();
    Set(f.Goods_Code, "4820000000017");
    Set(f.Goods_PLU, "2");
    struct Step {
        int option;
        const char* quantity;
        uint32_t remainder;
    } steps[] = {{0, "5", 5}, {1, "1,5", 1505}, {2, "0,505", 1000}};
    for (const Step& s : steps) {
        f.CB_Option->setCurrentIndex(s.option);
        Set(f.Goods_Quant, s.quantity);
        f.ActionWriteNewQuant->trigger();
        Q710GoodsData read{};
        const char* err = nullptr;
        ASSERT_EQ(h.State().Api().GetGoodsByCode(2, 4820000000017, &read, &err), 0);
        EXPECT_EQ(read.remainder, s.remainder) << s.option;
    }
    EXPECT_EQ(Calls(h, "SetGoodsQuantity").back(), "SetGoodsQuantity(2, 4820000000017, 505, 2)");
}

TEST(GoodsPage, NameLengthReadAndWritten) {
    ReportHarness h;
    F& f = h.Form();
    Set(f.LengthGoodsName, "30");
    f.ActionReadLengthNameOfGoods->trigger();
    EXPECT_EQ(U(f.LengthGoodsName), "25");
    EXPECT_EQ(f.PageControl1->currentIndex(), 2);
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Параметри бази товарів");
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Максимальна довжина назви товару складає 25 симв.\r\n"
                                        "Максимально можлива кількість товарів в базі: 5269\r\n"
                                        "Кількість запрограмованих товарів в базі: 300\r\n"
                                        "Кількість збійних записів у товарній базі: 2.");
    // A length below the range is raised to 20 before it is written.
    Set(f.LengthGoodsName, " 19");
    f.ActionWriteLengthNameOfGoods->trigger();
    EXPECT_EQ(U(f.LengthGoodsName), "20");
    EXPECT_EQ(Calls(h, "SetLengthGoodsName"), std::vector<std::string>{"SetLengthGoodsName(20)"});
    EXPECT_EQ(h.BoxTexts().back(), "Записане нове значення максимальної\r\nдовжини назви товару.");
    EXPECT_EQ(f.BitBtnWriteLengthNameOfGoods->text(), QString::fromUtf8("Записати"));
}

// A field the check refuses shows its message, gets its default text, and
// the operation sends nothing.
TEST(GoodsPage, RefusedFieldsSendNothing) {
    struct Case {
        QLineEdit* F::*edit;
        const char* text;
        QAction* F::*action;
        const char* call;
        const char* message;
        const char* reset;
    } cases[] = {
        {&F::Goods_PLU, "12a", &F::ActionReadGoods, "GetGoodsByCode", "Невірно заданий номер товару (PLU)!",
         "0"},
        {&F::Goods_Code, "", &F::ActionGoodsDelete, "EraseGoodsByCode",
         "Невірно заданий код товара!\r\nМожливий діапазон значень: 0,1000000..9999999999999!", "1"},
        {&F::Goods_Price, "1.5", &F::ActionWriteNewPrice, "SetGoodsPrice",
         "Невірно задана ціна товару!\r\nВ якості ціни може бути тільки число!", "0,00"},
        {&F::Goods_Quant, "-1", &F::ActionWriteNewQuant, "SetGoodsQuantity",
         "Невірно задана кількість товару!\r\nВ якості кількості може бути тільки число!", "0,000"},
        {&F::Goods_Group, "x", &F::ActionWriteGoods, "SetGoodsByCode",
         "Невірно заданий номер товарної групи!\r\nВ якості номера товарної групи може бути тільки число!",
         "1"},
        {&F::Goods_Group, "257", &F::ActionWriteGoods, "SetGoodsByCode",
         "Невірно заданий номер товарної групи!\r\nМожливий діапазон значень: 1...100!", "1"},
        {&F::LengthGoodsName, "2x", &F::ActionWriteLengthNameOfGoods, "SetLengthGoodsName",
         "Невірно задана довжина назви товару!\r\nМожливий діапазон значень: 20..31!", "20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ReportHarness h;
        F& f = h.Form();
        Set(f.Goods_Code, "4820000000000");
        Set(f.Goods_PLU, "1");
        Set(f.*c.edit, c.text);
        (f.*c.action)->trigger();
        EXPECT_TRUE(Calls(h, c.call).empty());
        EXPECT_EQ(U(f.*c.edit), c.reset);
        ASSERT_EQ(h.BoxTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
        EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
    }
}

// Every single call that fails shows the library's text and nothing else;
// the button's caption is its own again.
TEST(GoodsPage, DeviceFailuresShowTheLibraryText) {
    struct Case {
        const char* function;
        std::function<void(F&, platform::ScriptedUi&)> start;
    } cases[] = {
        {"GetLengthGoodsName", [](F& f, auto&) { f.ActionReadLengthNameOfGoods->trigger(); }},
        {"SetLengthGoodsName", [](F& f, auto&) { f.ActionWriteLengthNameOfGoods->trigger(); }},
        {"GetGoodsByCode", [](F& f, auto&) { f.ActionReadGoods->trigger(); }},
        {"SetGoodsByCode", [](F& f, auto&) { f.ActionWriteGoods->trigger(); }},
        {"SetGoodsPrice", [](F& f, auto&) { f.ActionWriteNewPrice->trigger(); }},
        {"SetGoodsQuantity", [](F& f, auto&) { f.ActionWriteNewQuant->trigger(); }},
        {"EraseGoodsByCode",
         [](F& f, auto& ui) {
             ui.QueueAnswer(IdYes);
             f.ActionGoodsDelete->trigger();
         }},
        {"EraseAllGoods",
         [](F& f, auto& ui) {
             ui.QueueAnswer(IdYes);
             f.ActionEraseAllGoods->trigger();
         }},
        {"EraseFailureRecords",
         [](F& f, auto& ui) {
             ui.QueueAnswer(IdYes);
             f.BitBtn2->click();
         }},
        {"GetPeiodOfLastDay", [](F& f, auto&) { f.Button1->click(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        ReportHarness h(std::string("fail ") + c.function + " status 0x13 text \"Відмова ЕККА\"\n");
        F& f = h.Form();
        Set(f.Goods_Code, "4820000000000");
        Set(f.Goods_PLU, "1");
        c.start(f, h.ui);
        ASSERT_FALSE(h.ui.boxes.empty());
        EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "Відмова ЕККА");
        EXPECT_EQ(h.ui.boxes.back().Utf8Caption(), "Помилка");
        EXPECT_EQ(h.ui.boxes.back().style, 0x2010u);
        EXPECT_EQ(Calls(h, c.function).size(), 1u);
        for (console::ActionButton* b :
             {f.BitBtnWriteLengthNameOfGoods, f.BitBtnWriteGoods, f.BitBtnGoodsDelete, f.BitBtnEraseAllGoods})
            EXPECT_EQ(b->text(), b->Action()->text());
        EXPECT_TRUE(f.BitBtnEraseAllGoods->Action() == f.ActionEraseAllGoods);
        EXPECT_EQ(h.State().Busy, 0);
        EXPECT_TRUE(f.ActionReadGoods->isEnabled() && f.BitBtn2->isEnabled());
    }
}

TEST(GoodsPage, EraseAllGoodsAndItsAdditionalCodes) {
    struct Case {
        const char* scenario;
        int answer;
        std::vector<std::string> boxes; // after the question
        bool erased;
    } cases[] = {
        {"", IdNo, {}, false},
        {"", IdYes, {"База товарів успішно видалена."}, true},
        {"fail EraseAdditionalCodes text \"Коди не видалено\"\n",
         IdYes,
         {"Коди не видалено",
          "База товарів успішно видалена, але коди з доповненням залишились не видалені!"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        ReportHarness h(c.scenario);
        h.ui.QueueAnswer(c.answer);
        h.Form().ActionEraseAllGoods->trigger();
        std::vector<std::string> boxes = h.BoxTexts();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes[0], "ДАНІ БУДУТЬ ВИДАЛЕНІ БЕЗ МОЖЛИВОСТІ ЇХ ВІДНОВЛЕННЯ!\r\n"
                            "Ви дійсно бажаєте видалити базу товарів ЕККА?");
        EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Попередження!");
        EXPECT_EQ(h.ui.boxes[0].style, 0x2034u);
        EXPECT_EQ(std::vector<std::string>(boxes.begin() + 1, boxes.end()), c.boxes);
        EXPECT_EQ(Calls(h, "EraseAllGoods").size(), c.erased ? 1u : 0u);
        EXPECT_EQ(Calls(h, "EraseAdditionalCodes"),
                  c.erased ? std::vector<std::string>{"EraseAdditionalCodes(1, 9999999999999)"}
                           : std::vector<std::string>{});
        EXPECT_EQ(h.Form().BitBtnEraseAllGoods->text(), QString::fromUtf8("Видалити базу товарів"));
    }
}

TEST(GoodsPage, FailureRecordsAndTheLastShift) {
    ReportHarness h;
    F& f = h.Form();
    h.ui.QueueAnswer(IdNo);
    f.BitBtn2->click();
    EXPECT_TRUE(Calls(h, "EraseFailureRecords").empty());
    h.ui.QueueAnswer(IdYes);
    f.BitBtn2->click();
    EXPECT_EQ(Calls(h, "EraseFailureRecords").size(), 1u);
    f.Button1->click();
    std::vector<std::string> boxes = h.BoxTexts();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0], "БУДУТЬ ВИДАЛЕНІ ТІЛЬКИ ЗБІЙНІ ЗАПИСИ У БАЗІ ТОВАРІВ!\r\nПродовжити операцію?");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2034u);
    EXPECT_EQ(boxes[2], "Збійні записи у базі товарів успішно видалені.");
    EXPECT_EQ(boxes[3], "Відкрита: 08.01.2024 8:00:00\r\nЗакрита: 08.01.2024 22:00:00");
    EXPECT_EQ(h.ui.boxes[3].Utf8Caption(), "Період останньої закритої зміни");
    EXPECT_EQ(h.ui.boxes[3].style, 0x2040u);
}

// The loading and updating buttons become the stop button while their loop
// runs; every register button of the page is off meanwhile.
TEST(GoodsPage, WritingLoopsStartFromTheirButtons) {
    for (bool update : {false, true}) {
        SCOPED_TRACE(update);
        ReportHarness h;
        F& f = h.Form();
        console::ActionButton* start = update ? f.BitBtnUpdateDBToECRByCode : f.BitBtnWriteGoodsByNumber;
        const QString caption = start->text();
        h.importJob = [] {
            for (int i = 0; i < 3; ++i) {
                GoodsProg g;
                g.group = 1;
                g.plu = 900 + i;
                g.SetName("X");
                Shared().ImportedGoods.push_back(g);
            }
        };
        bool locked = true;
        h.atRecord = [&](int k) {
            locked = locked && start->text() == QString::fromUtf8("Cтоп !") && start->isEnabled();
            for (QWidget* w :
                 std::initializer_list<QWidget*>{f.BitBtn2, f.Button1, f.BitBtnReadGoods, f.BitBtn6,
                                                 f.BitBtnEraseAllGoods, f.BitBtnReadLengthNameOfGoods})
                locked = locked && !w->isEnabled();
            if (k == 1) {
                start->click();
                h.ui.QueueAnswer(IdYes);
            }
        };
        start->click();
        EXPECT_TRUE(locked);
        EXPECT_EQ(Calls(h, update ? "SetGoodsByCode2" : "SetGoodsByNumber").size(), 1u);
        EXPECT_EQ(start->text(), caption);
        EXPECT_TRUE(start->isEnabled() && f.BitBtn2->isEnabled() && f.Button1->isEnabled());
    }
}

// A price typed as "1234567890123" shows its normalised text whole,
// "12345678901,23" (the typing limit does not cut it), and the refusal to
// write it names the digits typed.
TEST(GoodsPage, PriceShowsTheNormalisedTextWholeAndTheDigitsTyped) {
    ReportHarness h;
    F& f = h.Form();
    f.show();
    TypeInto(f.Goods_Price, "12345678901234"); // the fourteenth digit is not taken
    EXPECT_EQ(U(f.Goods_Price), "1234567890123");
    f.ActionWriteNewPrice->trigger();
    EXPECT_EQ(U(f.Goods_Price), "12345678901,23");
    EXPECT_TRUE(Calls(h, "SetGoodsPrice").empty());
    ASSERT_EQ(h.BoxTexts(), std::vector<std::string>{"'1234567890123' is not a valid integer value"});
    f.ActionWriteGoods->trigger();
    EXPECT_TRUE(Calls(h, "SetGoodsByCode").empty());
    EXPECT_EQ(h.BoxTexts().back(), "'1234567890123' is not a valid integer value");

    // A price of 32 bits goes through, shown and sent as typed.
    TypeInto(f.Goods_Price, "2147483647");
    f.ActionWriteNewPrice->trigger();
    EXPECT_EQ(U(f.Goods_Price), "21474836,47");
    EXPECT_EQ(Calls(h, "SetGoodsPrice"), std::vector<std::string>{"SetGoodsPrice(0, 1, 2147483647)"});
}

// Groups 1..100 are the register's: another number gets the range, a text
// that is no number the number line; nothing is written either way.
TEST(GoodsPage, GoodsGroupOutsideTheRegistersGroupsIsRefusedWithTheRange) {
    const std::string head = "Невірно заданий номер товарної групи!\r\n";
    const struct {
        const char* typed;
        std::string message;
    } cases[] = {
        {"0", head + "Можливий діапазон значень: 1...100!"},
        {"101", head + "Можливий діапазон значень: 1...100!"},
        {"-5", head + "Можливий діапазон значень: 1...100!"},
        {"abc", head + "В якості номера товарної групи може бути тільки число!"},
    };
    ReportHarness h;
    F& f = h.Form();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        h.ui.boxes.clear();
        Set(f.Goods_Group, c.typed);
        f.ActionWriteGoods->trigger();
        EXPECT_EQ(U(f.Goods_Group), "1");
        ASSERT_EQ(h.BoxTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
        EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
    }
    EXPECT_TRUE(Calls(h, "SetGoodsByCode").empty());
    Set(f.Goods_Group, "100");
    h.ui.boxes.clear();
    f.ActionWriteGoods->trigger();
    EXPECT_EQ(Calls(h, "SetGoodsByCode").size(), 1u);
}

TEST(GoodsPage, PresenceControlAndSession) {
    ReportHarness h;
    F& f = h.Form();
    EXPECT_FALSE(f.CBGoodsBlocking->isEnabled());
    f.CBGoodsPresenceAttr->setChecked(true);
    EXPECT_TRUE(f.CBGoodsBlocking->isEnabled());
    f.CBGoodsPresenceAttr->setChecked(false);
    EXPECT_FALSE(f.CBGoodsBlocking->isEnabled());
    // Without a session the plain register buttons are off as well.
    f.Disconnect->trigger();
    EXPECT_FALSE(f.BitBtn2->isEnabled() || f.Button1->isEnabled() || f.ActionReadGoods->isEnabled());
}

} // namespace

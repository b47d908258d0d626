// Goods files loaded into the register and updated in it from the goods page,
// through the format choice, the open dialog, the job window and the writing
// loop: files written by other programs in every format, and the program's
// own exports read back (export, erase, load, update). The register's table
// is read straight from its library and compared; the files, the table and
// the duplicate-PLU log are left in Q710_TEST_OUT.
#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "SrcXLS/XLSLibState.h"
#include "console/RadioGroup.h"
#include "console/TForm6.h"
#include "console/TQProgressBar.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "support_files.h"
#include "support_program.h"
#include "support_readers.h"
#include "support_register.h"

namespace {

using testing_console::ProgramHarness;
using testing_console::RegisterRecord;

const char* const kFormats[4] = {"xml", "xls", "csv", "dbf"};

// The goods of the files: number, PLU, barcode, name, price and quantity
// (texts with '.' and their integers), group, tax group 1..5, flags, payout.
struct Goods {
    int number;
    int plu;
    int64_t barcode;
    std::string name;
    std::string price, quantity;
    uint32_t kopecks, thousandths;
    int group, tax;
    bool weighed, presence, blocking;
    int payout;
};

const std::vector<Goods> kGoods = {
    {0, 101, 4820000000017, "Хліб білий", "12.50", "2.5", 1250, 2500, 3, 2, true, false, true, 2},
    {1, 0, 4820000000024, "Молоко 2.5%", "31.99", "10", 3199, 10000, 100, 5, false, true, false, 0},
    {2, 7, 1, "Ґудзики", "0.375", "1.001", 38, 1001, 1, 1, true, true, true, 3},
    {3, 999999, 9999999999999, "Їжак-печиво №2 (довга назва товару)", "1234.56", "0.5", 123456, 500, 50, 4,
     false, false, false, 1},
    {4, 101, 4820000000031, "Сир твердий", "99", "0", 9900, 0, 7, 3, false, true, true, 0},
};

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (char c : text) out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + "\"";
}

// The goods as goods_writers.py takes them; no PLU is written as null.
std::string Recipe() {
    std::string rows;
    for (const Goods& g : kGoods) {
        if (!rows.empty()) rows += ",";
        rows += "[" + std::to_string(g.number) + "," + (g.plu ? std::to_string(g.plu) : "null") + "," +
                Json(std::to_string(g.barcode)) + "," + Json(g.name) + "," + Json(g.price) + "," +
                Json(g.quantity) + "," + std::to_string(g.group) + "," + std::to_string(g.tax) + "," +
                std::to_string(g.weighed) + "," + std::to_string(g.presence) + "," +
                std::to_string(g.blocking) + "," + std::to_string(g.payout) + "]";
    }
    return "{\"rows\": [" + rows + "], \"text_barcodes\": true, \"money_text\": true}";
}

void WriteWithPython(const std::string& format, const std::string& path, const std::string& recipeFile) {
    const char* source = std::getenv("Q710_SOURCE_DIR");
    std::string script =
        testfiles::Slurp(std::string(source ? source : "..") + "/tests/exchange/goods_writers.py");
    testfiles::RunPython(script, {format, path, recipeFile});
}

// The register's table in number order: TSV with a header line; names UTF-8.
std::string Tsv(const std::vector<RegisterRecord>& table) {
    std::string text =
        "number\tPLU\tbarcode\tname\tprice\tquantity\tgroup\ttax\tweight\tpresence\tblocking\tpayout\n";
    for (const RegisterRecord& r : table)
        text += std::to_string(r.number) + "\t" + std::to_string(r.plu) + "\t" + std::to_string(r.barcode) +
                "\t" + platform::AnsiToUtf8(r.name) + "\t" + std::to_string(r.price) + "\t" +
                std::to_string(r.remainder) + "\t" + std::to_string(r.group) + "\t" + std::to_string(r.tax) +
                "\t" + std::to_string(r.weighed) + "\t" + std::to_string(r.presenceControl) + "\t" +
                std::to_string(r.saleBlocking) + "\t" + std::to_string(r.payoutOperation) + "\n";
    return text;
}

// The table as the register holds the goods of the file after `imports`
// loads (one) and updates (more): numbers by position, names cut to the
// name length, quantities added.
std::string ExpectedTsv(int imports) {
    std::vector<RegisterRecord> table;
    for (const Goods& g : kGoods) {
        RegisterRecord r;
        r.number = static_cast<uint16_t>(g.number);
        r.plu = g.plu;
        r.barcode = g.barcode;
        r.name = platform::Utf8ToAnsi(g.name).substr(0, 25);
        r.price = g.kopecks;
        r.remainder = g.thousandths * static_cast<uint32_t>(imports);
        r.group = static_cast<uint8_t>(g.group);
        r.tax = static_cast<uint8_t>(g.tax - 1);
        r.weighed = g.weighed;
        r.presenceControl = g.presence;
        r.saleBlocking = g.blocking;
        r.payoutOperation = static_cast<uint8_t>(g.payout);
        table.push_back(r);
    }
    return Tsv(table);
}

class GoodsLoading : public ::testing::Test {
protected:
    void Start(ProgramHarness& h, const std::string& scenario = "") {
        h.WriteScenario(scenario);
        ASSERT_TRUE(h.Create());
        h.Form().Connect->trigger();
    }
    void QueueJob(ProgramHarness& h, int format, const std::string& file, bool import) {
        testing_console::QueueJob(h, format, file, import);
    }
    void Load(ProgramHarness& h, int kind, int format, const std::string& file) {
        QueueJob(h, format, file, true);
        (kind == 3 ? h.Form().ActionWriteGoodsByNumber : h.Form().ActionUpdateDBToECRByCode)->trigger();
    }
    void EraseAll(ProgramHarness& h) {
        h.ui.QueueAnswer(platform::IdYes);
        h.Form().ActionEraseAllGoods->trigger();
    }
    std::vector<RegisterRecord> Table(ProgramHarness& h) {
        const device::DeviceApi& api = h.State().Api();
        return testing_console::ReadGoodsBatch(
            api, [&api](Q710GoodsData* g, const char** e) { return api.GetGoodsByNumber(0, 0, g, e); });
    }
    std::vector<std::string> Boxes(ProgramHarness& h) {
        std::vector<std::string> texts;
        for (const auto& box : h.ui.boxes) texts.push_back(box.Utf8Text());
        h.ui.boxes.clear();
        return texts;
    }
    void Keep(ProgramHarness& h, const std::string& file, const std::string& name, const std::string& table) {
        testfiles::KeepTestOutput(file, name + "." + file.substr(file.rfind('.') + 1));
        std::string tsv = h.dir.File(name + ".tsv");
        testfiles::Spit(tsv, table);
        testfiles::KeepTestOutput(tsv, name + ".tsv");
        if (testfiles::Exists(file + ".log")) testfiles::KeepTestOutput(file + ".log", name + ".log");
    }

    testing_console::UkrainianSystem system;
};

// Files of other writers: ElementTree, xlwt, Python's csv, struct. Kind 3
// into an erased register, then kind 4 of the same file on top.
TEST_F(GoodsLoading, EveryFormatLoadsAndUpdatesTheRegister) {
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(kFormats[format]);
        ProgramHarness h;
        Start(h);
        EraseAll(h);
        ASSERT_EQ(Boxes(h).back(), "База товарів успішно видалена.");
        std::string recipe = h.dir.File("recipe.json");
        testfiles::Spit(recipe, Recipe());
        for (int kind : {3, 4}) {
            std::string file = h.dir.File("goods_k" + std::to_string(kind) + "." + kFormats[format]);
            WriteWithPython(kFormats[format], file, recipe);
            Load(h, kind, format, file);
            EXPECT_EQ(Boxes(h),
                      std::vector<std::string>{kind == 3 ? "Запис бази товарів завершений!"
                                                         : "Оновлення даних товарної бази завершено!"});
            EXPECT_EQ(h.ui.PendingReplies(), 0u);
            EXPECT_TRUE(Shared().ImportedGoods.empty());
            std::string table = Tsv(Table(h));
            EXPECT_EQ(table, ExpectedTsv(kind == 3 ? 1 : 2));
            // Goods 0 and 4 share PLU 101.
            EXPECT_EQ(platform::AnsiToUtf8(testfiles::Slurp(file + ".log")),
                      "[PLU:101 Barcode:4820000000017] Номер за списком: 0 = 4\r\n");
            Keep(h, file, "goods_import_k" + std::to_string(kind) + "_" + kFormats[format], table);
        }
    }
}

// The program's own exports of the report by all goods read back: loading
// into an erased register gives the same goods by codes, updating adds the
// quantities; under a decimal comma and a decimal point, prices of thousands
// (grouped in the workbook's money texts) included.
TEST_F(GoodsLoading, ExportsReadBack) {
    for (int run = 0; run < 8; ++run) {
        const int format = run % 4;
        const bool point = run >= 4;
        SCOPED_TRACE(std::string(kFormats[format]) + (point ? " decimal point" : " decimal comma"));
        ProgramHarness h;
        Start(h, "seed-goods 60\n");
        if (point) {
            platform::RegionalSettings regional = platform::Regional();
            regional.decimalSeparator = '.';
            regional.thousandsSeparator = ",";
            regional.currency = "$";
            regional.currencyFormat = 0;
            platform::SetRegional(regional);
        }
        // Prices of thousands.
        const std::vector<RegisterRecord> seeded = Table(h);
        ASSERT_EQ(seeded.size(), 60u);
        for (std::size_t n : {3, 17, 42}) {
            const RegisterRecord& r = seeded[n];
            GoodsProg g;
            g.price = n == 3 ? 123456 : n == 17 ? 99999999 : 100000;
            g.group = r.group;
            g.tax = r.tax;
            g.quantity = static_cast<int32_t>(r.remainder);
            g.plu = r.plu;
            g.barcode = r.barcode;
            g.weighed = r.weighed ? -1 : 0;
            g.presenceControl = r.presenceControl ? -1 : 0;
            g.saleBlocking = r.saleBlocking ? -1 : 0;
            g.payoutOperation = r.payoutOperation;
            g.SetName(r.name);
            const char* err = nullptr;
            ASSERT_EQ(h.State().Api().SetGoodsByNumber(r.number, g, &err), 0);
        }
        const std::vector<RegisterRecord> original = Table(h);
        ASSERT_EQ(original.size(), 60u);

        std::string file = h.dir.File(std::string("all_goods.") + kFormats[format]);
        h.ui.QueueModal([](QDialog& d) {
            static_cast<console::TForm6&>(d).RGMode1->Click(3); // the whole base
            d.findChild<QPushButton*>("Button1")->click();
            return d.result();
        });
        h.ui.QueueAnswer(platform::IdNo); // not only the failure records
        QueueJob(h, format, file, false);
        h.Form().ActionReadReportByAllGoods->trigger();
        ASSERT_EQ(Boxes(h).back(), "Експорт даних завершено!");

        EraseAll(h);
        Boxes(h);
        Load(h, 3, format, file);
        EXPECT_EQ(Boxes(h), std::vector<std::string>{"Запис бази товарів завершений!"});
        Load(h, 4, format, file);
        EXPECT_EQ(Boxes(h), std::vector<std::string>{"Оновлення даних товарної бази завершено!"});
        const std::vector<RegisterRecord> loaded = Table(h);
        ASSERT_EQ(loaded.size(), original.size());
        for (std::size_t i = 0; i < original.size(); ++i) {
            RegisterRecord expected = original[i];
            expected.remainder *= 2;
            expected.counters.clear();
            RegisterRecord got = loaded[i];
            got.counters.clear();
            EXPECT_EQ(Tsv({got}), Tsv({expected}));
        }
    }
}

// An import that ends on a No writes nothing at all to the register.
TEST_F(GoodsLoading, AnEndedImportWritesNothing) {
    ProgramHarness h;
    Start(h);
    const std::string before = Tsv(Table(h));
    std::string file = h.dir.File("range.csv");
    testfiles::Spit(
        file, "1;5;4820000000005;A;1,00;1;1;1;0;0;0;0\r\n5269;6;4820000000006;B;1,00;1;1;1;0;0;0;0\r\n");
    h.ui.QueueAnswer(platform::IdNo);
    Load(h, 3, 2, file);
    std::vector<std::string> boxes = Boxes(h);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Продовжити, ігноруючи всі товари за межами діапазону?"), std::string::npos);
    EXPECT_EQ(Tsv(Table(h)), before);
    EXPECT_TRUE(Shared().ImportedGoods.empty());
    EXPECT_EQ(h.SimulatorLog().find("SetGoodsByNumber"), std::string::npos);
    // The import gave the goods page's bar the register's table size.
    EXPECT_EQ(h.Form().QProgressBar1->Maximum(), 5269);
}

} // namespace

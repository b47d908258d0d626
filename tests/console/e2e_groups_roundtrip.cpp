// Goods-group names from the register to a file and back, through the whole
// program in every format: the export's file, then the register's names
// cleared and the file imported; the names the register holds afterwards are
// read straight from its library and must be the ones exported. Text patterns
// written through their page are read back the same way.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/ui/AnsiText.h"
#include "support_files.h"
#include "support_program.h"
#include "support_readers.h"

namespace {

using testing_console::ProgramHarness;
using Names = std::vector<std::string>; // UTF-8, groups 1..100

// The names as the register's library hands them out, decoded here.
Names RegisterNames(const device::DeviceApi& api) {
    Names names;
    const char* name = nullptr;
    const char* err = nullptr;
    if (api.GetGoodsGroupName(1, &name, &err) != 0) return names;
    names.push_back(platform::Utf8(device::DeviceText(name)));
    for (int i = 2; i <= 100; ++i) {
        char record[21] = {};
        if (api.NextCommand(record, 20, &err) != 0) break;
        names.push_back(platform::Utf8(std::string(record, strnlen(record, 21))));
    }
    return names;
}

std::string GroupsTsv(const Names& names) {
    std::string text = "group\tname\n";
    for (std::size_t i = 0; i < names.size(); ++i) text += std::to_string(i + 1) + "\t" + names[i] + "\n";
    return text;
}

void ChooseFormat(ProgramHarness& h, int format) {
    h.ui.QueueModal([format](QDialog& d) {
        auto& choice = dynamic_cast<exchange::TForm5&>(d);
        choice.SetItemIndex(format);
        choice.Button1->click();
        return choice.result();
    });
    h.ui.QueueModal([](QDialog& d) {
        auto& job = dynamic_cast<exchange::TForm4&>(d);
        job.FormShow();
        job.Timer1Timer();
        return job.result();
    });
}

// Names the register gets before the export: every letter that needs its
// code page, quotes, every delimiter, a full 20 characters, an empty name.
const std::pair<int, const char*> kNames[] = {
    {3, "Їжа та ґрунт Іі"}, {4, "Кава \"Лате\""}, {5, "Вода; газована"}, {6, "12345678901234567890"}, {7, ""},
    {8, "Чай, кава\tсік"},  {9, "\"Сир\""},
};

struct Format {
    int index;
    std::string name;
    const char* extension;
    bool cp866;
    char delimiter = ';';
    bool quotes = true;
};

// Every format, CSV under every delimiter, QUOTES and code page.
std::vector<Format> EveryFormat() {
    std::vector<Format> formats = {
        {0, "xml", "xml", false}, {1, "xls", "xls", false}, {3, "dbf", "dbf", false}};
    const std::pair<char, const char*> delimiters[] = {{';', "semicolon"}, {',', "comma"}, {'\t', "tab"}};
    for (auto [delimiter, word] : delimiters)
        for (bool quotes : {false, true})
            for (bool cp866 : {false, true})
                formats.push_back(
                    {2, std::string("csv_") + word + (quotes ? "_quotes" : "") + (cp866 ? "_cp866" : ""),
                     "csv", cp866, delimiter, quotes});
    return formats;
}

void PrintTo(const Format& format, std::ostream* out) {
    *out << format.name;
}

class GroupsRoundTrip : public testing::TestWithParam<Format> {};

TEST_P(GroupsRoundTrip, TheRegisterGetsBackWhatItGaveAway) {
    const Format& format = GetParam();
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.Connect->trigger();
    h.State().CsvOptions.Cp866 = format.cp866;
    h.State().CsvOptions.Quotes = format.quotes;
    h.State().CsvOptions.Delimiter = format.delimiter;
    for (auto [number, name] : kNames) {
        f.GoodsGroupIndex->setText(QString::number(number));
        f.GoodsGroupName->setText(QString::fromUtf8(name));
        f.ActionWriteNameOfGroup->trigger();
    }
    Names before = RegisterNames(h.State().Api());
    ASSERT_EQ(before.size(), 100u);

    // The names code page 866 cannot hold (as Python's codec judges), which
    // the export names after its success.
    const std::vector<bool> held =
        format.cp866 ? testing_console::Cp866Holds(before) : std::vector<bool>(100, true);
    std::vector<std::pair<int, std::string>> changed;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (!held[i]) changed.emplace_back(static_cast<int>(i + 1), before[i]);
    std::vector<std::string> told = {"Експорт даних завершено!"};
    if (!changed.empty()) told.push_back(testing_console::Cp866ChangesText(changed));

    const std::string file = h.dir.File(std::string("groups.") + format.extension);
    ChooseFormat(h, format.index);
    h.ui.QueueFile(file);
    h.ui.boxes.clear();
    f.ActionExportGroupsOfGoods->trigger();
    ASSERT_TRUE(testfiles::Exists(file));
    std::vector<std::string> boxes;
    for (const auto& box : h.ui.boxes) boxes.push_back(box.Utf8Text());
    EXPECT_EQ(boxes, told);
    std::string suffix = format.name + "." + format.extension;
    testfiles::KeepTestOutput(file, "groups_export_" + suffix);

    // Every name cleared first, then the file's names written.
    ChooseFormat(h, format.index);
    h.ui.QueueFile(file);
    f.CBEraseGoodsGroup->setChecked(true);
    f.ActionImportGroupsOfGoods->trigger();
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "Імпорт даних завершено!");
    EXPECT_EQ(h.ui.PendingReplies(), 0u);
    Names after = RegisterNames(h.State().Api());
    testfiles::KeepTestOutput(file, "groups_import_" + suffix);
    testfiles::Spit(h.dir.File("names.tsv"), GroupsTsv(after));
    testfiles::KeepTestOutput(h.dir.File("names.tsv"), "groups_import_" + format.name + ".tsv");

    // Every name the export did not name comes back unchanged; a named one
    // with the letters CP866 has in place of І і Ґ ґ.
    Names expected = before;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (held[i]) continue;
        for (auto [from, to] : {std::pair{"ґ", "г"}, {"Ґ", "Г"}, {"і", "i"}, {"І", "I"}})
            for (std::size_t at; (at = expected[i].find(from)) != std::string::npos;)
                expected[i].replace(at, strlen(from), to);
    }
    EXPECT_EQ(after, expected);
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, GroupsRoundTrip, testing::ValuesIn(EveryFormat()),
                         [](const testing::TestParamInfo<Format>& info) { return info.param.name; });

TEST(PatternsRoundTrip, PatternsWrittenReadBackAsThePageShowsThem) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.Connect->trigger();
    const struct {
        int number;
        int cursor;
        const char* text;
    } written[] = {{1, 1, "Дякуємо за покупку!"},
                   {2, 28, "1234567890123456789012345678"},
                   {7, 12, "Їжа, ґрунт"},
                   {20, 3, ""}};
    for (const auto& p : written) {
        f.PatternNumber->setText(QString::number(p.number));
        f.CursorPosition->setText(QString::number(p.cursor));
        f.PatternText->setText(QString::fromUtf8(p.text));
        f.ActionWriteTextPattern->trigger();
    }
    std::string tsv = "pattern\tcursor\ttext\n";
    for (int n = 1; n <= 20; ++n) {
        f.PatternNumber->setText(QString::number(n));
        f.ActionReadTextPattern->trigger();
        tsv += std::to_string(n) + "\t" + f.CursorPosition->text().toStdString() + "\t" +
               f.PatternText->text().toStdString() + "\n";
    }
    testfiles::Spit(h.dir.File("patterns.tsv"), tsv);
    testfiles::KeepTestOutput(h.dir.File("patterns.tsv"), "patterns.tsv");
    for (const auto& p : written) {
        std::string line = std::to_string(p.number) + "\t" + std::to_string(p.cursor) + "\t" + p.text + "\n";
        EXPECT_NE(tsv.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(h.ui.boxes.size(), 4u);
}

} // namespace

// From the register to the file: the daily report by goods of a full base
// read from the simulated register and saved as an XML report document,
// checked with xmllint and read back by an independent reader.
#include <gtest/gtest.h>

#include <QAction>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/ui/AnsiText.h"
#include "support_program.h"

namespace {

using testing_console::ProgramHarness;

std::string Shell(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    status = pclose(pipe);
    return out;
}

// Number -> "PLU|Barcode|Name" of every Item, as Python's own XML reader sees them.
std::map<int, std::string> ReadItems(const std::string& path, std::string& root) {
    const char* script = "import sys, xml.etree.ElementTree as ET\n"
                         "t = ET.parse(sys.argv[1]).getroot()\n"
                         "sys.stdout.buffer.write((t.tag + '\\n').encode())\n"
                         "for i in t.iter('Item'):\n"
                         "    a = i.attrib\n"
                         "    line = '|'.join([a['Number'], a['PLU'], a['Barcode'], a['Name']])\n"
                         "    sys.stdout.buffer.write((line + '\\n').encode('utf-8'))\n";
    testfiles::Spit(path + ".py", script);
    int status = 0;
    std::istringstream out(Shell("/usr/bin/python3 " + path + ".py " + path, status));
    EXPECT_EQ(status, 0);
    std::map<int, std::string> items;
    std::getline(out, root);
    for (std::string line; std::getline(out, line);) {
        std::size_t bar = line.find('|');
        items[std::stoi(line.substr(0, bar))] = line.substr(bar + 1);
    }
    return items;
}

TEST(EndToEnd, DailyReportOfAFullBaseSavedAsXml) {
    ProgramHarness h;
    h.WriteScenario("seed-goods 5269\n");
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.Connect->trigger();
    ASSERT_TRUE(f.ActionReadDayReport->isEnabled());

    const std::string file = h.dir.File("day.xml");
    h.ui.QueueModal([](QDialog& d) {
        auto& choice = static_cast<console::TForm5&>(d);
        choice.SetItemIndex(0); // XML
        choice.Button1Click();
        return choice.result();
    });
    h.ui.QueueModal([](QDialog& d) {
        auto& job = static_cast<console::TForm4&>(d);
        job.FormShow();
        job.Timer1Timer(); // the timer's one shot
        return job.result();
    });
    h.ui.QueueFile(file);
    f.ActionReadDayReport->trigger();

    ASSERT_FALSE(h.ui.boxes.empty());
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "Експорт даних завершено!");
    EXPECT_EQ(h.ui.PendingReplies(), 0u);
    ASSERT_TRUE(std::filesystem::exists(file));
    if (const char* out = std::getenv("Q710_TEST_OUT"); out != nullptr && *out != '\0') {
        std::filesystem::create_directories(out);
        std::filesystem::copy_file(file, std::filesystem::path(out) / "day_report_5269.xml",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    int status = 0;
    std::string lint = Shell("xmllint --noout " + file + " 2>&1", status);
    EXPECT_EQ(status, 0) << lint;

    std::string root;
    std::map<int, std::string> items = ReadItems(file, root);
    EXPECT_EQ(root, "REPORT");
    // Goods 0..5268 sold today: every number but those of the form 3k + 2.
    ASSERT_EQ(items.size(), 3513u);
    for (int n = 0; n < 5269; ++n) EXPECT_EQ(items.count(n), n % 3 == 2 ? 0u : 1u) << n;

    // Each item against the register's own record for its codes.
    for (auto& [number, line] : items) {
        if (number % 97 != 0) continue;
        std::istringstream fields(line);
        std::string plu, barcode, name;
        std::getline(fields, plu, '|');
        std::getline(fields, barcode, '|');
        std::getline(fields, name);
        GoodsStruct held;
        const char* err = nullptr;
        ASSERT_EQ(h.State().Api().GetGoodsByCode(std::stoi(plu), std::stoll(barcode), &held, &err), 0)
            << line;
        CompleteLibraryRecord(held);
        EXPECT_EQ(held.number, number);
        EXPECT_EQ(platform::Utf8(std::string(held.Name())), name) << number;
    }
}

} // namespace

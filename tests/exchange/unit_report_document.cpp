// The report document frame: what every export writes, and the checks an
// import makes before it reads items, one failing file per check.
#include <gtest/gtest.h>

#include "exchange/ReportDocument.h"
#include "support_exchange.h"

using namespace exchange_test;
using exchange::ReportFrame;

TEST(ReportDocument, EmptyFrameIsWrittenExactly) {
    platform::XmlDocument document;
    exchange::ReportDocumentWriter writer(document, exchange::GoodsGroupsReport,
                                          {"НОМЕР ГРУПИ", "НАЗВА ТОВАРНОЇ ГРУПИ"});
    EXPECT_EQ(
        document.SaveToString(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<REPORT><HEADER><DEVELOPMENT>ТОВ \"ВЕЛОТА\"</DEVELOPMENT><MODEL>ZRV-Q710</MODEL>"
        "<VERSION>2-01</VERSION><REPORT_ID>{XMLREP1}</REPORT_ID><REPORT_NAME>Товарні групи</REPORT_NAME>"
        "</HEADER><FIELDS_NAME FIELD_1=\"НОМЕР ГРУПИ\" FIELD_2=\"НАЗВА ТОВАРНОЇ "
        "ГРУПИ\"/><DATA/></REPORT>\r\n");
}

namespace {

const char* kHeader = "<HEADER><MODEL>ZRV-Q710</MODEL><REPORT_ID>{XMLREP1}</REPORT_ID></HEADER>";

// Only the verdict: the nodes go with the document.
ReportFrame Check(const std::string& text, std::optional<std::string_view> id = std::nullopt) {
    platform::XmlDocument document;
    document.LoadXml(text);
    return exchange::CheckReportFrame(document, id);
}

} // namespace

TEST(ReportDocument, EachFrameCheckHasItsMessage) {
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {"<OTHER/>", "Не знайдений вузол \"REPORT\"."},
        {"<REPORT/>", "У вузла \"REPORT\" недопустима кількість дочірніх вузлів."},
        {std::string("<REPORT>") + kHeader + "<FIELDS_NAME/></REPORT>",
         "У вузла \"REPORT\" недопустима кількість дочірніх вузлів."},
        {std::string("<REPORT>") + kHeader + "<FIELDS_NAME/><!-- note --><DATA><Item/></DATA></REPORT>",
         "У вузла \"REPORT\" недопустима кількість дочірніх вузлів."},
        {"<REPORT><HEAD/><FIELDS_NAME/><DATA><Item/></DATA></REPORT>",
         "Вузол \"REPORT\" не містить дочірнього вузла \"HEADER\"."},
        {"<REPORT><HEADER>  </HEADER><FIELDS_NAME/><DATA><Item/></DATA></REPORT>",
         "Вузол \"HEADER\" не містить дочірніх вузлів."},
        {std::string("<REPORT>") + kHeader + "<FIELDS_NAME/><DAT><Item/></DAT></REPORT>",
         "Не знайдений вузол \"DATA\"."},
        {std::string("<REPORT>") + kHeader + "<FIELDS_NAME/><DATA>\n  \n</DATA></REPORT>",
         "Вузол \"DATA\" не містить дочірніх елементів."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ReportFrame frame = Check(c.text);
        EXPECT_FALSE(frame.ok);
        EXPECT_EQ(frame.message, c.message);
    }
}

TEST(ReportDocument, IdentifierIsCheckedOnlyWhenAsked) {
    std::string noId = "<REPORT><HEADER><MODEL>x</MODEL></HEADER><FIELDS_NAME/><DATA><Item/></DATA></REPORT>";
    EXPECT_TRUE(Check(noId).ok);
    EXPECT_EQ(Check(noId, "{XMLREP1}").message, "Не знайдений ідентифікатор звіту!");
    std::string other = std::string("<REPORT>") + kHeader + "<FIELDS_NAME/><DATA><Item/></DATA></REPORT>";
    EXPECT_EQ(Check(other, "{XMLREP2}").message, "Не знайдений ідентифікатор звіту!");
    EXPECT_TRUE(Check(other, "{XMLREP1}").ok);
}

TEST(ReportDocument, IndentedFileWithAnyMiddleChildIsAccepted) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<REPORT>\n  " + std::string(kHeader) +
        "\n  <SOMETHING/>\n  <DATA>\n    <Item Id=\"1\"/>\n    <!-- c -->\n  </DATA>\n</REPORT>\n";
    platform::XmlDocument document;
    ASSERT_TRUE(document.LoadXml(text));
    ReportFrame frame = exchange::CheckReportFrame(document, "{XMLREP1}");
    ASSERT_TRUE(frame.ok) << frame.message;
    ASSERT_EQ(frame.data.ChildCount(), 2u);
    EXPECT_EQ(exchange::CheckReportItem(frame.data.Child(0)), "");
    EXPECT_EQ(exchange::CheckReportItem(frame.data.Child(1)), "Не знайдений елемент \"Item\".");
    EXPECT_EQ(exchange::MissingAttributeMessage("Id"), "Не знайдений атрибут \"Id\".");
}

// A file that does not parse is told in our sentence naming the file and
// the line, the parser's own reason after it; a file that cannot be read by
// the reason it cannot.
TEST(ReportDocument, BrokenOrMissingFileIsToldWithTheFileAndTheLine) {
    ScratchDir dir;
    std::string deep = "<REPORT>\n";
    for (int i = 0; i < 300; ++i) deep += "<a>";
    const struct {
        const char* name;
        std::string text;
        std::string reason; // the parser's, or ours for what we refuse
        int line;
    } cases[] = {
        {"broken.xml", "<REPORT><HEADER></REPORT>", "Premature end of data in tag REPORT line 1", 1},
        {"open.xml", "<REPORT>\n<Item a=\"1\"/ ></REPORT>", "Couldn't find end of Start Tag Item line 2", 2},
        {"deep.xml", deep, "Excessive depth in document: 256 use XML_PARSE_HUGE option", 2},
        {"entity.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY a \"b\">]>\n<r/>",
         "Оголошення сутностей у документі не допускаються", 2},
        {"empty.xml", "", "Document is empty", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.File(c.name);
        WriteFile(path, c.text);
        platform::XmlDocument document;
        ReportFrame frame = exchange::OpenReportDocument(document, path);
        EXPECT_FALSE(frame.ok);
        EXPECT_EQ(document.ParseErrorLine(), c.line);
        EXPECT_EQ(frame.message, "Помилка структури XML-файлу " + path + " (рядок " + std::to_string(c.line) +
                                     "):\r\n" + c.reason);
    }

    platform::XmlDocument document;
    ReportFrame frame = exchange::OpenReportDocument(document, dir.File("none.xml"));
    EXPECT_FALSE(frame.ok);
    EXPECT_EQ(frame.message.rfind("Не вдається відкрити файл " + dir.File("none.xml"), 0), 0u)
        << frame.message;
}

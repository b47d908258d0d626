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
    EXPECT_EQ(document.SaveToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
              "<REPORT><HEADER><DEVELOPMENT>ТОВ \"ВЕЛОТА\"</DEVELOPMENT><MODEL>ZRV-Q710</MODEL>"
              "<VERSION>2-01</VERSION><REPORT_ID>{XMLREP1}</REPORT_ID><REPORT_NAME>Товарні групи</REPORT_NAME>"
              "</HEADER><FIELDS_NAME FIELD_1=\"НОМЕР ГРУПИ\" FIELD_2=\"НАЗВА ТОВАРНОЇ ГРУПИ\"/><DATA/></REPORT>\r\n");
}

TEST(ReportDocument, ItemsGoToDataInOrderAndAnotherMakerCanBeNamed) {
    platform::XmlDocument document;
    exchange::ReportDocumentWriter writer(document, exchange::PeriodicGoodsReportId, {"A"},
                                          exchange::PeriodicReportDevelopment);
    writer.AddItem().SetAttributeInt("Id", 1);
    writer.AddItem().SetAttributeInt("Id", 2);
    ScratchDir dir;
    std::string path = dir.File("r.xml");
    document.Save(path);
    EXPECT_TRUE(XmllintAccepts(path));
    EXPECT_EQ(PythonXmlOutline(path), (std::vector<std::string>{
                                          "REPORT",
                                          "REPORT/HEADER",
                                          "REPORT/HEADER/DEVELOPMENT=ЗАТ \"ВЕЛОТА\"",
                                          "REPORT/HEADER/MODEL=ZRV-Q710",
                                          "REPORT/HEADER/VERSION=2-01",
                                          "REPORT/HEADER/REPORT_ID={XMLREP5}",
                                          "REPORT/HEADER/REPORT_NAME=Періодичний звіт по товарам",
                                          "REPORT/FIELDS_NAME",
                                          "REPORT/FIELDS_NAME@FIELD_1=A",
                                          "REPORT/DATA",
                                          "REPORT/DATA/Item",
                                          "REPORT/DATA/Item@Id=1",
                                          "REPORT/DATA/Item",
                                          "REPORT/DATA/Item@Id=2",
                                      }));
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
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<REPORT>\n  " + std::string(kHeader) +
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

TEST(ReportDocument, BrokenOrMissingFileGivesTheParsersReason) {
    ScratchDir dir;
    std::string path = dir.File("broken.xml");
    WriteFile(path, "<REPORT><HEADER></REPORT>");
    platform::XmlDocument document;
    ReportFrame frame = exchange::OpenReportDocument(document, path);
    EXPECT_FALSE(frame.ok);
    EXPECT_FALSE(frame.message.empty());
    EXPECT_EQ(frame.message, document.ParseError());

    frame = exchange::OpenReportDocument(document, dir.File("none.xml"));
    EXPECT_FALSE(frame.ok);
    EXPECT_FALSE(frame.message.empty());
}

TEST(ReportDocument, WindowsCodePageFileIsRead) {
    ScratchDir dir;
    std::string path = dir.File("cp1251.xml");
    WriteFile(path, "<?xml version=\"1.0\" encoding=\"windows-1251\"?><REPORT><HEADER><REPORT_ID>{XMLREP1}"
                    "</REPORT_ID></HEADER><FIELDS_NAME/><DATA><Item Name=\"\xB2\xB3\"/></DATA></REPORT>");
    platform::XmlDocument document;
    ReportFrame frame = exchange::OpenReportDocument(document, path, "{XMLREP1}");
    ASSERT_TRUE(frame.ok) << frame.message;
    EXPECT_EQ(frame.data.Child(0).Attribute("Name"), "Іі");
}

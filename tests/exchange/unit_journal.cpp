// The journal stream walked document by document and record by record, the
// journal and Z report documents against golden files under two regional
// profiles, and the converters' save and failure paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "exchange/JournalStream.h"
#include "exchange/JournalXml.h"
#include "platform/CodePages.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"
#include "support_journal.h"

using namespace exchange_test;
using namespace journal_test;

namespace {

std::vector<exchange::JournalDocument> Walk(const Bytes& stream) {
    std::vector<exchange::JournalDocument> docs;
    exchange::WalkJournal(stream, [&docs](const exchange::JournalDocument& d) { docs.push_back(d); });
    return docs;
}

// Record types of a receipt, in order.
std::vector<std::size_t> Kinds(const exchange::JournalDocument& doc) {
    std::vector<std::size_t> kinds;
    for (const auto& r : doc.records) kinds.push_back(r.index());
    return kinds;
}

template <class T> const T& Only(const exchange::JournalDocument& doc) {
    EXPECT_EQ(doc.records.size(), 1u);
    return std::get<T>(doc.records.at(0));
}

Bytes Receipt(std::initializer_list<Bytes> records, uint8_t type = 0) {
    Bytes body;
    for (const Bytes& r : records) body.insert(body.end(), r.begin(), r.end());
    return Document(type, 1, 0, body);
}

TEST(JournalStream, DocumentsAndRecordsAsTheLayoutsSay) {
    EXPECT_TRUE(Walk({0xFF, 0xFF, 0, 0, 0}).empty());
    EXPECT_TRUE(Walk({0x05}).empty());
    EXPECT_TRUE(Walk({5, 0, 0, 1}).empty()) << "a header cut short ends the walk";

    auto docs = Walk(Stream({Document(9, 3, 60, Out().U32(1).bytes), Document(4, 1, 0, {1})}));
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(exchange::JournalDocumentTypeName(docs[0].type), nullptr);
    EXPECT_TRUE(docs[0].records.empty());
    EXPECT_FALSE(docs[1].cash) << "a cash body too short for its fields";

    const Bytes discount14 = Record(2, Out().U8(0).U8(1).U16(0).U32(5).U32(1).bytes);
    const Bytes discount18 = Record(2, Out().U8(0).U8(1).U16(0).U32(5).U32(1).U32(77).bytes);
    const Bytes discount22 = Record(2, Out().U8(0).U8(1).U16(0).U32(5).U32(1).U64(4821).bytes);
    docs = Walk(Stream({Receipt({discount14, discount18, discount22})}));
    EXPECT_FALSE(std::get<exchange::JournalDiscount>(docs[0].records[0]).id);
    EXPECT_FALSE(std::get<exchange::JournalDiscount>(docs[0].records[1]).id) << "an id needs 22 bytes";
    EXPECT_EQ(std::get<exchange::JournalDiscount>(docs[0].records[2]).id, 4821u);

    const Bytes vat2 = Record(3, Out().U32(9).U8(2).U8(3).U16(2000).U32(1).U16(700).U32(2).bytes);
    const Bytes vat1 = Record(3, Out()
                                     .U32(9)
                                     .U8(1)
                                     .U8(3)
                                     .U16(2000)
                                     .U32(1)
                                     .U16(700)
                                     .U32(2)
                                     .U16(5)
                                     .U32(3)
                                     .U16(6)
                                     .U32(4)
                                     .Text("A")
                                     .Text("B")
                                     .bytes);
    docs = Walk(Stream({Receipt({vat2}), Receipt({vat1})}));
    const auto& t2 = Only<exchange::JournalTotal>(docs[0]);
    EXPECT_EQ(t2.vat.size(), 2u);
    EXPECT_TRUE(t2.tax.empty() && t2.names.empty());
    const auto& t1 = Only<exchange::JournalTotal>(docs[1]);
    EXPECT_EQ(t1.tax.size(), 2u);
    ASSERT_EQ(t1.names.size(), 2u);
    EXPECT_EQ(t1.names[1], (std::pair<int, std::string>{2, "B"}));

    docs = Walk(Stream({Receipt({Record(4, Out().U8(3).U32(7).bytes)}),
                        Receipt({Record(1, Out().Raw({3, 6, 40, 2, 13}).Text("x").bytes)})}));
    EXPECT_EQ(Only<exchange::JournalPayment>(docs[0]).form, 3);
    const auto& comment = Only<exchange::JournalComment>(docs[1]);
    ASSERT_EQ(comment.attributes.size(), 2u);
    EXPECT_EQ(comment.attributes[1].parameters, (std::array<uint8_t, 3>{40, 2, 13}));
    EXPECT_EQ(comment.text, "x");

    // Service information: the count given, as far as whole items reach.
    Bytes two = Out().U8(1).U8(2).U64(9).U64(1).U32(2).U32(3).U64(4).U32(5).U32(6).bytes;
    Bytes claimsFive = two;
    claimsFive[1] = 5;
    docs = Walk(Stream({Document(16, 1, 0, two), Document(17, 1, 0, claimsFive)}));
    EXPECT_EQ(docs[0].items.size(), 2u);
    EXPECT_EQ(docs[1].items.size(), 2u);
    // Package lists: whole 12-byte entries only.
    docs = Walk(Stream({Document(6, 1, 0, Bytes(30, 1))}));
    EXPECT_EQ(docs[0].packages.size(), 2u);
}

TEST(JournalStream, DamagedStreamsAreReadNoFurtherThanTheyReach) {
    const Bytes item = Record(0, Out().U8(0).U64(5).U32(1).U32(2).U32(3).U8(0).Text("").Text("Tea").bytes);
    const Bytes close = Record(5, Out().U8(1).Text("K").bytes);
    struct Case {
        const char* what;
        Bytes stream;
        std::vector<std::vector<std::size_t>> kinds; // record kinds of each document
    };
    Bytes pastEnd = Document(0, 1, 0, item);
    pastEnd[0] = 0xF0;
    pastEnd[1] = 0x7F;
    Bytes truncated = Stream({Receipt({item, close})}, false);
    truncated.resize(truncated.size() - 2);
    Bytes unterminated = Record(5, Out().U8(1).bytes);
    unterminated.insert(unterminated.end(), {'A', 'B'});
    unterminated[0] = 5;
    const Case cases[] = {
        {"a body past the end", pastEnd, {{0}}},
        {"record length 0 ends its body",
         Stream({Receipt({Bytes{0, 0, 9}, item}), Receipt({close})}),
         {{}, {5}}},
        {"record length 1 ends its body", Stream({Receipt({Bytes{1, 0}, item})}), {{}}},
        {"a record past its body", Stream({Receipt({Bytes{200, 5, 1, 'K', 0}})}), {{5}}},
        {"an item too short for its fields", Stream({Receipt({Record(0, Bytes(10, 1)), close})}), {{5}}},
        {"a document cut by the end", truncated, {{0, 5}}},
        {"a text without its zero", Stream({Receipt({unterminated})}), {{5}}},
        {"zero filling without an end mark", Bytes(20, 0), {{}, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto docs = Walk(c.stream);
        ASSERT_EQ(docs.size(), c.kinds.size());
        for (std::size_t i = 0; i < docs.size(); ++i) EXPECT_EQ(Kinds(docs[i]), c.kinds[i]);
    }
    EXPECT_EQ(std::get<exchange::JournalClose>(Walk(cases[5].stream)[0].records[1]).cashierName, "")
        << "cut before its name";
    EXPECT_EQ(std::get<exchange::JournalClose>(Walk(cases[6].stream)[0].records[0]).cashierName, "AB");
}

// A profile with another date and time order beside the Ukrainian one.
platform::RegionalSettings UsProfile() {
    platform::RegionalSettings rs = DotProfile();
    rs.shortDateFormat = "MM/dd/yyyy";
    rs.dateSeparator = '/';
    rs.longTimeFormat = "hh:mm:ss tt";
    rs.timeAm = "AM";
    rs.timePm = "PM";
    return rs;
}

// The document as saved, compared with its golden file (Q710_UPDATE_GOLDEN
// writes the golden files instead).
void ExpectGolden(const std::string& text, const std::string& name) {
    const std::string golden = std::string(std::getenv("Q710_SOURCE_DIR")) + "/tests/exchange/golden/" + name;
    if (std::getenv("Q710_UPDATE_GOLDEN") != nullptr) WriteFile(golden, text);
    EXPECT_EQ(text, ReadFile(golden)) << name;
}

TEST(JournalXml, EveryDocumentAndRecordTypeAsTheGoldenFilesHoldThem) {
    const Q710JournalParams params{413, 2, 0, 0};
    for (auto [profile, suffix] : {std::pair{UkrainianProfile(), "uk"}, std::pair{UsProfile(), "us"}}) {
        RegionalProfile regional(profile);
        ExpectGolden(exchange::JournalXmlText(params, EveryKindStream()),
                     std::string("journal_") + suffix + ".xml");
        std::string z;
        EXPECT_TRUE(exchange::ZReportXmlText(0x10000 + 412, ZBuffer("FN12345678", "PN1234567890"), z));
        ExpectGolden(z, std::string("zreport_") + suffix + ".xml");
    }
    // The same bytes seed the fuzz targets.
    if (std::getenv("Q710_UPDATE_GOLDEN") != nullptr) {
        const std::string corpus = std::string(std::getenv("Q710_SOURCE_DIR")) + "/fuzz/corpus/";
        const Bytes stream = EveryKindStream(), z = ZBuffer("FN12345678", "PN1234567890");
        WriteFile(corpus + "journal_stream/every_kind.bin", std::string(stream.begin(), stream.end()));
        WriteFile(corpus + "zreport/valid.bin", std::string(z.begin(), z.end()));
    }
    // An empty stream or one that begins with the end mark: the frame alone.
    for (const Bytes& nothing : {Bytes{}, Bytes{0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}})
        EXPECT_NE(exchange::JournalXmlText(params, nothing).find("<DATA/>"), std::string::npos);
}

// The text writer and the document service give the same text for the same
// content, whatever characters the values hold.
TEST(JournalXml, TextWriterWritesWhatTheDocumentServiceSaves) {
    const std::string values[] = {"",
                                  "plain",
                                  "a<b>&\"c'",
                                  "tab\there",
                                  "line\r\nbreak\n",
                                  "\x01\x1f\x7f",
                                  "Хліб \xEF\xBF\xBE",
                                  std::string("bad \xC3 utf8"),
                                  "emoji \xF0\x9F\x98\x80"};
    exchange::XmlTextWriter w;
    platform::XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<MAIN/>"));
    doc.Node().InsertBefore(doc.CreateProcessingInstruction("xml", "version=\"1.0\" standalone=\"yes\""),
                            doc.DocumentElement());
    w.Start("MAIN");
    for (const std::string& v : values) {
        w.Start("E");
        w.Attribute("a", v);
        w.Attribute("b", v + "x");
        w.Attribute("a", v + "y"); // a name given twice
        w.End();
        w.TextElement("T", v);
        platform::XmlNode e = doc.DocumentElement().AppendChild(doc.CreateElement("E"));
        e.SetAttribute("a", v);
        e.SetAttribute("b", v + "x");
        e.SetAttribute("a", v + "y");
        platform::XmlNode t = doc.DocumentElement().AppendChild(doc.CreateElement("T"));
        if (!v.empty()) t.AppendChild(doc.CreateTextNode(v));
    }
    EXPECT_EQ(w.Finish(), doc.SaveToString());
}

TEST(ZReportXml, IdentitiesMoveTheFieldsAndAnythingElseIsNoZReport) {
    RegionalProfile regional(UkrainianProfile());
    // FN and PN of every length that fits put RefundReceipts at 11 + FN + PN + 127.
    for (std::size_t fn = 0; fn <= 38; fn += 3) {
        const std::size_t pn = 38 - fn - (fn % 2);
        SCOPED_TRACE(std::to_string(fn) + "+" + std::to_string(pn));
        std::string text;
        ASSERT_TRUE(exchange::ZReportXmlText(1, ZBuffer(std::string(fn, 'F'), std::string(pn, 'P')), text));
        EXPECT_NE(text.find("FN=\"" + std::string(fn, 'F') + "\""), std::string::npos);
        EXPECT_NE(text.find("RefundReceipts=\"65535\""), std::string::npos);
        EXPECT_NE(text.find("SaleTotalSum5=\"5000,00\""), std::string::npos);
    }
    const struct {
        const char* what;
        Bytes buffer;
    } refused[] = {
        {"FN and PN of 39", ZBuffer(std::string(20, 'F'), std::string(19, 'P'))},
        {"body length", ZBuffer("F", "P", 164)},
        {"type", ZBuffer("F", "P", 165, 9)},
        {"177 bytes",
         [] {
             Bytes b = ZBuffer("F", "P");
             b.pop_back();
             return b;
         }()},
        {"FN without its zero",
         [] {
             Bytes b = ZBuffer("F", "P");
             std::fill(b.begin() + 9, b.end(), 'F');
             return b;
         }()},
    };
    for (const auto& c : refused) {
        std::string z;
        EXPECT_FALSE(exchange::ZReportXmlText(7, c.buffer, z)) << c.what;
        EXPECT_NE(z.find("<SMENA_ID>7</SMENA_ID>"), std::string::npos) << c.what;
    }
}

TEST(JournalConverters, SaveCancelAndFailurePaths) {
    ScratchDir dir;
    Job job;
    const Q710JournalParams params{413, 1, 0, 0};
    {
        platform::ScriptedUi ui;
        ui.QueueFile(std::nullopt);
        job.state.MakeMetod.Done = 0;
        exchange::ConvertJournalToXml(job.state, job.side(), params, EveryKindStream());
        EXPECT_EQ(job.state.MakeMetod.Done, 1) << "a cancelled dialog is done too";
        ASSERT_EQ(ui.fileDialogs.size(), 1u);
        EXPECT_EQ(ui.fileDialogs[0].request.filter, "XML Document (*.xml)|*.xml");
        EXPECT_EQ(ui.fileDialogs[0].request.defaultExt, "xml");
    }
    {
        // A Z report that is none: told in a 0x10 box, no dialog, Done as it was.
        platform::ScriptedUi ui;
        job.state.MakeMetod.Done = 0;
        exchange::ConvertZReportToXml(job.state, job.side(), 1, ZBuffer("F", "P", 165, 11));
        EXPECT_EQ(job.state.MakeMetod.Done, 0);
        EXPECT_TRUE(ui.fileDialogs.empty());
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].Utf8Text(), "Виникла помика при обробці даних денного Z-звіту!");
        EXPECT_EQ(ui.boxes[0].style, 0x10u);
    }
    {
        // A folder in the file's place: the save fails, nothing half-written stays.
        platform::ScriptedUi ui;
        const std::string target = dir.File("taken.xml");
        std::filesystem::create_directory(target);
        ui.QueueFile(target);
        EXPECT_THROW(exchange::ConvertJournalToXml(job.state, job.side(), params, EveryKindStream()),
                     std::exception);
        EXPECT_TRUE(std::filesystem::is_directory(target));
        EXPECT_EQ(testfiles::CountEntries(dir.Path()), 1);
    }
}

} // namespace

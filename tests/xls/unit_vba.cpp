#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/VBACompression.h"
#include "SrcXLS/formats/VBAProject.h"
#include "platform/compound/CompoundFile.h"

#include "support_messages.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace xls;
using Bytes = std::vector<uint8_t>;
using platform::cfb::Element;
using platform::cfb::ElementType;

namespace {

Bytes Of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// The compressed chunks of a container: their headers in order.
std::vector<uint16_t> ChunkHeaders(const Bytes& container) {
    std::vector<uint16_t> headers;
    for (size_t pos = 1; pos + 2 <= container.size();) {
        uint16_t h = GetU16(container.data() + pos);
        headers.push_back(h);
        pos += (h & 0x0FFF) + 3;
    }
    return headers;
}

Bytes RandomBytes(size_t n, uint32_t seed, int alphabet) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b) c = uint8_t(rng() % unsigned(alphabet));
    return b;
}

} // namespace

// The examples of the published format description decompress to their texts.
TEST(VBACompression, PublishedExamples) {
    struct Case {
        Bytes compressed;
        std::string text;
    } cases[] = {
        {{0x01, 0x19, 0xB0, 0x00, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x00, 0x69, 0x6A,
          0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x00, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x2E},
         "abcdefghijklmnopqrstuv."},
        {{0x01, 0x2F, 0xB0, 0x00, 0x23, 0x61, 0x61, 0x61, 0x62, 0x63, 0x64, 0x65, 0x82,
          0x66, 0x00, 0x70, 0x61, 0x67, 0x68, 0x69, 0x6A, 0x01, 0x38, 0x08, 0x61, 0x6B,
          0x6C, 0x00, 0x30, 0x6D, 0x6E, 0x6F, 0x70, 0x06, 0x71, 0x02, 0x70, 0x04, 0x10,
          0x72, 0x73, 0x74, 0x75, 0x76, 0x10, 0x77, 0x78, 0x79, 0x7A, 0x00, 0x3C},
         "#aaabcdefaaaaghijaaaaaklaaamnopqaaaaaaaaaaaarstuvwxyzaaa"},
        {{0x01, 0x03, 0xB0, 0x02, 0x61, 0x45, 0x00}, std::string(73, 'a')},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(VBADecompress(c.compressed)), c.text);
        EXPECT_EQ(Text(VBADecompress(VBACompress(Of(c.text)))), c.text);
    }
    // Without a repeat the tokens are literals, as in the first example.
    EXPECT_EQ(VBACompress(Of(cases[0].text)), cases[0].compressed);
}

TEST(VBACompression, RoundTripsAndChunking) {
    const std::string line =
        "Attribute VB_Name = \"Module1\"\r\nSub Total()\r\n    Range(\"A1\").Value = 1\r\nEnd Sub\r\n";
    std::string source;
    while (source.size() < 10000) source += line;
    source.resize(10000);
    struct Case {
        const char* what;
        Bytes data;
        size_t chunks;
    } cases[] = {
        {"empty", {}, 0},
        {"one byte", {0x41}, 1},
        {"source of 10000 bytes", Of(source), 3},
        {"4096 equal bytes", Bytes(4096, 7), 1},
        {"4097 equal bytes", Bytes(4097, 7), 2},
        {"small alphabet", RandomBytes(20000, 1, 3), 5},
        {"random 8192", RandomBytes(8192, 2, 256), 2},
    };
    for (bool best : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (best ? " best" : " first"));
            const Bytes packed = VBACompress(c.data, best);
            ASSERT_EQ(packed.at(0), 1);
            auto headers = ChunkHeaders(packed);
            EXPECT_EQ(headers.size(), c.chunks);
            for (uint16_t h : headers) EXPECT_EQ((h >> 12) & 7, 3);
            EXPECT_EQ(VBADecompress(packed), c.data);
        }
    }
    // Incompressible chunks are stored raw; a raw chunk always holds 4096
    // bytes, so a short last one comes back followed by zeros.
    const Bytes noise = RandomBytes(4096 + 4000, 3, 256);
    const Bytes packed = VBACompress(noise);
    EXPECT_EQ(ChunkHeaders(packed), (std::vector<uint16_t>{0x3FFF, 0x3FFF}));
    Bytes back = VBADecompress(packed);
    ASSERT_EQ(back.size(), 8192u);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + long(noise.size())), noise);
    EXPECT_EQ(Bytes(back.begin() + long(noise.size()), back.end()), Bytes(96, 0));
}

TEST(VBACompression, ARunIsALiteralAndOneCappedCopy) {
    // At the second byte a copy token has 12 length bits: 299 bytes fit one.
    EXPECT_EQ(VBACompress(Bytes(300, 'a')), (Bytes{0x01, 0x03, 0xB0, 0x02, 'a', 0x28, 0x01}));
    // After 21 bytes a copy token has 11 length bits: a run is cut into
    // copies of 2047 bytes (not the 2050 the format allows), then of 15.
    Bytes run = Of("ABCDEFGHIJKLMNOPQRST");
    run.resize(run.size() + 2100, 'a');
    const Bytes packed = VBACompress(run);
    EXPECT_EQ(packed.size(), 1u + 2 + 4 + 21 + 2 * 5); // flag bytes, literals, copies 2047 15 15 15 7
    EXPECT_EQ(VBADecompress(packed), run);
}

TEST(VBACompression, MalformedContainersAreRefused) {
    struct Case {
        const char* what;
        Bytes data;
    } cases[] = {
        {"empty", {}},
        {"no signature", {0x02, 0x03, 0xB0, 0x00, 'a'}},
        {"header cut short", {0x01, 0x03}},
        {"chunk signature", {0x01, 0x03, 0x80, 0x00, 'a'}},
        {"copy before its chunk", {0x01, 0x03, 0xB0, 0x01, 0x00, 0x00}},
        {"copy past the first byte", {0x01, 0x04, 0xB0, 0x02, 'a', 0x00, 0x10}},
        {"copy token cut short", {0x01, 0x02, 0xB0, 0x02, 'a', 0x00}},
        {"chunk beyond 4096", {0x01, 0x05, 0xB0, 0x06, 'a', 0xFF, 0x0F, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NE(MessageOf([&] { VBADecompress(c.data); }).find("Bad compressed VBA data"),
                  std::string::npos);
    }
    // A chunk that claims more than the data holds ends with the data.
    EXPECT_EQ(Text(VBADecompress(Bytes{0x01, 0x40, 0xB0, 0x00, 'a', 'b'})), "ab");
}

namespace {

// A project made here and written anew, as a storage of its own.
std::unique_ptr<Element> BuiltProject(TXLSVBA& vba) {
    TVBAModuleSource& doc = vba.AddModule(u"ThisWorkbook", TVBAModuleKind::Document);
    doc.Attributes.Add(u"Attribute VB_Name = \"ThisWorkbook\"");
    doc.Attributes.Add(u"Attribute VB_Base = \"0{00020819-0000-0000-C000-000000000046}\"");
    TVBAModuleSource& mod = vba.AddModule(u"Module1", TVBAModuleKind::Procedural);
    mod.Attributes.Add(u"Attribute VB_Name = \"Module1\"");
    for (int i = 0; i < 300; ++i) mod.Code.Add(u"' line " + std::u16string(size_t(i % 40), u'x'));
    mod.Code.Add(u"Sub Total()");
    mod.Code.Add(u"End Sub");
    vba.Rebuild = true;
    auto storage = std::make_unique<Element>(ElementType::Storage, u"_VBA_PROJECT_CUR");
    vba.Write(*storage);
    return storage;
}

std::u16string Lines(const TXLSWideStringList& list) {
    return list.GetText();
}

} // namespace

TEST(VBAProject, AProjectWrittenAnewReadsBack) {
    TXLSVBA made;
    auto storage = BuiltProject(made);
    const Element* vbaStorage = storage->Find(u"VBA");
    ASSERT_NE(vbaStorage, nullptr);
    for (const char16_t* name : {u"dir", u"ThisWorkbook", u"Module1", u"_VBA_PROJECT"})
        EXPECT_NE(vbaStorage->Find(name), nullptr) << std::string(name, name + 3);
    const Bytes& cache = vbaStorage->Find(u"_VBA_PROJECT")->Data;
    ASSERT_EQ(cache.size(), 824u);
    EXPECT_EQ(Bytes(cache.begin(), cache.begin() + 8),
              (Bytes{0xCC, 0x61, 0xA0, 0x00, 0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Text(storage->Find(u"PROJECT")->Data),
              "ID=\"{921117CD-5376-4972-9C98-4AA04F3488F7}\"\r\nDocument=ThisWorkbook/&H00000000\r\n"
              "Module=Module1\r\nName=\"VBAProject\"\r\nHelpContextID=\"0\"\r\n"
              "VersionCompatible32=\"393222000\"\r\n");
    Bytes wm = Of(std::string("ThisWorkbook") + '\0');
    for (char c : std::string("ThisWorkbook")) wm.insert(wm.end(), {uint8_t(c), 0});
    wm.insert(wm.end(), {0, 0});
    for (char c : std::string("Module1")) wm.push_back(uint8_t(c));
    wm.push_back(0);
    for (char c : std::string("Module1")) wm.insert(wm.end(), {uint8_t(c), 0});
    wm.insert(wm.end(), {0, 0, 0, 0});
    EXPECT_EQ(storage->Find(u"PROJECTwm")->Data, wm);
    // Module streams: 16 bytes, then the compressed source.
    const Bytes& module = vbaStorage->Find(u"Module1")->Data;
    EXPECT_EQ(Bytes(module.begin(), module.begin() + 16), Bytes(16, 0));

    TXLSVBA read;
    read.Read(*storage);
    EXPECT_TRUE(read.Loaded);
    EXPECT_EQ(read.Project.Name, u"VBAProject");
    ASSERT_EQ(read.ModuleCount(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read.Module(i).Name, made.Module(i).Name);
        EXPECT_EQ(read.Module(i).Kind, made.Module(i).Kind);
        EXPECT_EQ(read.Module(i).Offset, 16u);
        EXPECT_EQ(Lines(read.Module(i).Attributes), Lines(made.Module(i).Attributes));
        EXPECT_EQ(Lines(read.Module(i).Code), Lines(made.Module(i).Code));
    }
    // Written as read: the same storage again.
    auto again = std::make_unique<Element>(ElementType::Storage, u"_VBA_PROJECT_CUR");
    read.Write(*again);
    EXPECT_EQ(again->Find(u"VBA")->Find(u"Module1")->Data, module);
    EXPECT_EQ(again->Find(u"PROJECTwm")->Data, wm);
}

TEST(VBAProject, ASourceLosesWhatFollowsItsLastLineFeedAndTheStreamNameComesFromTheDir) {
    TXLSVBA made;
    auto storage = BuiltProject(made);
    // The second module's source goes to a stream of another name; its dir
    // records, made anew, say so.
    TXLSVBA renamed;
    renamed.Read(*storage);
    renamed.Module(1).StreamName = u"Strm1";
    renamed.Module(1).Records.Clear();
    renamed.Rebuild = true;
    auto rewritten = std::make_unique<Element>(ElementType::Storage, u"_VBA_PROJECT_CUR");
    renamed.Write(*rewritten);
    Element* vba = rewritten->FindStorage(u"VBA");
    ASSERT_NE(vba->Find(u"Strm1"), nullptr);
    EXPECT_EQ(vba->Find(u"Module1"), nullptr);
    Bytes source(16, 0);
    const Bytes packed =
        VBACompress(Of("Attribute VB_Name = \"Module1\"\r\nSub A()\r\nEnd Sub\r\n' no line feed"));
    source.insert(source.end(), packed.begin(), packed.end());
    vba->AddStream(u"Strm1", source);

    TXLSVBA read;
    read.Read(*rewritten);
    ASSERT_EQ(read.ModuleCount(), 2);
    EXPECT_EQ(read.Module(1).Name, u"Module1");
    EXPECT_EQ(read.Module(1).StreamName, u"Strm1");
    EXPECT_EQ(Lines(read.Module(1).Attributes), u"Attribute VB_Name = \"Module1\"\r\n");
    EXPECT_EQ(Lines(read.Module(1).Code), u"Sub A()\r\nEnd Sub\r\n");
}

TEST(VBAProject, MalformedProjectsAreRefusedWithAClearMessage) {
    TXLSVBA made;
    const auto good = BuiltProject(made);
    auto withDir = [&](const Bytes& dir) {
        auto s = good->Clone();
        s->FindStorage(u"VBA")->AddStream(u"dir", VBACompress(dir));
        return s;
    };
    const Bytes dir = VBADecompress(good->Find(u"VBA")->Find(u"dir")->Data);
    // Offsets of the records of the generated dir: the module count record
    // and the first module's offset record.
    auto find = [&](uint16_t id) {
        for (size_t p = 0; p + 6 <= dir.size();) {
            uint16_t rid = GetU16(dir.data() + p);
            if (rid == id) return p;
            p += 6 + GetU32(dir.data() + p + 2) + (rid == vbadir::PROJECTVERSION ? 2 : 0);
        }
        return size_t(0);
    };
    Bytes sizeLies = dir;
    PutU32(sizeLies.data() + find(vbadir::PROJECTNAME) + 2, 100000);
    Bytes noEnd(dir.begin(), dir.end() - 6);
    Bytes moreModules = dir;
    PutU16(moreModules.data() + find(vbadir::PROJECTMODULES) + 6, 3);
    Bytes offsetPast = dir;
    PutU32(offsetPast.data() + find(vbadir::MODULEOFFSET) + 6, 1000000);
    Bytes cut(dir.begin(), dir.begin() + 3);
    struct Case {
        const char* what;
        std::unique_ptr<Element> storage;
        std::string message;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"a size that lies", withDir(sizeLies), "Bad VBA dir stream: a record runs past its end"});
    cases.push_back({"no end record", withDir(noEnd), "EOF missing in VBA dir stream"});
    cases.push_back(
        {"more modules than there are", withDir(moreModules), "Bad VBA dir stream: fewer modules"});
    cases.push_back(
        {"a source past its stream", withDir(offsetPast), "Bad VBA module: its source starts past"});
    cases.push_back({"a header cut short", withDir(cut), "Bad VBA dir stream: a record header cut short"});
    {
        auto s = good->Clone();
        s->FindStorage(u"VBA")->Remove(u"Module1");
        cases.push_back({"a module stream missing", std::move(s), "VBA module stream missing: Module1"});
    }
    {
        auto s = good->Clone();
        s->FindStorage(u"VBA")->Remove(u"dir");
        cases.push_back({"no dir", std::move(s), "The macro project has no dir stream"});
    }
    {
        auto s = good->Clone();
        s->FindStorage(u"VBA")->AddStream(u"dir", {0x01, 0x03, 0xB0, 0x01, 0x00, 0x00});
        cases.push_back({"a copy before its chunk", std::move(s), "Bad compressed VBA data"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TXLSVBA vba;
        EXPECT_NE(MessageOf([&] { vba.Read(*c.storage); }).find(c.message), std::string::npos)
            << MessageOf([&] { vba.Read(*c.storage); });
    }
}

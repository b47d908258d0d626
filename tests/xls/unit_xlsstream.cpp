#include "SrcXLS/formats/VBAProject.h"
#include "SrcXLS/formats/XLSStream.h"
#include "platform/AtomicFile.h"
#include "tests/xls/support_biffbuild.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

using namespace xls;
using biffbuild::Written;
using platform::cfb::CompoundFile;
using platform::cfb::Element;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Fill(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 7 + i / 251);
    return b;
}

// The body cut into records of the given sizes: the first with id, the
// others with continueId.
biffbuild::Stream Pieces(uint16_t id, const Bytes& body, std::initializer_list<size_t> sizes,
                         uint16_t continueId = 0x003C) {
    biffbuild::Stream out;
    size_t at = 0;
    for (size_t n : sizes) {
        out.Rec(at == 0 ? id : continueId, Bytes(body.begin() + long(at), body.begin() + long(at + n)));
        at += n;
    }
    return out;
}

Bytes Image(std::initializer_list<std::pair<std::u16string, Bytes>> streams) {
    CompoundFile f;
    for (auto& [name, bytes] : streams) f.Root().AddStream(name, bytes);
    return f.Serialize();
}

// A stream opened for reading on a compound file holding the bytes as "Workbook".
struct Reader {
    explicit Reader(const Bytes& workbook, std::u16string name = u"Workbook")
        : image(Image({{name, workbook}})) {
        s.SourceStream = &image;
        version = s.OpenRead("");
    }
    Bytes image;
    TXLSStream s;
    TExcelVersion version;
};

} // namespace

TEST(XLSStreamSplit, LongDrawingGroupGoesOnInContinueRecords) {
    Bytes body = Fill(20000, 1);
    Bytes out = Written([&](TXLSStream& s) {
        s.BeginContinued(8224);
        s.WriteHeader(biff::MSODRAWINGGROUP, 0);
        // Uneven calls, one of them ending exactly on a piece boundary.
        size_t cuts[] = {0, 100, 8224, 9000, 16448, 16449, 20000};
        for (int i = 0; i + 1 < 7; ++i) s.WriteRecordData(body.data() + cuts[i], cuts[i + 1] - cuts[i]);
        s.EndContinued();
        s.WriteHeader(0x000A, 0);
    });
    EXPECT_EQ(out, Pieces(0x00EB, body, {8224, 8224, 3552}).Eof().Data());

    // A body of exactly the limit opens no empty CONTINUE; header words are not counted.
    out = Written([&](TXLSStream& s) {
        s.BeginContinued(8224);
        s.WriteHeader(biff::MSODRAWINGGROUP, 0);
        s.WriteWord(0xBEEF);
        s.WriteRecordData(body.data(), 8222);
        s.EndContinued();
    });
    ASSERT_EQ(out.size(), 4u + 2 + 8222);
    EXPECT_EQ(out[2] | out[3] << 8, 8222);
}

TEST(XLSStreamSplit, WriteLongRecordAtTheVersionsLimit) {
    Bytes body = Fill(8225, 3);
    EXPECT_EQ(Written([&](TXLSStream& s) { s.WriteLongRecord(0x00FC, body.data(), 0); }),
              (Bytes{0xFC, 0x00, 0x00, 0x00}));

    Bytes out = Written([&](TXLSStream& s) { s.WriteLongRecord(0x00FC, body.data(), 8224); });
    EXPECT_EQ(out, Pieces(0x00FC, body, {8224}).Data());

    out = Written([&](TXLSStream& s) { s.WriteLongRecord(0x00FC, body.data(), 8225); });
    EXPECT_EQ(out, Pieces(0x00FC, body, {8224, 1}).Data());

    // BIFF5 records end at 2080 bytes.
    out = Written([&](TXLSStream& s) { s.WriteLongRecord(0x0004, body.data(), 4200); },
                  TExcelVersion::xvExcel50);
    EXPECT_EQ(out, Pieces(0x0004, body, {2080, 2080, 40}).Data());

    EXPECT_THROW(Written([&](TXLSStream& s) {
                     s.BeginContinued(8224);
                     s.WriteLongRecord(0x00FC, body.data(), 10);
                 }),
                 XLSError);
}

TEST(XLSStreamJoin, PiecesAreJoinedByTheirOwnLengths) {
    Bytes body = Fill(8324, 5);
    Bytes in = Pieces(0x00EB, body, {8224, 100}, 0x00EB).Eof().Data();
    Reader r(in);
    TBIFFHeader h;
    ASSERT_EQ(r.s.ReadHeader(h), 4);
    r.s.BeginJoin();
    Bytes got(8324);
    EXPECT_EQ(r.s.ReadRecordData(got.data(), 8324), 8324);
    r.s.EndJoin();
    EXPECT_EQ(got, body);
    ASSERT_EQ(r.s.ReadHeader(h), 4);
    EXPECT_EQ(h.Id, 0x000A);
    EXPECT_EQ(r.s.ReadHeader(h), 0);

    // Short pieces, one of them empty, read in requests that cross them.
    Bytes parts = Fill(22, 9);
    in = Pieces(0x00EB, parts, {10, 5, 0, 7}).Rec(0x0006, Bytes{0x55}).Data();
    Reader r2(in);
    r2.s.ReadHeader(h);
    r2.s.BeginJoin();
    got.assign(22, 0);
    EXPECT_EQ(r2.s.ReadRecordData(got.data(), 4), 4);
    EXPECT_EQ(r2.s.ReadRecordData(got.data() + 4, 18), 18);
    r2.s.EndJoin();
    EXPECT_EQ(got, parts);
    ASSERT_EQ(r2.s.ReadHeader(h), 4);
    EXPECT_EQ(h.Id, 0x0006);
}

TEST(XLSStreamJoin, ContinueFrtPiecesDropTheirOwnHeaderAndMissingPiecesFail) {
    Bytes in = biffbuild::Stream()
                   .Rec(0x0862, Bytes{1, 2, 3})
                   .Rec(0x0866, biffbuild::Body().Raw(Bytes(14, 0xEE)).Raw({4, 5}))
                   .Data();
    Reader r(in);
    TBIFFHeader h;
    r.s.ReadHeader(h);
    r.s.BeginJoin();
    Bytes got(5);
    EXPECT_EQ(r.s.ReadRecordData(got.data(), 5), 5);
    EXPECT_EQ(got, (Bytes{1, 2, 3, 4, 5}));

    in = biffbuild::Stream().Rec(0x00EB, Fill(10, 1)).Eof().Data();
    for (bool atEnd : {false, true}) {
        Bytes data = atEnd ? Bytes(in.begin(), in.begin() + 14) : in;
        Reader r2(data);
        r2.s.ReadHeader(h);
        r2.s.BeginJoin();
        got.assign(20, 0);
        try {
            r2.s.ReadRecordData(got.data(), 20);
            ADD_FAILURE() << "read past the record";
        } catch (const XLSError& e) {
            EXPECT_STREQ(e.what(), "CONTINUE record is missing");
        }
    }
}

TEST(XLSStreamStrings, BiffStringBuffersAndWideStrings) {
    EXPECT_EQ(Written([](TXLSStream& s) { s.WriteString16({}); }), (Bytes{0, 0}));
    const uint8_t wideA[] = {1, 'A', 0};
    EXPECT_EQ(Written([&](TXLSStream& s) { s.WriteString16(wideA); }), (Bytes{1, 0, 1, 'A', 0}));
    const uint8_t narrow[] = {0, 'a', 'b'};
    EXPECT_EQ(Written([&](TXLSStream& s) { s.WriteString8(narrow); }), (Bytes{2, 0, 'a', 'b'}));
    EXPECT_EQ(Written([](TXLSStream& s) { s.WriteString8({}); }), (Bytes{0}));
    EXPECT_EQ(Written([](TXLSStream& s) { s.WriteWideString(u"Аб", true); }),
              (Bytes{2, 0, 1, 0x10, 0x04, 0x31, 0x04}));
    EXPECT_EQ(Written([](TXLSStream& s) { s.WriteWideString(u"", true); }), (Bytes{0, 0}));
    EXPECT_EQ(Written([](TXLSStream& s) { s.WriteWideString(u"", false); }), Bytes{});
    EXPECT_THROW(Written([](TXLSStream& s) { s.WriteWideString(std::u16string(70000, u'x'), true); }),
                 XLSError);
}

TEST(XLSStreamStrings, EightBitTextIsLatin1InBiff8AndTheCodePageBelow) {
    Bytes body = {0, 0xC0, 0xE9, 'z', 1, 0x16, 0x04, 0x3D, 0xD8};
    std::u16string text;
    Reader biff8(body);
    EXPECT_EQ(biff8.s.ReadString(3, text), 4);
    EXPECT_EQ(text, u"\u00C0\u00E9z");
    EXPECT_EQ(biff8.s.ReadString(2, text), 5);
    EXPECT_EQ(text, std::u16string(u"\u0416\xD83D"));

    Reader biff5(body, u"Book");
    ASSERT_EQ(biff5.version, TExcelVersion::xvExcel50);
    biff5.s.ReadString(3, text);
    EXPECT_EQ(text, u"\u0410\u0439z");
    biff5.s.Seek(0, 0);
    biff5.s.CodePage = 1252;
    Bytes euro = {0, 0x80, 0xE9};
    EXPECT_EQ(biff5.s.Decode8Bit(euro.data() + 1, 2), u"\u20AC\u00E9");

    Reader cut(Bytes{1, 0x41});
    EXPECT_THROW(cut.s.ReadString(2, text), XLSError);
}

TEST(XLSStreamOpen, WorkbookStreamDetection) {
    Bytes w = {0x09, 0x08, 0, 0}, b = {0x09, 0x08, 1, 1};
    auto open = [](const Bytes& image, Bytes* first = nullptr) {
        TXLSStream s;
        s.SourceStream = &image;
        TExcelVersion v = s.OpenRead("");
        if (first) {
            first->assign(4, 0);
            s.ReadRecordData(first->data(), 4);
        }
        return v;
    };
    Bytes first;
    EXPECT_EQ(open(Image({{u"Book", b}, {u"Workbook", w}}), &first), TExcelVersion::xvExcel97);
    EXPECT_EQ(first, w);
    EXPECT_EQ(open(Image({{u"WORKBOOK", w}})), TExcelVersion::xvExcel97);
    EXPECT_EQ(open(Image({{u"BOOK", b}}), &first), TExcelVersion::xvExcel50);
    EXPECT_EQ(first, b);
    try {
        open(Image({{u"Books", b}}));
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "The file is not an Excel workbook");
    }
    CompoundFile storageNamedWorkbook;
    storageNamedWorkbook.Root().AddStorage(u"Workbook");
    EXPECT_EQ(open(storageNamedWorkbook.Serialize()), TExcelVersion::xvNone);

    // Plain files by their first word.
    EXPECT_EQ(open(Bytes{0x09, 0x00, 4, 0, 2, 0, 0x10, 0}), TExcelVersion::xvExcel21);
    EXPECT_EQ(open(Bytes{0x09, 0x02, 6, 0}), TExcelVersion::xvExcel30);
    EXPECT_EQ(open(Bytes{0x09, 0x04, 6, 0}), TExcelVersion::xvExcel40);
    // The newer BOF id with the 6-byte body of the older BOF: a BIFF4 stream.
    EXPECT_EQ(open(Bytes{0x09, 0x08, 6, 0}), TExcelVersion::xvExcel40);
    EXPECT_EQ(open(Bytes{0x09, 0x08, 16, 0}), TExcelVersion::xvNone);
    EXPECT_EQ(open(Bytes{'a', ';', 'b', '\n'}), TExcelVersion::xvNone);
    EXPECT_EQ(open(Bytes{0x09}), TExcelVersion::xvNone);
    // A broken compound file is reported, not taken for a plain file.
    Bytes broken = Image({{u"Workbook", w}});
    broken.resize(600);
    EXPECT_THROW(open(broken), platform::cfb::CompoundFileError);
}

TEST(XLSStreamOpen, ExtraObjectsAreKeptAndWrittenBack) {
    CompoundFile f;
    f.Root().ClassId[3] = 0x42;
    f.Root().AddStream(u"Workbook", Fill(100, 1));
    f.Root().AddStream(u"Book", Fill(50, 2));
    f.Root().AddStream(u"\x05SummaryInformation", Fill(300, 3));
    Element& vba = f.Root().AddStorage(u"_VBA_PROJECT_CUR");
    vba.AddStream(u"PROJECT", Fill(10, 4));
    Element& other = f.Root().AddStorage(u"_vba_project");
    other.StateBits = 7;
    Bytes image = f.Serialize();

    TExtraObjects extra;
    TXLSVBA project;
    project.SkipDir = true; // the storage holds no modules
    TXLSStream s(&project);
    s.SourceStream = &image;
    s.ExtraObjects = &extra;
    s.ReadMacros = true;
    ASSERT_EQ(s.OpenRead(""), TExcelVersion::xvExcel97);
    ASSERT_NE(s.VBAStorage(), nullptr);
    EXPECT_EQ(s.VBAStorage()->Name(), u"_VBA_PROJECT_CUR");
    EXPECT_EQ(project.ProjectText.GetCount(), 1);
    ASSERT_TRUE(extra.Objects);
    const Element& kept = extra.Objects->Root();
    EXPECT_EQ(kept.Children().size(), 2u);
    EXPECT_NE(kept.Find(u"\x05SummaryInformation"), nullptr);
    EXPECT_NE(kept.Find(u"_vba_project"), nullptr);
    s.Close();

    // Written back as BIFF5: the kept elements and the new "Book" only.
    Bytes out;
    s.TargetStream = &out;
    s.OpenWrite("", TExcelVersion::xvExcel50);
    s.WriteHeader(0x0809, 0);
    s.Close();
    CompoundFile back = CompoundFile::Parse(out);
    EXPECT_EQ(back.Root().ClassId, f.Root().ClassId);
    EXPECT_EQ(back.Root().Children().size(), 3u);
    EXPECT_EQ(back.Root().FindStream(u"\x05SummaryInformation")->Data, Fill(300, 3));
    EXPECT_EQ(back.Root().FindStorage(u"_VBA_PROJECT")->StateBits, 7u);
    EXPECT_EQ(back.Root().FindStream(u"Book")->Data, (Bytes{0x09, 0x08, 0, 0}));
    EXPECT_EQ(back.Root().Find(u"Workbook"), nullptr);

    // A storage named like the macro storage in another letter case is not
    // handed to the macro project; it stays with the extra objects.
    CompoundFile g;
    g.Root().AddStream(u"Workbook", Fill(10, 1));
    g.Root().AddStorage(u"_vba_project_cur");
    image = g.Serialize();
    TXLSStream s2(&project);
    s2.SourceStream = &image;
    s2.ExtraObjects = &extra;
    s2.ReadMacros = true;
    s2.OpenRead("");
    EXPECT_EQ(s2.VBAStorage(), nullptr);
    EXPECT_NE(extra.Objects->Root().Find(u"_VBA_PROJECT_CUR"), nullptr);
}

TEST(XLSStreamWrite, PatchingPeekingAndSmallRecordWriters) {
    Bytes out = Written([](TXLSStream& s) {
        s.WriteHeader(0x0085, 6);
        int64_t at = s.Position();
        s.WriteDWord(0);
        s.WriteWord(0x0100);
        s.WriteWordRecord(0x0042, 1200);
        int64_t end = s.Position();
        s.Seek(at, 0);
        s.WriteDWord(end);
        EXPECT_EQ(s.Seek(0, 2), end);
        s.WriteMSOHeader(0xF, 3, 0xF000, 0x12345678);
        s.WriteArea(1, 2, 0x10003, 4);
        const uint8_t body[] = {7, 8};
        s.WriteRawRecord(0x00E1, body, 2);
        s.WriteByte(0x99);
    });
    Bytes expected = {0x85, 0,    6,    0,    16, 0, 0,    0,    0,    1,    0x42, 0, 2,
                      0,    0xB0, 0x04, 0x3F, 0,  0, 0xF0, 0x78, 0x56, 0x34, 0x12, 1, 0,
                      2,    0,    3,    0,    4,  0, 0xE1, 0,    2,    0,    7,    8, 0x99};
    EXPECT_EQ(out, expected);
    EXPECT_THROW(Written([](TXLSStream& s) { s.WriteArea(0, 0, 0, 0); }, TExcelVersion::xvExcel2007),
                 XLSError);

    Reader r(Bytes{0x3C, 0, 2, 0, 9, 9, 0x0A});
    EXPECT_EQ(r.s.PeekRecordId(), 0x3C);
    EXPECT_EQ(r.s.PeekRecordLength(), 2);
    EXPECT_EQ(r.s.Position(), 0);
    r.s.Seek(4, 1);
    EXPECT_EQ(r.s.PeekRecordId(), 0);
    EXPECT_THROW(r.s.Seek(-1, 0), XLSError);
}

// A workbook stream read from a file moves through it in a window: records
// across the window's edges, peeks, seeks back and joined reads give what
// the stream read from memory gives.
TEST(XLSStreamRead, AStreamReadFromAFileReadsAsFromMemory) {
    biffbuild::Stream in;
    for (size_t i = 0; in.Data().size() < 700000; ++i)
        in.Rec(uint16_t(0x0200 + i % 7), Fill((i * 1237) % 8225, uint8_t(i)));
    in.Raw(Pieces(0x00EB, Fill(20000, 2), {8224, 8224, 3552}).Data());
    const Bytes image = Image({{u"Workbook", in.Data()}});
    const auto file = std::filesystem::temp_directory_path() / ("xlswindow." + std::to_string(::getpid()));
    platform::WriteFileAtomic(file.string(),
                              std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    TXLSStream disk;
    ASSERT_EQ(disk.OpenRead(file), TExcelVersion::xvExcel97);
    Reader memory(in.Data());
    ASSERT_EQ(disk.Size(), memory.s.Size());
    TBIFFHeader a, b;
    for (size_t k = 0; memory.s.ReadHeader(a) == 4; ++k) {
        ASSERT_EQ(disk.PeekRecordId(), a.Id);
        ASSERT_EQ(disk.ReadHeader(b), 4);
        ASSERT_EQ(b.Length, a.Length) << k;
        const bool join = a.Id == 0x00EB;
        const int length = join ? 20000 : a.Length;
        Bytes x(size_t(length) + 1), y(size_t(length) + 1);
        for (TXLSStream* s : {&memory.s, &disk}) {
            if (join) s->BeginJoin();
            uint8_t* out = s == &disk ? y.data() : x.data();
            ASSERT_EQ(s->ReadRecordData(out, length / 3), length / 3);
            ASSERT_EQ(s->ReadRecordData(out + length / 3, length - length / 3), length - length / 3);
            s->EndJoin();
        }
        ASSERT_EQ(x, y) << k;
    }
    EXPECT_EQ(disk.ReadHeader(b), 0);
    for (int64_t at : {int64_t(0), disk.Size() - 4, int64_t(262141), int64_t(9)}) {
        disk.Seek(at, 0);
        memory.s.Seek(at, 0);
        uint8_t x[4] = {}, y[4] = {};
        EXPECT_EQ(disk.ReadUnencrypted(y, 4), memory.s.ReadUnencrypted(x, 4));
        EXPECT_EQ(Bytes(x, x + 4), Bytes(y, y + 4)) << at;
    }
    std::filesystem::remove(file);
}

TEST(XLSStreamWrite, FilesAppearOnlyWhenClosed) {
    auto folder = std::filesystem::temp_directory_path() / ("xlsstream." + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto compound = folder / "a.xls", plain = folder / "b.xls";
    {
        TXLSStream s;
        s.OpenWrite(compound, TExcelVersion::xvExcel97);
        s.WriteHeader(0x0809, 0);
        EXPECT_FALSE(std::filesystem::exists(compound));
        s.Close();
    }
    EXPECT_EQ(CompoundFile::Load(compound).Root().FindStream(u"Workbook")->Data, (Bytes{0x09, 0x08, 0, 0}));
    {
        TXLSStream s;
        s.OpenWrite(plain, TExcelVersion::xvExcel40);
        s.WriteHeader(0x0409, 0);
        s.Close();
        // An unfinished write (the writer failed) leaves the earlier file alone.
        s.OpenWrite(plain, TExcelVersion::xvExcel40);
        s.WriteHeader(0x0001, 0);
    }
    EXPECT_EQ(platform::ReadWholeFile(plain.string()), std::string("\x09\x04\0\0", 4));
    {
        TXLSStream s;
        EXPECT_EQ(s.OpenRead(plain), TExcelVersion::xvExcel40);
        EXPECT_EQ(s.Size(), 4);
    }
    TXLSStream s;
    try {
        s.OpenWrite("", TExcelVersion::xvExcel97);
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Filename is missing");
    }
    std::filesystem::remove_all(folder);
}

// A write kept in a scratch file as it grows gives the file a write held in
// memory gives, patches of bytes already passed on to the scratch file included.
TEST(XLSStreamWrite, StreamsKeptInAScratchFileAreWrittenAsFromMemory) {
    const auto file = std::filesystem::temp_directory_path() / ("xlsspill." + std::to_string(::getpid()));
    const Bytes body = Fill(8000, 3);
    const auto writer = [&](TXLSStream& s, size_t records) {
        s.WriteHeader(0x0809, 4);
        const int64_t first = s.Position();
        s.WriteDWord(0);
        for (size_t i = 0; i < records; ++i) s.WriteRawRecord(0x00FC, body.data(), uint16_t(body.size()));
        const int64_t last = s.Position();
        s.WriteWordRecord(0x0042, 1200);
        s.Seek(first, 0);
        s.WriteDWord(uint32_t(last));
        s.Seek(last + 4, 0);
        s.WriteWord(1251);
        // Seeks past the end leave zeros, within the block and beyond it.
        s.Seek(5, 2);
        s.WriteWord(7);
        s.Seek((1 << 20) + 3, 2);
        s.WriteWord(8);
        s.Seek(0, 2);
        s.WriteHeader(0x000A, 0);
    };
    for (TExcelVersion v : {TExcelVersion::xvExcel97, TExcelVersion::xvExcel40})
        for (size_t records : {size_t(0), size_t(1), size_t(300)}) {
            Bytes memory;
            {
                TXLSStream s;
                s.TargetStream = &memory;
                s.OpenWrite("", v);
                writer(s, records);
                s.Close();
            }
            TXLSStream s;
            s.SpillToFile = true;
            s.OpenWrite(file, v);
            writer(s, records);
            s.Close();
            EXPECT_EQ(platform::ReadWholeFileBytes(file.string()), memory) << int(v) << " " << records;
        }
    std::filesystem::remove(file);
}

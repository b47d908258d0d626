// The workbook writer's frame over record lists and model pieces: the
// globals of a new workbook, BOUNDSHEET positions, TABID, DIMENSIONS
// limits, the code page of BIFF5 and BIFF4 files, panes and tabs, failures
// that must leave the target alone, and whole files read by xlrd and
// gnumeric.
#include "SrcXLS/formats/TabrixWriter.h"
#include "SrcXLS/model/CellFormats.h"
#include "SrcXLS/model/Pane.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/Selection.h"
#include "SrcXLS/model/XFonts.h"

#include "support_files.h"
#include "tests/xls/support_biff.h"
#include "tests/xls/support_hex.h"
#include "tests/xls/support_messages.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace xls;
using V = TExcelVersion;

namespace {

constexpr uint16_t BOF = 0x0809, BOUNDSHEET = 0x0085, EOF_ = 0x000A;

// A workbook made of the model pieces the writer reads, with cells written
// by hand: a caption in column 0 and a number in column 1 per row.
class Book {
public:
    struct Sheet {
        TRecordStorageSheet Records;
        TPane Pane;
        TSelectedAreas Selection;
        TPrintSettings Print{Records};
        std::u16string Name;
        std::vector<std::pair<std::u16string, double>> Rows;
    };

    TRecordStorageGlobals Globals;
    TXFonts Fonts;
    TCellFormats Formats{&Fonts, true};
    std::vector<std::unique_ptr<Sheet>> Sheets;
    TBIFFWorkbookSource Source;
    std::vector<std::u16string> Strings;

    Sheet& AddSheet(std::u16string name) {
        Sheets.push_back(std::make_unique<Sheet>());
        Sheets.back()->Name = std::move(name);
        return *Sheets.back();
    }

    // Writes the version to a buffer, or to file when one is given.
    std::vector<uint8_t> Write(V v, const std::string& file = "") {
        std::vector<uint8_t> image;
        Prepare(file.empty() ? &image : nullptr);
        TTabrixWriter w(Source);
        if (v == V::xvExcel40)
            w.WriteBIFF4Sheet(file);
        else
            w.WriteBIFFWorkbook(file, v);
        return image;
    }

    int captionFormat = DefaultCellFormat;
    bool failSST = false;

private:
    void Prepare(std::vector<uint8_t>* target) {
        Source.Globals = &Globals;
        Source.Fonts = &Fonts;
        Source.Formats = &Formats;
        Source.TargetStream = target;
        Strings.clear();
        for (auto& s : Sheets)
            for (auto& r : s->Rows) Strings.push_back(r.first);
        Source.SharedStrings = [this](TXLSStream& s) { WriteSST(s); };
        Source.Sheets.clear();
        for (auto& s : Sheets) {
            TBIFFSheetSource src;
            src.Records = &s->Records;
            src.Name = s->Name;
            src.Pane = &s->Pane;
            src.Selection = &s->Selection;
            src.Print = &s->Print;
            Sheet* sheet = s.get();
            src.Cells = [this, sheet](TXLSStream& st) { WriteCells(st, *sheet); };
            Source.Sheets.push_back(std::move(src));
        }
    }

    void WriteSST(TXLSStream& s) {
        if (failSST) throw XLSError("disk full");
        std::vector<uint8_t> body;
        TByteWriter w(body);
        w.U32(uint32_t(Strings.size()));
        w.U32(uint32_t(Strings.size()));
        for (auto& t : Strings) {
            w.U16(uint16_t(t.size()));
            w.U8(1);
            for (char16_t c : t) w.U16(c);
        }
        s.WriteRawRecord(0x00FC, body.data(), uint16_t(body.size()));
    }

    void WriteCells(TXLSStream& s, Sheet& sheet) {
        int stringIndex = 0;
        for (auto& sh : Sheets) {
            if (sh.get() == &sheet) break;
            stringIndex += int(sh->Rows.size());
        }
        for (size_t r = 0; r < sheet.Rows.size(); ++r) {
            std::vector<uint8_t> body;
            TByteWriter w(body);
            w.U16(uint16_t(r));
            w.U16(0);
            w.U16(uint16_t(captionFormat));
            if (s.Version() == V::xvExcel97) {
                w.U32(uint32_t(stringIndex++));
                s.WriteRawRecord(0x00FD, body.data(), uint16_t(body.size()));
            } else {
                std::string text = WideToCodePage(sheet.Rows[r].first, s.CodePage);
                w.U16(uint16_t(text.size()));
                w.Bytes(text.data(), text.size());
                s.WriteRawRecord(0x0204, body.data(), uint16_t(body.size()));
            }
            body.clear();
            w.U16(uint16_t(r));
            w.U16(1);
            w.U16(DefaultCellFormat);
            double v = sheet.Rows[r].second;
            w.Bytes(&v, 8);
            s.WriteRawRecord(0x0203, body.data(), uint16_t(body.size()));
        }
    }
};

// Substreams of a workbook stream: the records from each BOF to its EOF,
// with the stream offset of each BOF.
struct Substream {
    size_t Offset;
    std::vector<TestRecord> Records;
};

std::vector<Substream> SubstreamsOf(const std::vector<uint8_t>& stream) {
    std::vector<Substream> out;
    size_t at = 0;
    for (const TestRecord& r : RecordsOf(stream)) {
        if (r.Id == BOF || r.Id == 0x0409) out.push_back({at, {}});
        out.back().Records.push_back(r);
        at += 4 + r.Body.size();
    }
    return out;
}

const TestRecord* Find(const std::vector<TestRecord>& records, uint16_t id) {
    auto it = std::find_if(records.begin(), records.end(), [&](const TestRecord& r) { return r.Id == id; });
    return it == records.end() ? nullptr : &*it;
}

size_t CountOf(const std::vector<TestRecord>& records, uint16_t id) {
    return size_t(
        std::count_if(records.begin(), records.end(), [&](const TestRecord& r) { return r.Id == id; }));
}

} // namespace

TEST(BIFFFrame, NewOneSheetWorkbookGlobals) {
    Book book;
    book.AddSheet(u"Sheet1");
    auto parts = SubstreamsOf(WorkbookStreamOf(book.Write(V::xvExcel97)));
    ASSERT_EQ(parts.size(), 2u);
    std::vector<uint16_t> ids = IdsOf(parts[0].Records);
    // Collapse the format block, whose counts follow the pools.
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(ids, (std::vector<uint16_t>{BOF,        0x005C, 0x0042, 0x0161, 0x013D, 0x009C, 0x0019,
                                          0x0012,     0x0013, 0x01AF, 0x003D, 0x0040, 0x008D, 0x0022,
                                          0x000E,     0x01B7, 0x00DA, 0x0031, 0x041E, 0x00E0, 0x0293,
                                          BOUNDSHEET, 0x008C, 0x01C1, 0x00FC, EOF_}));
    const auto& g = parts[0].Records;
    EXPECT_EQ(CountOf(g, 0x0031), 4u);
    EXPECT_EQ(CountOf(g, 0x00E0), size_t(book.Formats.Count()));
    EXPECT_EQ(CountOf(g, 0x0293), 6u);
    EXPECT_EQ(Find(g, 0x0092), nullptr); // default palette
    EXPECT_EQ(Find(g, 0x013D)->Body, FromHex("01 00"));
    EXPECT_EQ(Find(g, 0x0042)->Body, FromHex("B0 04"));
    EXPECT_EQ(Find(g, BOF)->Body.size(), 16u);
}

TEST(BIFFFrame, BoundsheetsPointAtTheirSheets) {
    for (V v : {V::xvExcel97, V::xvExcel50}) {
        Book book;
        book.Globals.ApplyDefaults();
        for (auto name : {u"Перший", u"Second", u"Третій", u"Four"}) book.AddSheet(name).Rows = {{u"x", 1}};
        auto stream = WorkbookStreamOf(book.Write(v));
        auto parts = SubstreamsOf(stream);
        ASSERT_EQ(parts.size(), 5u);
        std::vector<const TestRecord*> sheets;
        for (const auto& r : parts[0].Records)
            if (r.Id == BOUNDSHEET) sheets.push_back(&r);
        ASSERT_EQ(sheets.size(), 4u);
        for (size_t i = 0; i < 4; ++i) EXPECT_EQ(GetU32(sheets[i]->Body.data()), parts[i + 1].Offset);
        if (v == V::xvExcel97) {
            // The TABID read with a file is rebuilt for the sheets there are now.
            EXPECT_EQ(Find(parts[0].Records, 0x013D)->Body, FromHex("01 00 02 00 03 00 04 00"));
            EXPECT_EQ(HexBytes(sheets[0]->Body.begin() + 4, sheets[0]->Body.end()),
                      FromHex("00 00 06 01 1F 04 35 04 40 04 48 04 38 04 39 04"));
        } else {
            // 8-bit sheet names in the file's code page.
            EXPECT_EQ(HexBytes(sheets[2]->Body.begin() + 6, sheets[2]->Body.end()),
                      FromHex("06 D2 F0 E5 F2 B3 E9"));
        }
    }
}

TEST(BIFFFrame, DimensionsNeverWrap) {
    for (V v : {V::xvExcel97, V::xvExcel50}) {
        Book book;
        auto& sheet = book.AddSheet(u"S");
        auto d = sheet.Records.DimensionsData();
        PutU32(d.data() + 4, 65536);
        PutU16(d.data() + 10, 256);
        auto parts = SubstreamsOf(WorkbookStreamOf(book.Write(v)));
        const TestRecord* dim = Find(parts[1].Records, 0x0200);
        ASSERT_NE(dim, nullptr);
        EXPECT_EQ(dim->Body, v == V::xvExcel97 ? FromHex("00 00 00 00 FF FF 00 00 00 00 FF 00 00 00")
                                               : FromHex("00 00 FF FF 00 00 FF 00 00 00"));
    }
}

TEST(BIFFFrame, Biff5DeclaresItsCodePage) {
    Book book;
    book.AddSheet(u"S").Rows = {{u"Назва", 1}};
    book.Globals.SetUserName(u"Каса");
    auto g = SubstreamsOf(WorkbookStreamOf(book.Write(V::xvExcel50)))[0].Records;
    EXPECT_EQ(Find(g, BOF)->Body, FromHex("00 05 05 00 BB 0D CE 07"));
    EXPECT_EQ(Find(g, 0x0042)->Body, FromHex("E3 04"));
    EXPECT_EQ(CountOf(g, 0x0042), 1u);
    const TestRecord* access = Find(g, 0x005C);
    ASSERT_EQ(access->Body.size(), 32u);
    EXPECT_EQ(HexBytes(access->Body.begin(), access->Body.begin() + 6), FromHex("04 CA E0 F1 E0 20"));
    EXPECT_EQ(CountOf(g, 0x0092), 1u); // always in BIFF5
    EXPECT_EQ(Find(g, 0x00E0)->Body.size(), 16u);
    EXPECT_EQ(Find(g, 0x00FC), nullptr); // 8-bit cell text, no shared strings
}

TEST(BIFFFrame, KeptPaletteIsNotWrittenTwice) {
    Book book;
    book.AddSheet(u"S");
    book.Globals.ApplyDefaults();
    std::vector<uint8_t> stale(226, 0);
    stale[0] = 56;
    book.Globals.Add(0x0092, stale); // after EOF in the list: still only one in the file
    TPalette changed = DefaultPalette();
    changed[10] = 0x00123456;
    book.Source.Palette = &changed;
    auto g = SubstreamsOf(WorkbookStreamOf(book.Write(V::xvExcel97)))[0].Records;
    ASSERT_EQ(CountOf(g, 0x0092), 1u);
    EXPECT_EQ(GetU32(Find(g, 0x0092)->Body.data() + 2 + 4 * 2), 0x00123456u);
}

TEST(BIFFFrame, FrozenPaneAndSelectedTab) {
    Book book;
    book.AddSheet(u"A");
    auto& second = book.AddSheet(u"B");
    second.Pane.PaneType = TPaneType::ptFrozen;
    second.Pane.SplitRowY = 1;
    second.Pane.TopRow = 1;
    book.Source.SelectedTab = 1;
    auto parts = SubstreamsOf(WorkbookStreamOf(book.Write(V::xvExcel97)));
    ASSERT_EQ(parts.size(), 3u);
    auto window2 = [&](int i) { return GetU16(Find(parts[size_t(i)].Records, 0x023E)->Body.data()); };
    EXPECT_EQ(window2(1) & 0x0200, 0);
    EXPECT_EQ(window2(2) & 0x0308, 0x0308);
    EXPECT_EQ(CountOf(parts[1].Records, 0x001D), 1u);
    EXPECT_EQ(CountOf(parts[1].Records, 0x0041), 0u);
    EXPECT_EQ(CountOf(parts[2].Records, 0x0041), 1u);
    EXPECT_EQ(CountOf(parts[2].Records, 0x001D), 2u); // the two pane selections only
}

TEST(BIFFFrame, FailuresLeaveTheTargetAlone) {
    testfiles::ScratchDir dir;
    const std::string file = dir.File("book.xls");
    Book book;
    book.AddSheet(u"S").Rows = {{u"x", 1}};
    book.Write(V::xvExcel97, file);
    const std::string good = testfiles::Slurp(file);

    book.Source.Password = u"secret";
    EXPECT_EQ(MessageOf([&] { book.Write(V::xvExcel50, file); }), "Can not encrypt this workbook");
    book.Source.Password.clear();

    book.failSST = true;
    const int sstAt = book.Globals.IndexOf(0x8005);
    EXPECT_EQ(MessageOf([&] { book.Write(V::xvExcel97, file); }),
              "Error on writing record # " + std::to_string(sstAt) + "\rdisk full");
    EXPECT_EQ(testfiles::Slurp(file), good);
    EXPECT_EQ(testfiles::CountEntries(dir.Path()), 1);
}

TEST(BIFFFrame, Biff4SheetRecordOrder) {
    Book book;
    book.AddSheet(u"S").Rows = {{u"Назва", 2.5}};
    auto records = RecordsOf(book.Write(V::xvExcel40));
    std::vector<uint16_t> ids = IdsOf(records);
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(ids, (std::vector<uint16_t>{0x0409, 0x005C, 0x0042, 0x000D, 0x000F, 0x0011, 0x000E, 0x002A,
                                          0x002B, 0x0225, 0x008C, 0x008D, 0x0081, 0x0231, 0x0014, 0x0015,
                                          0x0083, 0x0084, 0x00A1, 0x0040, 0x041E, 0x0019, 0x0443, 0x0293,
                                          0x0055, 0x0200, 0x0204, 0x0203, 0x003D, 0x023E, 0x001D, EOF_}));
    EXPECT_EQ(records[0].Body, FromHex("00 00 10 00 AF 18"));
    EXPECT_EQ(records[1].Body.size(), 112u);
    EXPECT_EQ(records[2].Body, FromHex("E3 04"));
    EXPECT_EQ(Find(records, 0x0225)->Body, FromHex("01 00 FF 00"));
    EXPECT_EQ(Find(records, 0x00A1)->Body.size(), 34u);
    EXPECT_EQ(Find(records, 0x0200)->Body, FromHex("00 00 00 00 00 00 00 00 00 00"));
}

// The same small workbook in each version, read back by xlrd and gnumeric.
class BIFFFrameOracle : public ::testing::TestWithParam<V> {};

TEST_P(BIFFFrameOracle, IndependentReadersSeeTheCells) {
    testfiles::ScratchDir dir;
    const std::string file = dir.File("book.xls");
    Book book;
    TXFont bold;
    bold.Style = xfsBold;
    bold.ColorIndex = 10;
    TXFont* font = book.Fonts.FindOrAdd(bold);
    TCellFormat* caption = book.Formats.Add();
    caption->SetFontIndex(font->PoolIndex);
    book.captionFormat = caption->PoolIndex;
    book.AddSheet(u"Товари").Rows = {{u"Молоко", 12.5}, {u"Хліб «Київ»", -3}};
    book.Write(GetParam(), file);

    auto xlrd = oracle::XlrdDump(file);
    ASSERT_EQ(xlrd.Status, 0) << xlrd.Output;
    const std::string& out = xlrd.Output;
    EXPECT_NE(out.find(GetParam() == V::xvExcel40 ? "sheet 0 " : "sheet 0 Товари 2 2"), std::string::npos)
        << out;
    EXPECT_NE(out.find("cell 0 0 0 1 Молоко"), std::string::npos) << out;
    EXPECT_NE(out.find("cell 0 1 0 1 Хліб «Київ»"), std::string::npos) << out;
    EXPECT_NE(out.find("cell 0 0 1 2 12.5"), std::string::npos) << out;
    EXPECT_NE(out.find("cell 0 1 1 2 -3.0"), std::string::npos) << out;
    EXPECT_NE(out.find("font 0 0 0 Arial bold=1 italic=0 colour=10 height=200"), std::string::npos) << out;
    EXPECT_NE(out.find("font 0 0 1 Arial bold=0"), std::string::npos) << out;

    auto csv = oracle::GnumericCsv(file, dir.File("book.csv"));
    ASSERT_EQ(csv.Status, 0) << csv.Output;
    // gnumeric takes BIFF4 8-bit text in the code page of the font's
    // character set, which BIFF4 fonts do not have.
    if (GetParam() == V::xvExcel40)
        EXPECT_NE(csv.Output.find(",12.5\n"), std::string::npos) << csv.Output;
    else
        EXPECT_EQ(csv.Output, "Молоко,12.5\n\"Хліб «Київ»\",-3\n");
}

INSTANTIATE_TEST_SUITE_P(Versions, BIFFFrameOracle,
                         ::testing::Values(V::xvExcel97, V::xvExcel50, V::xvExcel40));

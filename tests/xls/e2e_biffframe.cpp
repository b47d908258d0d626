// The workbook writer's frame over record lists and model pieces: the
// globals of a new workbook, BOUNDSHEET positions, TABID, DIMENSIONS
// limits, the code page of BIFF5 and BIFF4 files, panes and tabs, and
// failures that must leave the target alone.
#include "SrcXLS/formats/TabrixWriter.h"
#include "SrcXLS/model/CellFormats.h"
#include "SrcXLS/model/Pane.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/Selection.h"
#include "SrcXLS/model/XFonts.h"

#include "support_files.h"
#include "tests/xls/support_biffbuild.h"
#include "tests/xls/support_hex.h"
#include "tests/xls/support_messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace xls;
using V = TExcelVersion;
using namespace biffbuild;

namespace {

constexpr uint16_t BOF = 0x0809, BOUNDSHEET = 0x0085, EOF_ = 0x000A;

// A workbook made of the model pieces the writer reads; its sheets have no
// cells.
class Book {
public:
    struct Sheet {
        TRecordStorageSheet Records;
        TPane Pane;
        TSelectedAreas Selection;
        TPrintSettings Print{Records};
        std::u16string Name;
    };

    TRecordStorageGlobals Globals;
    TXFonts Fonts;
    TCellFormats Formats{&Fonts, true};
    std::vector<std::unique_ptr<Sheet>> Sheets;
    TBIFFWorkbookSource Source;

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

    bool failSST = false;

private:
    void Prepare(std::vector<uint8_t>* target) {
        Source.Globals = &Globals;
        Source.Fonts = &Fonts;
        Source.Formats = &Formats;
        Source.TargetStream = target;
        Source.SharedStrings = [this](TXLSStream& s) { WriteSST(s); };
        Source.Sheets.clear();
        for (auto& s : Sheets) {
            TBIFFSheetSource src;
            src.Records = &s->Records;
            src.Name = s->Name;
            src.Pane = &s->Pane;
            src.Selection = &s->Selection;
            src.Print = &s->Print;
            Source.Sheets.push_back(std::move(src));
        }
    }

    void WriteSST(TXLSStream&) {
        if (failSST) throw XLSError("disk full");
    }
};

// Substreams of a workbook stream: the records from each BOF to its EOF,
// with the stream offset of each BOF.
struct Substream {
    size_t Offset;
    std::vector<Record> Records;
};

std::vector<Substream> SubstreamsOf(const std::vector<uint8_t>& stream) {
    std::vector<Substream> out;
    size_t at = 0;
    for (const Record& r : Records(stream, true)) {
        if (r.Id == BOF || r.Id == 0x0409) out.push_back({at, {}});
        out.back().Records.push_back(r);
        at += 4 + r.Body.size();
    }
    return out;
}

} // namespace

TEST(BIFFFrame, NewOneSheetWorkbookGlobals) {
    Book book;
    book.AddSheet(u"Sheet1");
    auto parts = SubstreamsOf(WorkbookStream(book.Write(V::xvExcel97)));
    ASSERT_EQ(parts.size(), 2u);
    std::vector<uint16_t> ids = IdsOf(parts[0].Records);
    // Collapse the format block, whose counts follow the pools.
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(ids, (std::vector<uint16_t>{BOF,        0x005C, 0x0042, 0x0161, 0x013D, 0x009C, 0x0019,
                                          0x0012,     0x0013, 0x01AF, 0x003D, 0x0040, 0x008D, 0x0022,
                                          0x000E,     0x01B7, 0x00DA, 0x0031, 0x041E, 0x00E0, 0x0293,
                                          BOUNDSHEET, 0x008C, 0x01C1, EOF_}));
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
        for (auto name : {u"Перший", u"Second", u"Третій", u"Four"}) book.AddSheet(name);
        auto stream = WorkbookStream(book.Write(v));
        auto parts = SubstreamsOf(stream);
        ASSERT_EQ(parts.size(), 5u);
        std::vector<const Record*> sheets;
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
        auto parts = SubstreamsOf(WorkbookStream(book.Write(v)));
        const Record* dim = Find(parts[1].Records, 0x0200);
        ASSERT_NE(dim, nullptr);
        // One past the last row and column of a full sheet: 65,536 where the
        // field is 32-bit (BIFF8); an Excel 5 sheet has 16,384 rows.
        EXPECT_EQ(dim->Body, v == V::xvExcel97 ? FromHex("00 00 00 00 00 00 01 00 00 00 00 01 00 00")
                                               : FromHex("00 00 00 40 00 00 00 01 00 00"));
    }
    // A selection on the last rows of an Excel 97 sheet stands on the last
    // row of an Excel 5 sheet (gnumeric reads no selection past it).
    for (V v : {V::xvExcel97, V::xvExcel50}) {
        Book book;
        auto& sheet = book.AddSheet(u"S");
        sheet.Selection.SetActiveRow(65534);
        auto parts = SubstreamsOf(WorkbookStream(book.Write(v)));
        const Record* selection = Find(parts[1].Records, 0x001D);
        ASSERT_NE(selection, nullptr);
        EXPECT_EQ(HexBytes(selection->Body.begin(), selection->Body.begin() + 3),
                  v == V::xvExcel97 ? FromHex("03 FE FF") : FromHex("03 FF 3F"));
    }
}

TEST(BIFFFrame, Biff5DeclaresItsCodePage) {
    Book book;
    book.AddSheet(u"S");
    book.Globals.SetUserName(u"Каса");
    auto g = SubstreamsOf(WorkbookStream(book.Write(V::xvExcel50)))[0].Records;
    EXPECT_EQ(Find(g, BOF)->Body, FromHex("00 05 05 00 BB 0D CE 07"));
    EXPECT_EQ(Find(g, 0x0042)->Body, FromHex("E3 04"));
    EXPECT_EQ(CountOf(g, 0x0042), 1u);
    const Record* access = Find(g, 0x005C);
    ASSERT_EQ(access->Body.size(), 32u);
    EXPECT_EQ(HexBytes(access->Body.begin(), access->Body.begin() + 6), FromHex("04 CA E0 F1 E0 20"));
    EXPECT_EQ(CountOf(g, 0x0092), 1u); // always in BIFF5
    EXPECT_EQ(Find(g, 0x00E0)->Body.size(), 16u);
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
    auto g = SubstreamsOf(WorkbookStream(book.Write(V::xvExcel97)))[0].Records;
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
    auto parts = SubstreamsOf(WorkbookStream(book.Write(V::xvExcel97)));
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
    book.AddSheet(u"S");
    book.Write(V::xvExcel97, file);
    const std::string good = testfiles::Slurp(file);

    book.Source.Password = u"secret";
    EXPECT_EQ(MessageOf([&] { book.Write(V::xvExcel50, file); }),
              "Only Excel 97 workbooks can be saved with a password");
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
    book.AddSheet(u"S");
    auto records = Records(book.Write(V::xvExcel40), true);
    std::vector<uint16_t> ids = IdsOf(records);
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(ids, (std::vector<uint16_t>{0x0409, 0x005C, 0x0042, 0x000D, 0x000F, 0x0011, 0x000E, 0x002A,
                                          0x002B, 0x0225, 0x008C, 0x008D, 0x0081, 0x0231, 0x0014, 0x0015,
                                          0x0083, 0x0084, 0x00A1, 0x0040, 0x041E, 0x0019, 0x0443, 0x0293,
                                          0x0055, 0x0200, 0x003D, 0x023E, 0x001D, EOF_}));
    EXPECT_EQ(records[0].Body, FromHex("00 00 10 00 AF 18"));
    EXPECT_EQ(records[1].Body.size(), 112u);
    EXPECT_EQ(records[2].Body, FromHex("E3 04"));
    EXPECT_EQ(Find(records, 0x0225)->Body, FromHex("01 00 FF 00"));
    EXPECT_EQ(Find(records, 0x00A1)->Body.size(), 34u);
    EXPECT_EQ(Find(records, 0x0200)->Body, FromHex("00 00 00 00 00 00 00 00 00 00"));
}

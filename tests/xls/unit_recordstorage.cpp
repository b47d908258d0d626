// Record lists: the default sets byte for byte, placing read records among
// the defaults, typed access that follows a record as it moves, short
// records from files, and writing a list through the record stream.
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formats/KeptRecords.h"
#include "SrcXLS/formats/RecordStorage.h"
#include "SrcXLS/formats/XLSStream.h"

#include "tests/xls/support_biffbuild.h"
#include "tests/xls/support_hex.h"
#include "tests/xls/support_messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace xls;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
    return FromHex(text);
}

// A run of blanks, the padding of a user name.
Bytes Blanks(size_t n) {
    return Bytes(n, 0x20);
}

struct Expected {
    uint16_t id;
    Bytes body;
};

// Written out by hand from the record layouts, independent of the tables.
const std::vector<Expected>& GlobalsDefaults() {
    static const std::vector<Expected> set = {
        {0x0809, Hex("00 06 05 00 02 10 CD 07 C9 80 00 00 06 01 00 00")},
        {0x005C, Cat({Hex("00 00 00"), Blanks(109)})},
        {0x0042, Hex("B0 04")},
        {0x0161, Hex("00 00")},
        {0x013D, {}},
        {0x009C, Hex("0E 00")},
        {0x0019, Hex("00 00")},
        {0x0012, Hex("00 00")},
        {0x0013, Hex("00 00")},
        {0x01AF, Hex("00 00")},
        {0x003D, Hex("64 00 64 00 10 27 58 1B 38 00 00 00 00 00 01 00 58 02")},
        {0x0040, Hex("00 00")},
        {0x008D, Hex("00 00")},
        {0x0022, Hex("00 00")},
        {0x000E, Hex("01 00")},
        {0x01B7, Hex("00 00")},
        {0x00DA, Hex("00 00")},
        {0x8001, {}},
        {0x8002, {}},
        {0x008C, Hex("01 00 2E 00")},
        {0x01C1, Hex("C1 01 00 00 FF FF FF 00")},
        {0x8003, {}},
        {0x8004, {}},
        {0x8005, {}},
        {0x000A, {}},
    };
    return set;
}

const std::vector<Expected>& SheetDefaults() {
    static const std::vector<Expected> set = {
        {0x0809, Hex("00 06 10 00 AF 18 CD 07 C9 80 00 00 06 01 00 00")},
        {0x000D, Hex("01 00")},
        {0x000C, Hex("64 00")},
        {0x000F, Hex("01 00")},
        {0x0011, Hex("00 00")},
        {0x0010, Hex("FC A9 F1 D2 4D 62 50 3F")},
        {0x005F, Hex("01 00")},
        {0x002B, Hex("00 00")},
        {0x002A, Hex("00 00")},
        {0x0082, Hex("01 00")},
        {0x0080, Hex("00 00 00 00 00 00 00 00")},
        {0x0225, Hex("00 00 FF 00")},
        {0x0081, Hex("C1 04")},
        {0x8101, {}},
        {0x8102, {}},
        {0x8103, {}},
        {0x0083, Hex("00 00")},
        {0x0084, Hex("00 00")},
        {0x00A1, Hex("00 00 64 00 01 00 01 00 01 00 B6 06 58 02 58 02 "
                     "00 00 00 00 00 00 E0 3F 00 00 00 00 00 00 E0 3F 00 00")},
        {0x0012, Hex("00 00")},
        {0x0055, Hex("08 00")},
        {0x0200, Hex("00 00 00 00 00 00 00 00 00 00 00 00 00 00")},
        {0x8104, {}},
        {0x8105, {}},
        {0x023E, Hex("B6 04 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00")},
        {0x8106, {}},
        {0x001D, Hex("03 01 00 01 00 00 00 01 00 01 00 01 00 01 01")},
        {0x000A, {}},
    };
    return set;
}

std::vector<uint16_t> Ids(const TBaseRecordStorage& s) {
    std::vector<uint16_t> ids;
    for (int i = 0; i < s.Count(); ++i) ids.push_back(s.GetItem(i).Id());
    return ids;
}

Bytes BodyOf(const TBaseRecordStorage& s, uint16_t id) {
    int i = s.IndexOf(id);
    if (i < 0) return {};
    auto b = s.GetItem(i).Body();
    return Bytes(b.begin(), b.end());
}

void Update(TRecordStorageDefault& s, uint16_t id, const Bytes& body) {
    s.UpdateDefault(TBIFFHeader{id, uint16_t(body.size())}, body);
}

// Everything a storage writes through a plain record stream.
Bytes Written(const TBaseRecordStorage& s) {
    return biffbuild::Written([&](TXLSStream& stream) { s.WriteAll(stream); }, TExcelVersion::xvExcel40);
}

void ExpectSet(const TBaseRecordStorage& s, const std::vector<Expected>& set) {
    ASSERT_EQ(s.Count(), int(set.size()));
    for (size_t i = 0; i < set.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(s.GetItem(int(i)).Id(), set[i].id);
        auto b = s.GetItem(int(i)).Body();
        EXPECT_EQ(Bytes(b.begin(), b.end()), set[i].body);
    }
}

} // namespace

TEST(DefaultRecords, GlobalsAndSheetSetsByteForByte) {
    TRecordStorageGlobals globals;
    TRecordStorageSheet sheet;
    // New lists are empty; the defaults wait in the templates.
    EXPECT_EQ(globals.Count(), 0);
    EXPECT_EQ(globals.SlotCount(), 25);
    EXPECT_EQ(sheet.SlotCount(), 28);
    globals.ApplyDefaults();
    sheet.ApplyDefaults();
    ExpectSet(globals, GlobalsDefaults());
    ExpectSet(sheet, SheetDefaults());
    int64_t size = 0;
    for (auto& e : GlobalsDefaults()) size += 4 + int64_t(e.body.size());
    EXPECT_EQ(globals.TotalSize(), size);
}

TEST(DefaultRecords, WrittenThroughTheStreamByteForByte) {
    TRecordStorageSheet sheet;
    sheet.ApplyDefaults();
    sheet.Add(0x004D, Hex("01 02 03")); // a kept record after the defaults
    biffbuild::Stream expected;
    for (auto& e : SheetDefaults()) expected.Rec(e.id, e.body);
    EXPECT_EQ(Written(sheet), expected.Rec(0x004D, Hex("01 02 03")).Data());

    TRecordStorageEx2007Unknown later;
    later.Add(0x0896, Hex("AA"));
    later.Add(0x0863, {});
    EXPECT_EQ(Written(later), Hex("96 08 01 00 AA 63 08 00 00"));
    EXPECT_TRUE(TRecordStorageEx2007Unknown::Keeps(0x087C));
    EXPECT_TRUE(TRecordStorageEx2007Unknown::Keeps(0x08A3));
    EXPECT_FALSE(TRecordStorageEx2007Unknown::Keeps(0x0862));
}

TEST(DefaultRecords, ReadRecordsPullEarlierDefaultsInTemplateOrder) {
    TRecordStorageGlobals g;
    Update(g, 0x0809, GlobalsDefaults()[0].body);
    Update(g, 0x005C, Cat({Hex("04 00 00 49 76 61 6E"), Blanks(105)}));
    g.Add(0x0160, Hex("01 00")); // USESELFS, kept verbatim where it came
    Bytes window1 = Hex("00 01 00 02 00 03 00 04 38 00 00 00 00 00 01 00 58 02");
    Update(g, 0x003D, window1);
    EXPECT_EQ(Ids(g), (std::vector<uint16_t>{0x0809, 0x005C, 0x0160, 0x0042, 0x0161, 0x013D, 0x009C, 0x0019,
                                             0x0012, 0x0013, 0x01AF, 0x003D}));
    EXPECT_EQ(g.GetUserName(), u"Ivan");
    auto w = g.Window1Data();
    EXPECT_EQ(Bytes(w.begin(), w.end()), window1);
    // The moved defaults are copies of the templates, their slots emptied.
    EXPECT_EQ(BodyOf(g, 0x0042), Hex("B0 04"));
    EXPECT_EQ(g.TemplateAt(2), nullptr);
    EXPECT_NE(g.TemplateAt(11), nullptr);

    // A placeholder enters where its block starts, and only once.
    g.InsertPlaceholder(0x8001);
    g.InsertPlaceholder(0x8001);
    auto ids = Ids(g);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 0x8001), 1);
    EXPECT_EQ(ids.back(), 0x8001);
    EXPECT_EQ(BodyOf(g, 0x00DA), Hex("00 00")); // BOOKBOOL came along before it

    // EOF places every default still missing, in template order.
    Update(g, 0x000A, {});
    EXPECT_EQ(g.Count(), 26);
    for (int slot = 0; slot < g.SlotCount(); ++slot) EXPECT_EQ(g.TemplateAt(slot), nullptr);
    ids = Ids(g);
    std::vector<uint16_t> tail(ids.end() - 8, ids.end());
    EXPECT_EQ(tail, (std::vector<uint16_t>{0x8001, 0x8002, 0x008C, 0x01C1, 0x8003, 0x8004, 0x8005, 0x000A}));

    // A read TABID stays beside the template's empty one.
    TRecordStorageGlobals t;
    t.Add(0x013D, Hex("01 00 02 00"));
    Update(t, 0x0019, Hex("00 00"));
    EXPECT_EQ(Ids(t),
              (std::vector<uint16_t>{0x013D, 0x0809, 0x005C, 0x0042, 0x0161, 0x013D, 0x009C, 0x0019}));
    EXPECT_EQ(t.GetItem(5).Length(), 0);
}

TEST(DefaultRecords, InconsistentListsRaise) {
    TRecordStorageSheet s;
    Update(s, 0x0055, Hex("0A 00"));
    EXPECT_EQ(MessageOf([&] { Update(s, 0x0055, Hex("0A 00 00 00")); }), "Size missmatch on default record");
    // Same length: the body is replaced in place.
    Update(s, 0x0055, Hex("0C 00"));
    EXPECT_EQ(s.GetDefColWidth(), 12);

    EXPECT_EQ(MessageOf([&] { Update(s, 0x003D, Hex("00 00")); }), "[int] Unknown default record 003D");
    EXPECT_EQ(MessageOf([&] { s.InsertPlaceholder(0x8001); }), "[int] Unknown int. default record 8001");
    TBaseRecordStorage other;
    EXPECT_EQ(MessageOf([&] { s.MoveDefault(other.Add(0x1234, {})); }),
              "[int] Unknown move default record 1234");

    TRecordStorageGlobals g;
    EXPECT_EQ(MessageOf([&] { Update(g, 0x0200, Bytes(14)); }), "[int] Unknown default record 0200");
    EXPECT_EQ(MessageOf([&] { g.InsertPlaceholder(0x8106); }), "[int] Unknown int. default record 8106");
    // The globals keep a BOF's id: an older BOF has no default there.
    EXPECT_EQ(MessageOf([&] { Update(g, 0x0409, Hex("00 00 05 00")); }),
              "Excpected default record 0409 not found.");
    EXPECT_EQ(g.Count(), 0);
    // After a template was placed, the id is found in the list, not the templates.
    Update(g, 0x000A, {});
    EXPECT_TRUE(g.HasDefault(0x0012));
    EXPECT_FALSE(g.HasDefault(0x8001));
    EXPECT_FALSE(g.HasDefault(0x0055));
}

TEST(DefaultRecords, SheetStoresEveryBOFUnderTheBIFF8Id) {
    TRecordStorageSheet s;
    Update(s, 0x0409, Hex("00 00 10 00 AF 18"));
    ASSERT_EQ(s.Count(), 1);
    EXPECT_EQ(s.GetItem(0).Id(), 0x0809);
    EXPECT_EQ(s.GetItem(0).Length(), 6);
    // Typed access to a short BOF sees the default's tail and grows the block.
    auto bof = s.BOFData();
    ASSERT_EQ(bof.size(), 16u);
    EXPECT_EQ(Bytes(bof.begin(), bof.end()), Hex("00 00 10 00 AF 18 CD 07 C9 80 00 00 06 01 00 00"));
}

TEST(DefaultRecords, TypedPointersFollowTheRecordAsItMoves) {
    TRecordStorageGlobals g;
    // Set while the default is a template: the value moves with it.
    g.SetBackup(true);
    g.SetHideObj(2);
    Update(g, 0x000A, {});
    EXPECT_TRUE(g.GetBackup());
    EXPECT_EQ(BodyOf(g, 0x0040), Hex("01 00"));
    EXPECT_EQ(BodyOf(g, 0x008D), Hex("02 00"));
    // Set after the move: the record in the list changes.
    g.SetBackup(false);
    g.SetRefreshAll(true);
    g.SetWindowProtect(true);
    EXPECT_EQ(BodyOf(g, 0x0040), Hex("00 00"));
    EXPECT_EQ(BodyOf(g, 0x01B7), Hex("01 00"));
    EXPECT_EQ(BodyOf(g, 0x0019), Hex("01 00"));
    // A record read from a file is what the accessors see.
    TRecordStorageGlobals r;
    Update(r, 0x0022, Hex("01 00"));
    Update(r, 0x000E, Hex("00 00"));
    EXPECT_TRUE(r.GetDateMode());
    EXPECT_FALSE(r.GetPrecision());
    EXPECT_FALSE(r.GetBookBool());
    // Booleans are true only for 1.
    Update(r, 0x00DA, Hex("02 00"));
    EXPECT_FALSE(r.GetBookBool());
    // ReplaceData keeps the block the accessor points at.
    r.ReplaceData(r.IndexOf(0x00DA), Hex("01 00"));
    EXPECT_TRUE(r.GetBookBool());

    TRecordStorageSheet s;
    s.SetCalcCount(7);
    s.SetDelta(0.25);
    s.ApplyDefaults();
    EXPECT_EQ(BodyOf(s, 0x000C), Hex("07 00"));
    EXPECT_EQ(BodyOf(s, 0x0010), Hex("00 00 00 00 00 00 D0 3F"));
    // Each setter writes its own record.
    using S = TRecordStorageSheet;
    const std::pair<void (S::*)(uint16_t), uint16_t> words[] = {{&S::SetCalcMode, 0x000D},
                                                                {&S::SetRefMode, 0x000F},
                                                                {&S::SetWSBool, 0x0081},
                                                                {&S::SetProtect, 0x0012},
                                                                {&S::SetDefColWidth, 0x0055}};
    const std::pair<void (S::*)(bool), uint16_t> bools[] = {
        {&S::SetIteration, 0x0011},    {&S::SetSaveRecalc, 0x005F}, {&S::SetPrintGridLines, 0x002B},
        {&S::SetPrintHeaders, 0x002A}, {&S::SetHCenter, 0x0083},    {&S::SetVCenter, 0x0084}};
    for (auto [set, id] : words) {
        (s.*set)(0x0A0B);
        EXPECT_EQ(BodyOf(s, id), Hex("0B 0A")) << id;
    }
    for (auto [set, id] : bools) {
        (s.*set)(true);
        EXPECT_EQ(BodyOf(s, id), Hex("01 00")) << id;
    }
    EXPECT_TRUE(s.GetIteration() && s.GetSaveRecalc() && s.GetPrintGridLines() && s.GetPrintHeaders() &&
                s.GetHCenter() && s.GetVCenter());
    s.Window2Data()[0] = 0xB7;
    EXPECT_EQ(BodyOf(s, 0x023E)[0], 0xB7);
    s.SetDefColWidth(10);

    // Applying again keeps the current values and the single full set.
    s.ApplyDefaults();
    EXPECT_EQ(s.Count(), 28);
    EXPECT_EQ(BodyOf(s, 0x0055), Hex("0A 00"));
    s.SetDefColWidth(11);
    EXPECT_EQ(BodyOf(s, 0x0055), Hex("0B 00"));

    // Clear starts over from the defaults.
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.GetDefColWidth(), 8);
    EXPECT_EQ(s.GetCalcCount(), 100);
    EXPECT_EQ(s.GetDelta(), 0.001);
}

TEST(DefaultRecords, ShortRecordsFromFilesNeverReadOutside) {
    TRecordStorageSheet s;
    // A truncated DELTA and SELECTION, a BIFF5-sized WINDOW2 and DIMENSIONS.
    Update(s, 0x0010, Hex("00 00"));
    Update(s, 0x0200, Hex("01 00 05 00 00 00 03 00 00 00"));
    Update(s, 0x023E, Hex("B6 06 02 00 01 00 00 00 00 00"));
    EXPECT_EQ(s.Count(), 25);
    Update(s, 0x001D, Hex("03"));
    EXPECT_EQ(s.GetDelta(), 0.001); // the default answers for missing bytes
    s.SetDelta(2.0);
    EXPECT_EQ(s.GetItem(s.IndexOf(0x0010)).Length(), 8);
    EXPECT_EQ(s.GetDelta(), 2.0);
    auto w2 = s.Window2Data();
    ASSERT_EQ(w2.size(), 18u);
    EXPECT_EQ(Bytes(w2.begin(), w2.begin() + 12), Hex("B6 06 02 00 01 00 00 00 00 00 00 00"));
    EXPECT_EQ(s.DimensionsData().size(), 14u);
    auto sel = s.SelectionData();
    ASSERT_EQ(sel.size(), 15u);
    EXPECT_EQ(Bytes(sel.begin(), sel.end()), Hex("03 01 00 01 00 00 00 01 00 01 00 01 00 01 01"));
    // A longer record keeps its tail, a one-byte word record reads the default.
    TRecordStorageSheet t;
    Update(t, 0x00A1, Bytes(40, 0xEE));
    EXPECT_EQ(t.SetupData().size(), 40u);
    Update(t, 0x0055, Hex("09"));
    EXPECT_EQ(t.GetDefColWidth(), 8);

    // A body shorter than its header is a malformed file.
    Bytes three = Hex("01 02 03");
    EXPECT_EQ(MessageOf([&] { s.UpdateDefault(TBIFFHeader{0x0083, 4}, three); }), "Bad record in file");
    EXPECT_EQ(MessageOf([&] { s.Add(TBIFFHeader{0x1234, 4}, three); }), "Bad record in file");
    // A longer buffer gives only the header's bytes.
    TBaseRecordStorage plain;
    plain.Add(TBIFFHeader{0x1234, 2}, three);
    EXPECT_EQ(plain.GetItem(0).Length(), 2);
}

TEST(DefaultRecords, UserName) {
    TRecordStorageGlobals g;
    EXPECT_EQ(g.GetUserName(), u"");
    g.SetUserName(u"Ab");
    EXPECT_EQ(BodyOf(g, 0x005C), Bytes{}); // still a template
    g.ApplyDefaults();
    EXPECT_EQ(BodyOf(g, 0x005C), Cat({Hex("02 00 00 41 62"), Blanks(107)}));
    EXPECT_EQ(g.GetUserName(), u"Ab");

    std::u16string longName(200, u'x');
    longName[108] = u'y';
    g.SetUserName(longName);
    EXPECT_EQ(g.GetUserName(), longName.substr(0, 109));
    EXPECT_EQ(BodyOf(g, 0x005C).size(), 112u);

    // Names beyond Latin-1 are stored as UTF-16 and come back whole.
    g.SetUserName(u"Оператор каси");
    EXPECT_EQ(BodyOf(g, 0x005C)[2], 1);
    EXPECT_EQ(g.GetUserName(), u"Оператор каси");
    std::u16string longWide(80, u'Ж');
    g.SetUserName(longWide);
    EXPECT_EQ(g.GetUserName(), longWide.substr(0, 54));

    // A read record: 8-bit names ignore the count and lose surrounding blanks
    // and control characters; UTF-16 names are taken by their count.
    TRecordStorageGlobals r;
    Update(r, 0x005C, Cat({Hex("00 00 00 09 20 41 20 42 0D"), Blanks(103)}));
    EXPECT_EQ(r.GetUserName(), u"A B");
    TRecordStorageGlobals u;
    Update(u, 0x005C, Cat({Hex("02 00 01 1F 04 40 04 20 00"), Blanks(103)}));
    EXPECT_EQ(u.GetUserName(), u"Пр");
    TRecordStorageGlobals shortName;
    Update(shortName, 0x005C, Hex("05 00 01 41 00"));
    EXPECT_EQ(shortName.GetUserName(), u"A");
}

TEST(RecordStorage, ListOperations) {
    TBaseRecordStorage s;
    s.Add(0x0001, Hex("AA"));
    s.Add(0x0002, Hex("BB CC"));
    s.Add(0x0001, Hex("DD"));
    EXPECT_EQ(s.IndexOf(0x0001), 0);
    EXPECT_EQ(s.IndexOf(0x0003), -1);
    EXPECT_EQ(s.TotalSize(), 4 + 1 + 4 + 2 + 4 + 1);
    s.ReplaceData(1, Hex("01 02 03 04"));
    EXPECT_EQ(s.GetItem(1).Length(), 4);
    EXPECT_EQ(s.TotalSize(), 18);

    TBaseRecordStorage copy;
    copy.Add(0x0009, {});
    s.CopyTo(copy);
    EXPECT_EQ(Ids(copy), (std::vector<uint16_t>{0x0009, 0x0001, 0x0002, 0x0001}));
    EXPECT_EQ(Written(copy), Hex("09 00 00 00 01 00 01 00 AA 02 00 04 00 01 02 03 04 01 00 01 00 DD"));
    // The copy is independent of the source.
    s.ReplaceData(0, Hex("EE"));
    EXPECT_EQ(copy.GetItem(1).Body()[0], 0xAA);

    EXPECT_EQ(MessageOf([&] { s.GetItem(3); }), "List index out of bounds (3)");
    EXPECT_EQ(MessageOf([&] { s.Add(0x0001, Bytes(70000)); }), "Record too long");
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.TotalSize(), 0);
}

// Records share one arena: rewriting one in place, longer, shorter, from its
// own bytes or past the small-block size leaves its neighbours and every
// block's address as they were, and rewriting it again and again reuses
// what it had.
TEST(RecordStorage, RewritesKeepNeighboursAndMemory) {
    TBaseRecordStorage s;
    std::vector<Bytes> model;
    for (int i = 0; i < 5; ++i) model.push_back(Bytes(size_t(i), uint8_t(0x10 + i)));
    for (int i = 0; i < 5; ++i) s.Add(uint16_t(0x0100 + i), model[size_t(i)]);
    std::vector<const TRecordBlock*> addresses;
    for (int i = 0; i < 5; ++i) addresses.push_back(&s.GetItem(i));

    struct Step {
        int index;
        char op; // R: resize to n, A: assign n bytes of 0xC0+n, S: assign its own body from byte n
        int n;
    };
    const Step steps[] = {{2, 'R', 5}, {2, 'R', 1},    {2, 'R', 2000}, {2, 'A', 3},
                          {1, 'A', 0}, {3, 'S', 1},    {3, 'R', 60},   {3, 'S', 50},
                          {4, 'R', 0}, {0, 'A', 1500}, {0, 'A', 12},   {4, 'S', 0}};
    for (const Step& st : steps) {
        TRecordBlock& b = s.GetItem(st.index);
        Bytes& m = model[size_t(st.index)];
        if (st.op == 'R') {
            s.Resize(b, uint16_t(st.n));
            m.resize(size_t(st.n), 0);
        } else if (st.op == 'A') {
            m.assign(size_t(st.n), uint8_t(0xC0 + st.n));
            s.Assign(b, m);
        } else {
            m.erase(m.begin(), m.begin() + st.n);
            s.Assign(b, b.Body().subspan(size_t(st.n)));
        }
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(std::string(1, st.op) + std::to_string(st.n) + " record " + std::to_string(i));
            EXPECT_EQ(&s.GetItem(i), addresses[size_t(i)]);
            EXPECT_EQ(s.GetItem(i).Id(), 0x0100 + i);
            EXPECT_EQ(Bytes(s.GetItem(i).Body().begin(), s.GetItem(i).Body().end()), model[size_t(i)]);
        }
    }

    const int sizes[] = {0, 7, 9, 300, 1030, 8224, 5};
    auto round = [&] {
        for (int n : sizes) s.ReplaceData(2, Bytes(size_t(n), 1));
        for (int n : sizes) s.Resize(s.GetItem(3), uint16_t(n));
    };
    round();
    const size_t reserved = s.BytesReserved();
    for (int i = 0; i < 1000; ++i) round();
    EXPECT_EQ(s.BytesReserved(), reserved);
}

// A sheet list as a read leaves it (its BOF, records kept as read, its EOF)
// written in another version: a kept record goes only where its layout is
// shared, its CONTINUE records with it, an embedded substream whole or not
// at all; what is left out is named once per id.
TEST(KeptRecords, OnlyRecordsOfASharedLayoutCrossVersions) {
    constexpr TExcelVersion V2 = TExcelVersion::xvExcel21, V3 = TExcelVersion::xvExcel30,
                            V5 = TExcelVersion::xvExcel50, V8 = TExcelVersion::xvExcel97,
                            None = TExcelVersion::xvNone;
    const struct {
        const char* Name;
        TExcelVersion Read, Written;
        std::vector<uint16_t> Kept;
        const char* Goes; // per kept record: 1 written, 0 left out
        std::vector<std::string> LeftOut;
        int Substreams;
    } cases[] = {
        {"an Excel 3 FORMAT whose id reads AUTOFILTER",
         V3,
         V8,
         {0x009E, 0x003C, 0x0013, 0x003C},
         "0011",
         {"record 0x009E"},
         0},
        {"Excel 5 validations",
         V5,
         V8,
         {0x00C1, 0x01BE, 0x003C, 0x01BE, 0x00E1},
         "10001",
         {"DV (0x01BE) x2"},
         0},
        {"Excel 97 records to Excel 5",
         V8,
         V5,
         {0x00EF, 0x0099, 0x004D, 0x01C0},
         "0100",
         {"PHONETIC (0x00EF)", "PLS (0x004D)", "EXCEL9FILE (0x01C0)"},
         0},
        {"the version read", V5, V5, {0x01BE, 0x009E}, "11", {}, 0},
        {"an embedded chart",
         V5,
         V8,
         {0x005D, 0x0809, 0x1001, 0x0809, 0x000A, 0x000A, 0x0013},
         "0000001",
         {"OBJ (0x005D)"},
         1},
        {"the version read unknown",
         None,
         V8,
         {0x0013, 0x0099, 0x00C1},
         "100",
         {"record 0x0099", "record 0x00C1"},
         0},
        {"an Excel 2 id of a later marker",
         V2,
         V8,
         {0x00E1, 0x0081},
         "00",
         {"record 0x00E1", "record 0x0081"},
         0},
        {"writer's own records", V3, V8, {0x013D, 0x001D}, "11", {}, 0},
        {"an Excel 4 file, whose writer makes every record",
         V5,
         TExcelVersion::xvExcel40,
         {0x0013, 0x00C1},
         "00",
         {"record 0x0013", "MMS (0x00C1)"},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TRecordStorageSheet list;
        const TRecordBlock& own = *list.DefaultBlock(biff::BOF);
        const Bytes bof(own.Body().begin(), own.Body().end());
        list.UpdateDefault(TBIFFHeader{biff::BOF, uint16_t(bof.size())}, bof);
        std::vector<int> at;
        const Bytes body = {1, 2, 3, 4};
        for (uint16_t id : c.Kept) {
            list.Add(TBIFFHeader{id, uint16_t(body.size())}, body);
            at.push_back(list.Count() - 1);
        }
        list.UpdateDefault(TBIFFHeader{biff::EOF_RECORD, 0}, {});
        const std::vector<bool> written = KeptRecordsWritten(list, c.Read, c.Written);
        std::string goes;
        for (int i : at) goes += written[size_t(i)] ? '1' : '0';
        EXPECT_EQ(goes, c.Goes);
        // The defaults are the writer's own.
        EXPECT_TRUE(written.front());
        EXPECT_TRUE(written.back());
        const TKeptLeftOut left = KeptRecordsLeftOut(list, c.Read, c.Written);
        EXPECT_EQ(left.Names, c.LeftOut);
        EXPECT_EQ(left.Substreams, c.Substreams);
    }
}

// The record layer of sheet drawings: property tables, anchors, OBJ
// sub-records, TXO texts cut into CONTINUE records, NOTE records.
#include "SrcXLS/drawing/ObjRecords.h"
#include "support_drawing.h"
#include "support_hex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace xls;
using drawingtest::Bytes;
using drawingtest::Record;

TEST(DrawingOPT, PropertiesAndTheirBytes) {
    TOPT opt;
    opt.Add(0x0080, 7);
    opt.Add(0x0004, 9); // property 4 goes first
    opt.AddComplexText(261, u"ab");
    opt.FixCount();
    EXPECT_EQ(opt.Items.front().Number(), 4);
    EXPECT_EQ(opt.Count, 3);
    EXPECT_EQ(opt.Size(), 3u * 6 + 6);
    EXPECT_EQ(opt.ComplexText(261), u"ab");
    EXPECT_EQ(opt.Value(128), 7);
    EXPECT_EQ(opt.Value(999), -1);
    opt.Put(0x0080, 8); // present: the value changes
    opt.Put(0x01BF, 1); // absent: added, count follows
    EXPECT_EQ(opt.Value(128), 8);
    EXPECT_EQ(opt.Count, 4);

    Bytes body;
    opt.AppendBody(body);
    EXPECT_EQ(body, FromHex("0400 09000000 8000 08000000 05C1 06000000 BF01 01000000 6100 6200 0000"));
    TOPT back;
    back.Parse(body, 4);
    EXPECT_EQ(back.ComplexText(261), u"ab");
    EXPECT_EQ(back.Size(), opt.Size());
}

TEST(DrawingOPT, TablesThatLieAreRefused) {
    const struct {
        const char* Body;
        uint16_t Count;
    } cases[] = {
        {"8000 01000000", 2},      // fewer items than the count
        {"05C1 10000000 6100", 1}, // complex data beyond the body
        {"8000 01000000 FF", 1},   // a byte left over
        {"05C1 FFFFFFFF", 1},      // a length past anything
    };
    for (const auto& c : cases) {
        TOPT opt;
        try {
            opt.Parse(FromHex(c.Body), c.Count);
            ADD_FAILURE() << c.Body;
        } catch (const XLSError& e) {
            EXPECT_STREQ(e.what(), "Error when reading OPT items, Length <> 0") << c.Body;
        }
    }
}

TEST(DrawingAnchors, OffsetsAsFractions) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double Fraction;
        int Units;
        int32_t Stored;
    } writes[] = {
        {0.5, ColOffsetUnits, 512},      {0.5, RowOffsetUnits, 128}, {1.7, RowOffsetUnits, 256},
        {-0.2, ColOffsetUnits, 0},       {nan, ColOffsetUnits, 0},   {0.5 / 1024, ColOffsetUnits, 0},
        {1.5 / 1024, ColOffsetUnits, 2}, // halves go to the even neighbour
    };
    for (const auto& w : writes) EXPECT_EQ(FractionToOffset(w.Fraction, w.Units), w.Stored) << w.Fraction;
    EXPECT_DOUBLE_EQ(OffsetToFraction(1023, ColOffsetUnits), 0.9990234375);

    TShapeClientAnchor shape;
    TDrwAnchor item;
    item.SetShape(&shape);
    item.SetCol1Offset(0.25);
    item.SetRow2Offset(0.5);
    EXPECT_EQ(shape.Anchor.Col1Offset, 256);
    EXPECT_EQ(shape.Anchor.Row2Offset, 128);
    item.SetFlipHorizontal(true);
    item.SetFlipVertical(true);
    item.SetFlipHorizontal(false); // clears the bit again
    EXPECT_EQ(shape.Flags, uint32_t(sfFlipV));
    EXPECT_FALSE(item.GetFlipHorizontal());
}

TEST(DrawingNotes, NoteRecords) {
    TNoteRecord n{3, 2, 0x0002, 7, u""};
    Bytes empty = EncodeNote(n);
    EXPECT_EQ(empty, FromHex("0300 0200 0200 0700 0000 00"));
    n.Author = u"Іван";
    TNoteRecord back = DecodeNote(EncodeNote(n));
    EXPECT_EQ(back.Author, u"Іван");
    EXPECT_EQ(back.Row, 3);
    EXPECT_EQ(back.Col, 2);
    // 8-bit authors with the padding byte other writers add.
    back = DecodeNote(FromHex("0100 0000 0000 0100 0300 00 416263 00"));
    EXPECT_EQ(back.Author, u"Abc");
    // An author past the end of the record keeps what the record holds.
    back = DecodeNote(FromHex("0100 0000 0000 0100 0900 00 4162"));
    EXPECT_EQ(back.Author, u"Ab");
    EXPECT_TRUE(back.AuthorCut);
}

namespace {

std::vector<Record> WrittenText(const TShapeOutsideMsoBaseText& text) {
    return drawingtest::WrittenRecords([&](TXLSStream& s) {
        TDrawingOut out(s);
        text.Write(out);
    });
}

// Reads a TXO and its CONTINUEs (the records after the ClientTextbox).
TShapeOutsideMsoBaseText ReadText(const std::vector<Record>& records, std::vector<Record>* rest = nullptr) {
    drawingtest::RecordReader in(records);
    TShapeOutsideMsoBaseText text(1, okTextBox);
    text.ReadText(in.Stream());
    if (rest) *rest = in.Rest();
    return text;
}

} // namespace

// Pieces of 8222 bytes each after the flag byte; the reader takes records
// until the text is complete, whatever their number, then the runs, and
// leaves the next record alone.
TEST(DrawingText, TextsCutIntoContinueRecords) {
    const struct {
        size_t Chars;
        std::vector<size_t> Pieces; // CONTINUE lengths of the text
    } cases[] = {
        {0, {}}, {1, {3}}, {4111, {8223}}, {4112, {8223, 3}}, {12334, {8223, 8223, 8223, 3}},
    };
    for (const auto& c : cases) {
        TShapeOutsideMsoBaseText text(5, okTextBox);
        text.SetDefaultText();
        text.SetText(drawingtest::TextOf(c.Chars));
        text.Runs = {{0, 6, 0}, {0, 0, 0}};
        auto records = WrittenText(text);
        ASSERT_GE(records.size(), 2u);
        EXPECT_EQ(records[0].Id, biff::MSODRAWING);
        EXPECT_EQ(records[0].Body, FromHex("0000 0DF0 00000000"));
        EXPECT_EQ(records[1].Id, biff::TXO);
        std::vector<size_t> pieces;
        for (size_t i = 2; i + 1 < records.size(); ++i) pieces.push_back(records[i].Body.size());
        if (c.Chars == 0) {
            EXPECT_EQ(records.size(), 2u); // nothing after an empty text
            EXPECT_EQ(GetU16(records[1].Body.data() + 12), 0);
            continue;
        }
        EXPECT_EQ(pieces, c.Pieces) << c.Chars;
        Bytes runs = FromHex("0000 0600 00000000 0000 0000 00000000");
        PutU16(runs.data() + 8, uint16_t(c.Chars));
        EXPECT_EQ(records.back().Body, runs);

        std::vector<Record> after(records.begin() + 1, records.end());
        after.push_back({0x0203, Bytes(14, 0)});
        std::vector<Record> rest;
        TShapeOutsideMsoBaseText back = ReadText(after, &rest);
        EXPECT_EQ(back.Text, text.Text) << c.Chars;
        ASSERT_EQ(back.Runs.size(), 2u);
        EXPECT_EQ(back.Runs[0].Font, 6);
        EXPECT_EQ(back.Runs[1].FirstChar, c.Chars); // the closing run ends the text
        ASSERT_EQ(rest.size(), 1u);
        EXPECT_EQ(rest[0].Id, 0x0203);
    }
}

// Other writers: 8-bit pieces of 8223 characters, and pieces that change
// between 8-bit and UTF-16.
TEST(DrawingText, PiecesOfEitherWidth) {
    Bytes txo = FromHex("1202 0000 000000000000 0000 1000 0000 0000");
    PutU16(txo.data() + 10, 8223 + 2);
    Bytes first(1 + 8223, 'a');
    first[0] = 0;
    Bytes second = FromHex("01 1004 4100");
    std::vector<Record> records = {{biff::TXO, txo},
                                   {biff::CONTINUE, first},
                                   {biff::CONTINUE, second},
                                   {biff::CONTINUE, FromHex("0000 0000 00000000 0000 0000 00000000")}};
    TShapeOutsideMsoBaseText back = ReadText(records);
    ASSERT_EQ(back.Text.size(), 8225u);
    EXPECT_EQ(back.Text.substr(8222), u"a\u0410A");
    EXPECT_EQ(back.Runs.size(), 2u);

    // A TXO without its text records is a clear failure.
    records.resize(1);
    EXPECT_THROW(ReadText(records), XLSError);
}

namespace {

// The OBJ body of records read into a shape.
struct ReadObj {
    TShape shape;
    std::unique_ptr<TShapeOutsideMso> kept;
    uint16_t highest = 0;
    explicit ReadObj(const Bytes& body) {
        drawingtest::RecordReader in({{biff::OBJ, body}});
        kept = ReadObjRecord(shape, in.Stream(), highest);
    }
};

} // namespace

TEST(DrawingObj, SubRecordsAsRead) {
    // A picture: ftCmo, ftCf, ftPioGrbit, ftEnd, a padding byte.
    Bytes picture = FromHex("1500 1200 0800 0400 1160 000000000000000000000000 0700 0200 FFFF 0800 0200 0000 "
                            "0000 0000 00");
    ReadObj obj(picture);
    EXPECT_FALSE(obj.kept);
    EXPECT_EQ(obj.highest, 4);
    ASSERT_EQ(obj.shape.ObjSubRecords.size(), 4u);
    EXPECT_EQ(obj.shape.ObjectType(), objtype::Picture);
    EXPECT_EQ(obj.shape.ObjTail, Bytes{0});
    auto written = drawingtest::WrittenRecords([&](TXLSStream& s) { WriteObjRecord(obj.shape, s); });
    EXPECT_EQ(written[0].Body, picture);

    // List data of an object other than a list box stops before the ftEnd
    // whatever its cb says.
    ReadObj lbs(FromHex("1500 1200 0800 0500 1160 000000000000000000000000 1300 EE1F 01020304 0000 0000"));
    ASSERT_EQ(lbs.shape.ObjSubRecords.size(), 3u);
    EXPECT_EQ(lbs.shape.ObjSubRecords[1].Body, FromHex("01020304"));

    // A control takes the sub-records (the shape keeps none) and writes
    // them back as read while nothing changed; its object id counts.
    Bytes listBox = FromHex("1500 1200 1200 0900 1120 000000000000000000000000 0C00 1400 "
                            "0000000000000000040001000500000010000100 1300 EE1F 0000 0A00 0100 0800 0000");
    ReadObj control(listBox);
    ASSERT_TRUE(control.kept);
    EXPECT_EQ(control.kept->ObjectType(), objtype::ListBox);
    EXPECT_EQ(control.highest, 9);
    EXPECT_TRUE(control.shape.ObjSubRecords.empty());
    auto again = drawingtest::WrittenRecords([&](TXLSStream& s) {
        TDrawingOut out(s);
        control.kept->Write(out);
    });
    EXPECT_EQ(again[0].Body, listBox);

    // An ftCmo too short for its flags names no object.
    ReadObj shortCmo(FromHex("1500 0400 0600 0100 0000 0000"));
    shortCmo.shape.Opt.Add(0x0080, 1);
    EXPECT_EQ(shortCmo.shape.ObjectType(), -1);
    auto attached = CreateAttachedObject(shortCmo.shape);
    ASSERT_TRUE(attached);
    EXPECT_EQ(attached->CmoFlags, 0);

    try {
        ReadObj unknown(FromHex("1500 1200 0800 0100 1160 000000000000000000000000 0200 0000"));
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Unknown OBJ record 02");
    }
    EXPECT_THROW(ReadObj(FromHex("1500 1200 0800 0100 1160 000000000000000000000000 0700 0800 FFFF")),
                 XLSError);
}

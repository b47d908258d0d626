// Sheet drawings: the shapes the creators make, the records a drawing is
// written as and read back from, the ids it hands out, the editing that
// carries shapes along with cells, and malformed drawings.
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/model/XFonts.h"
#include "support_drawing.h"
#include "support_files.h"
#include "support_hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

using namespace xls;
using drawingtest::Bytes;
using drawingtest::Record;

namespace {

// Drawing records built by hand.
struct Esc {
    Bytes b;
    Esc& Atom(uint16_t type, uint16_t instance, const Bytes& body, uint16_t version = 0) {
        TMSOHeader{version, instance, type, uint32_t(body.size())}.AppendTo(b);
        b.insert(b.end(), body.begin(), body.end());
        return *this;
    }
    Esc& Box(uint16_t type, const Esc& children) {
        TMSOHeader{15, 0, type, uint32_t(children.b.size())}.AppendTo(b);
        b.insert(b.end(), children.b.begin(), children.b.end());
        return *this;
    }
};

Bytes U32s(std::initializer_list<uint32_t> values) {
    Bytes out;
    TByteWriter w(out);
    for (uint32_t v : values) w.U32(v);
    return out;
}

const Bytes Rect16(16, 0);
const Bytes NoAnchor(18, 0);
const Bytes LineObj = FromHex("1500 1200 0100 0100 1160 000000000000000000000000 0000 0000");

// The root's container and a shape container of a line with a client anchor.
Esc RootContainer(uint32_t rootId) {
    return Esc().Box(mso::SpContainer,
                     Esc().Atom(mso::Spgr, 0, Rect16, 1).Atom(mso::Sp, 0, U32s({rootId, 5}), 2));
}
Esc LineShape(uint32_t id, const Esc& extra = {}) {
    Esc inner;
    inner.Atom(mso::Sp, 20, U32s({id, 0x0A00}), 2).Atom(mso::OPT, 1, FromHex("BF01 08000800"), 3);
    inner.b.insert(inner.b.end(), extra.b.begin(), extra.b.end());
    inner.Atom(mso::ClientAnchor, 0, NoAnchor).Atom(mso::ClientData, 0, {});
    return Esc().Box(mso::SpContainer, inner);
}
Esc ChildShape(uint32_t id) {
    return Esc().Box(mso::SpContainer, Esc()
                                           .Atom(mso::Sp, 1, U32s({id, 0x0A02}), 2)
                                           .Atom(mso::OPT, 0, {}, 3)
                                           .Atom(mso::ChildAnchor, 0, Rect16)
                                           .Atom(mso::ClientData, 0, {}));
}

// A sheet drawing cut where the OBJ records go: one MSODRAWING per piece.
std::vector<Record> SheetDrawing(uint16_t drawingId, const std::vector<Bytes>& pieces, size_t objs) {
    std::vector<Record> out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        out.push_back({biff::MSODRAWING, pieces[i]});
        if (i < objs) out.push_back({biff::OBJ, LineObj});
    }
    (void)drawingId;
    return out;
}

Bytes DgHeader(uint16_t drawingId, uint32_t totalLength, uint32_t nextId) {
    Bytes b;
    TMSOHeader{15, 0, mso::DgContainer, totalLength}.AppendTo(b);
    Esc dg;
    dg.Atom(mso::Dg, drawingId, U32s({3, nextId}));
    b.insert(b.end(), dg.b.begin(), dg.b.end());
    return b;
}

// A group, a drawing on it and fonts; text ids fixed.
struct Fixture {
    TXFonts fonts;
    TEscherGroup group;
    std::unique_ptr<TEscherDrawing> NewDrawing() {
        auto d = std::make_unique<TEscherDrawing>(group, &fonts);
        d->TextIdSource = [] { return 0x12345678u; };
        return d;
    }
};

using Creator = TShapeClientAnchor& (TEscherDrawing::*)();

// A sheet drawing whose chart holds a drawing of its own with four notes
// and three NOTE records (found by the fuzz target).
std::vector<Record> ChartWithItsOwnDrawing() {
    const char* src = std::getenv("Q710_SOURCE_DIR");
    const std::string seed = testfiles::Slurp(
        std::string(src ? src : ".") + "/fuzz/corpus/drawing_sheet/4374ab63bb6e9319a5fede8dded563f4c1140c9c");
    return biffbuild::Records(Bytes(seed.begin(), seed.end()));
}

} // namespace

TEST(DrawingShapes, EachCreatorWritesAndReadsBack) {
    const struct {
        const char* Name;
        Creator Create;
        uint32_t ShapeType;
        int ObjectType;
        int Col2, Row2;
        bool Text;
    } creators[] = {
        {"text box", &TEscherDrawing::AddTextBox, 202, objtype::Text, 3, 5, true},
        {"basic shape", &TEscherDrawing::AddBasicShape, 20, objtype::Line, 3, 5, false},
        {"note", &TEscherDrawing::AddNote, 202, objtype::Note, 3, 5, true},
        {"auto shape", &TEscherDrawing::AddAutoShape, 183, objtype::AutoShape, 2, 5, false},
        {"picture", &TEscherDrawing::AddPicture, 75, objtype::Picture, 3, 7, false},
    };
    for (const auto& c : creators) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        auto d = f.NewDrawing();
        TShapeClientAnchor& shape = ((*d).*c.Create)();
        EXPECT_EQ(shape.ShapeType, c.ShapeType);
        EXPECT_EQ(shape.ObjectType(), c.ObjectType);
        EXPECT_EQ(shape.ShapeId, 1025u);
        EXPECT_EQ(shape.ObjectId(), 1);
        EXPECT_EQ(shape.Flags, 0x0A00u);
        EXPECT_EQ(std::tie(shape.Anchor.Col1, shape.Anchor.Row1, shape.Anchor.Col2, shape.Anchor.Row2),
                  std::tie(static_cast<const int&>(1), static_cast<const int&>(1), c.Col2, c.Row2));
        EXPECT_EQ(shape.Opt.Count, shape.Opt.Items.size());
        if (auto* note = TEscherDrawing::NoteOf(shape)) {
            note->Col = 4;
            note->Row = 2;
            note->Author = u"Оператор";
            note->SetText(u"Перевірити ціну");
        }

        auto records = drawingtest::WrittenDrawing(*d);
        ASSERT_GE(records.size(), 2u);
        // The first MSODRAWING: the drawing's head and the shape, without
        // the ClientTextbox of a text, which goes into its own.
        EXPECT_EQ(records[0].Id, biff::MSODRAWING);
        EXPECT_EQ(records[0].Body.size(), 80 + shape.Size() - (c.Text ? 8 : 0));
        EXPECT_EQ(records[1].Id, biff::OBJ);
        if (c.Text) {
            ASSERT_GE(records.size(), 4u);
            EXPECT_EQ(records[2].Id, biff::MSODRAWING);
            EXPECT_EQ(records[2].Body.size(), 8u);
            EXPECT_EQ(records[3].Id, biff::TXO);
        }
        EXPECT_EQ(records.back().Id, c.ObjectType == objtype::Note ? biff::NOTE : records.back().Id);

        // Read back into a workbook of its own and written again: the same records.
        Fixture g;
        auto back = g.NewDrawing();
        EXPECT_TRUE(drawingtest::ReadDrawingFrom(*back, records).empty());
        EXPECT_EQ(back->DrawingId(), 1);
        ASSERT_EQ(back->ShapeCount(), 1);
        if (c.ObjectType == objtype::Note) {
            TShapeOutsideMsoNote* note = TEscherDrawing::NoteOf(back->Shape(0));
            ASSERT_TRUE(note);
            EXPECT_EQ(std::tie(note->Col, note->Row), std::make_tuple(4u, 2u));
            EXPECT_EQ(note->Author, u"Оператор");
            EXPECT_EQ(note->Text, u"Перевірити ціну");
        }
        EXPECT_EQ(drawingtest::WrittenDrawing(*back), records);
    }
}

TEST(DrawingShapes, NoteRunsKeepTheirFontWhenFontsMove) {
    Fixture f;
    auto d = f.NewDrawing();
    const int before = f.fonts.Count();
    TShapeClientAnchor& shape = d->AddNote();
    ASSERT_EQ(f.fonts.Count(), before + 1);
    EXPECT_EQ(f.fonts.GetItem(before)->Height, 160u);
    TShapeOutsideMsoNote* note = TEscherDrawing::NoteOf(shape);
    note->SetText(u"x");
    // A font below it goes: the note's run follows its font.
    TXFont bold;
    bold.Style = xfsBold;
    f.fonts.FindOrAdd(bold);
    f.fonts.Delete(before - 1);
    auto records = drawingtest::WrittenDrawing(*d);
    auto lines = drawingtest::DecodeDrawing(records);
    char expected[32];
    std::snprintf(expected, sizeof expected, "runs 0000%02X00", before - 1);
    bool found = false;
    for (const auto& l : lines) found |= l.find(expected) != std::string::npos;
    EXPECT_TRUE(found);
    // The note holds a use of its font; the font goes with the last note.
    EXPECT_EQ(f.fonts.GetItem(before - 1)->UsageCount, 1);
    const int count = f.fonts.Count();
    d->Clear();
    EXPECT_EQ(f.fonts.Count(), count - 1);
}

// Every drawing owns whole blocks of 1024 ids, recorded in the cluster
// table: ids never collide across drawings, however many shapes a sheet
// has, and a drawing id freed in the middle is not handed out again.
TEST(DrawingShapes, IdsOfDrawingsAndClusters) {
    Fixture f;
    auto first = f.NewDrawing(), second = f.NewDrawing();
    first->AddBasicShape();
    second->AddBasicShape();
    EXPECT_EQ(std::make_pair(first->DrawingId(), first->Root().ShapeId), std::make_pair(uint16_t(1), 1024u));
    EXPECT_EQ(std::make_pair(second->DrawingId(), second->Root().ShapeId),
              std::make_pair(uint16_t(2), 2048u));
    for (int i = 0; i < 1100; ++i) first->AddBasicShape();
    second->AddBasicShape();

    std::set<uint32_t> ids;
    for (auto* d : {first.get(), second.get()})
        for (int i = 0; i < d->ShapeCount(); ++i) {
            uint32_t id = d->Shape(i).ShapeId;
            EXPECT_TRUE(ids.insert(id).second) << id;
            EXPECT_TRUE(f.group.OwnsCluster(d->DrawingId(), id)) << id;
        }
    EXPECT_EQ(first->HighestObjectId(), 1101);

    // The Dgg lists one cluster per block, in block order.
    auto group = drawingtest::WrittenGroup(f.group);
    drawingtest::Bytes data;
    for (const auto& r : group) data.insert(data.end(), r.Body.begin(), r.Body.end());
    ASSERT_EQ(GetU16(data.data() + 10), mso::Dgg);
    std::vector<uint32_t> dgg;
    for (size_t at = 16; at < 16 + 4 * 10; at += 4) dgg.push_back(GetU32(data.data() + at));
    // Highest id (the next free one), clusters + 1, shapes, drawings, then
    // per cluster its drawing and the ids it used: drawing 1 went on in a
    // third block after drawing 2 took the second.
    EXPECT_EQ(dgg, (std::vector<uint32_t>{3150, 4, 1102 + 3, 2, 1, 1024, 2, 3, 1, 78}));

    first->Clear();
    auto third = f.NewDrawing();
    third->AddBasicShape();
    EXPECT_EQ(third->DrawingId(), 3);
    EXPECT_EQ(third->Root().ShapeId, 4096u);
}

// Ids a file repeats or puts in another drawing's block: the shapes are
// kept as read, new shapes get ids of blocks of their own.
TEST(DrawingShapes, IdsAFileRepeatsAreNotHandedOutAgain) {
    Esc shapes = LineShape(1025);
    Esc again = LineShape(1025);
    Bytes head = DgHeader(2, 0, 1026);
    Esc root = RootContainer(1024);
    TMSOHeader{15, 0, mso::SpgrContainer, uint32_t(root.b.size() + 2 * shapes.b.size())}.AppendTo(head);
    head.insert(head.end(), root.b.begin(), root.b.end());
    head.insert(head.end(), shapes.b.begin(), shapes.b.end());
    PutU32(head.data() + 4, uint32_t(head.size() - 8 + again.b.size()));
    Fixture f;
    auto other = f.NewDrawing();
    other->AddBasicShape(); // takes drawing 1 and the ids from 1024
    auto d = f.NewDrawing();
    drawingtest::ReadDrawingFrom(*d, SheetDrawing(2, {head, again.b}, 2));
    ASSERT_EQ(d->ShapeCount(), 2);
    const uint32_t added = d->AddBasicShape().ShapeId;
    EXPECT_GE(added, 3072u);
    EXPECT_NE(added, other->AddBasicShape().ShapeId);
    d->DeleteShape(1025); // the first of the two
    EXPECT_EQ(d->ShapeCount(), 2);
    EXPECT_EQ(d->Shape(0).ShapeId, 1025u);
}

// A drawing read under the id another drawing of the workbook holds (a
// sheet's and its chart's own drawing, two sheets) gets an id and a block
// of its own, and its shapes ids from that block: the clusters and its Dg
// agree, no id is another drawing's, and a copy of the copy is the copy.
TEST(DrawingShapes, ADrawingUnderAnotherDrawingsIdMovesToABlockOfItsOwn) {
    // Shapes 1025 and 1026, the first chained to the second, and a rule of
    // the solver container that ties them.
    Esc first;
    first.Atom(mso::Sp, 20, U32s({1025, 0x0A00}), 2)
        .Atom(mso::OPT, 2, FromHex("8A00 02040000 BF01 08000800"), 3)
        .Atom(mso::ClientAnchor, 0, NoAnchor)
        .Atom(mso::ClientData, 0, {});
    const Esc second = LineShape(1026);
    const Esc chained = Esc().Box(mso::SpContainer, first);
    const Esc rules = Esc().Box(0xF005, Esc().Atom(0xF012, 0, U32s({1, 1025, 1026, 1025, 0, 0}), 1));
    const Esc root = RootContainer(1024);
    Bytes head = DgHeader(1, 0, 1027);
    TMSOHeader{15, 0, mso::SpgrContainer, uint32_t(root.b.size() + chained.b.size() + second.b.size())}
        .AppendTo(head);
    head.insert(head.end(), root.b.begin(), root.b.end());
    head.insert(head.end(), chained.b.begin(), chained.b.end());
    PutU32(head.data() + 4, uint32_t(head.size() - 8 + second.b.size() + rules.b.size()));

    auto seed = [](int n) {
        const char* src = std::getenv("Q710_SOURCE_DIR");
        const std::string bytes =
            testfiles::Slurp(std::string(src ? src : ".") +
                             "/fuzz/corpus/drawing_sheet/chart-drawing-shares-sheet-id-" + std::to_string(n));
        return biffbuild::Records(Bytes(bytes.begin(), bytes.end()));
    };
    const struct {
        const char* Name;
        std::vector<Record> Records;
        bool SheetFirst; // another sheet's drawing takes drawing 1 and ids from 1024 first
    } cases[] = {
        {"a chart's drawing shares the id and the ids", seed(1), false},
        {"the same, the chart's root id out of range", seed(2), false},
        {"a chart's drawing shares the id", seed(3), false},
        {"two sheets share the id and the ids", SheetDrawing(1, {head, second.b, rules.b}, 2), true},
    };
    auto idsOf = [](const TEscherDrawing& d) {
        std::vector<uint32_t> ids{d.Root().ShapeId};
        std::function<void(const TShapeGroup&)> walk = [&](const TShapeGroup& g) {
            for (int i = 0; i < g.Count(); ++i) {
                ids.push_back(g.GetShape(i).ShapeId);
                if (auto* inner = dynamic_cast<const TShapeGroup*>(&g.GetShape(i))) walk(*inner);
            }
        };
        walk(d.Root());
        return ids;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<Record> records = c.Records, once;
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            Fixture f;
            auto other = f.NewDrawing();
            if (c.SheetFirst) other->AddBasicShape();
            auto d = f.NewDrawing();
            drawingtest::ReadDrawingFrom(*d, records);
            ASSERT_GT(d->ShapeCount(), 0);
            const std::vector<uint32_t> ids = idsOf(*d);
            std::set<uint32_t> seen;
            for (uint32_t id : ids) {
                EXPECT_TRUE(seen.insert(id).second) << id;
                EXPECT_TRUE(f.group.OwnsCluster(d->DrawingId(), id)) << id;
            }
            EXPECT_EQ(d->NextFreeShapeId(), *seen.rbegin() + 1);
            for (const TDGGData& e : f.group.Dgg.Entries)
                if (e.Drawing && e.Drawing != d.get() && e.Drawing->ShapeCount() > 0) {
                    EXPECT_NE(e.Drawing->DrawingId(), d->DrawingId());
                    for (uint32_t id : idsOf(*e.Drawing)) EXPECT_FALSE(seen.count(id)) << id;
                }
            records = drawingtest::WrittenDrawing(*d);
            if (round == 0) once = records;
            if (c.SheetFirst) {
                // The chain and the rule follow their shapes.
                ASSERT_EQ(d->ShapeCount(), 2);
                EXPECT_EQ(d->Shape(0).Opt.Value(0x8A), d->Shape(1).ShapeId);
                Bytes all;
                for (const auto& r : records)
                    if (r.Id == biff::MSODRAWING) all.insert(all.end(), r.Body.begin(), r.Body.end());
                const Bytes rule = FromHex("0100 12F0 18000000");
                auto at = std::search(all.begin(), all.end(), rule.begin(), rule.end());
                ASSERT_LE(at + 8 + 24, all.end());
                const size_t pos = size_t(at - all.begin()) + 12;
                EXPECT_EQ(std::make_pair(GetU32(all.data() + pos), GetU32(all.data() + pos + 4)),
                          std::make_pair(d->Shape(0).ShapeId, d->Shape(1).ShapeId));
            }
        }
        EXPECT_TRUE(records == once) << "a copy of the copy differs from the copy";
    }
}

TEST(DrawingShapes, GroupsAndUnknownRecordsComeBack) {
    // A group of two child shapes, a line with a record nothing reads, and a
    // container after the shapes.
    Esc groupOwn;
    groupOwn.Atom(mso::Spgr, 0, Rect16, 1)
        .Atom(mso::Sp, 0, U32s({1026, 0x0201}), 2)
        .Atom(mso::OPT, 0, {}, 3)
        .Atom(mso::ClientAnchor, 0, NoAnchor)
        .Atom(mso::ClientData, 0, {});
    Esc groupHead = Esc().Box(mso::SpContainer, groupOwn);
    Esc child1 = ChildShape(1027), child2 = ChildShape(1028);
    Esc line = LineShape(1025, Esc().Atom(0xF122, 1, FromHex("AABBCCDDEEFF")));
    Esc trailing = Esc().Box(0xF005, Esc().Atom(0xF014, 0, FromHex("0102")));
    const uint32_t groupLength = uint32_t(groupHead.b.size() + child1.b.size() + child2.b.size());
    const uint32_t spgr = uint32_t(RootContainer(1024).b.size() + line.b.size() + 8 + groupLength);
    const uint32_t dg = 16 + 8 + spgr + uint32_t(trailing.b.size());

    Bytes head = DgHeader(1, dg, 1029);
    TMSOHeader{15, 0, mso::SpgrContainer, spgr}.AppendTo(head);
    Esc root = RootContainer(1024);
    head.insert(head.end(), root.b.begin(), root.b.end());
    head.insert(head.end(), line.b.begin(), line.b.end());
    Bytes groupStart;
    TMSOHeader{15, 0, mso::SpgrContainer, groupLength}.AppendTo(groupStart);
    groupStart.insert(groupStart.end(), groupHead.b.begin(), groupHead.b.end());
    auto records = SheetDrawing(1, {head, groupStart, child1.b, child2.b, trailing.b}, 4);

    Fixture f;
    auto d = f.NewDrawing();
    int added = 0;
    d->OnShapeAdded = [&](TEscherDrawing&, TShape&) { ++added; };
    ASSERT_TRUE(drawingtest::ReadDrawingFrom(*d, records).empty());
    EXPECT_EQ(added, 4);
    ASSERT_EQ(d->ShapeCount(), 2);
    auto* g = dynamic_cast<TShapeGroupClientAnchor*>(&d->Shape(1));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Count(), 2);
    EXPECT_TRUE(dynamic_cast<TShapeChildAnchor*>(&g->GetShape(0)));
    EXPECT_EQ(d->NextFreeShapeId(), 1029u);
    // Written as read, the group's own records in an MSODRAWING of their own.
    auto written = drawingtest::WrittenDrawing(*d);
    EXPECT_EQ(drawingtest::DecodeDrawing(written), drawingtest::DecodeDrawing(records));
    EXPECT_EQ(written, records);
}

TEST(DrawingShapes, LongShapesAndPicturesBetweenRecords) {
    Fixture f;
    auto d = f.NewDrawing();
    TShapeClientAnchor& shape = d->AddPicture();
    shape.Opt.SetComplexText(261, drawingtest::TextOf(6000));
    auto records = drawingtest::WrittenDrawing(*d);
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records[0].Body.size(), 8224u);
    EXPECT_EQ(records[1].Id, biff::CONTINUE);

    // An IMDATA between drawing records of an old writer is kept aside.
    records.insert(records.begin() + 1,
                   {{biff::IMDATA, FromHex("0900 0100 0800 0000")}, {biff::CONTINUE, {1, 2}}});
    records.insert(records.begin() + 3, {biff::MSODRAWING, {}});
    Fixture g;
    auto back = g.NewDrawing();
    ASSERT_TRUE(drawingtest::ReadDrawingFrom(*back, records).empty());
    EXPECT_EQ(back->Shape(0).Opt.ComplexText(261), drawingtest::TextOf(6000));
    auto skipped = back->TakeSkippedRecords();
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(skipped[0].Id, biff::IMDATA);
    EXPECT_EQ(skipped[1].Body, (Bytes{1, 2}));
}

TEST(DrawingShapes, MalformedDrawingsAreRefused) {
    Esc root = RootContainer(1024), line = LineShape(1025);
    auto build = [&](const Esc& rootBox, const Esc& shapes, uint32_t dgDelta = 0) {
        Bytes b = DgHeader(1, 0, 1026);
        uint32_t spgr = uint32_t(rootBox.b.size() + shapes.b.size());
        TMSOHeader{15, 0, mso::SpgrContainer, spgr}.AppendTo(b);
        b.insert(b.end(), rootBox.b.begin(), rootBox.b.end());
        b.insert(b.end(), shapes.b.begin(), shapes.b.end());
        PutU32(b.data() + 4, uint32_t(b.size() - 8 + dgDelta));
        return b;
    };
    Esc notRoot =
        Esc().Box(mso::SpContainer, Esc().Atom(mso::Spgr, 0, Rect16, 1).Atom(mso::Sp, 0, U32s({1024, 1}), 2));
    Esc noSpgr = Esc().Box(mso::SpContainer, Esc().Atom(mso::Sp, 0, U32s({1024, 5}), 2));
    Esc clientDataBody = Esc().Box(mso::SpContainer, Esc()
                                                         .Atom(mso::Sp, 20, U32s({1025, 0x0A00}), 2)
                                                         .Atom(mso::ClientAnchor, 0, NoAnchor)
                                                         .Atom(mso::ClientData, 0, {1}));
    Esc childOnClient = Esc().Box(
        mso::SpContainer, Esc().Atom(mso::Sp, 20, U32s({1025, 0x0A00}), 2).Atom(mso::ChildAnchor, 0, Rect16));
    Esc overrun;
    overrun.b = line.b;
    PutU32(overrun.b.data() + 4, GetU32(overrun.b.data() + 4) - 4);
    Bytes cut = build(root, line);
    cut.resize(cut.size() - 10);
    Esc deep;
    for (int i = 0; i < 100; ++i) {
        Esc next;
        Esc own = Esc().Box(mso::SpContainer, Esc().Atom(mso::Sp, 0, U32s({uint32_t(2000 + i), 0x0203}), 2));
        Esc body = own;
        body.b.insert(body.b.end(), deep.b.begin(), deep.b.end());
        next.Box(mso::SpgrContainer, body);
        deep = next;
    }
    const struct {
        const char* Name;
        std::vector<Record> Records;
        const char* Message;
    } cases[] = {
        {"no drawing container",
         {{biff::MSODRAWING, Esc().Atom(mso::Dg, 1, U32s({1, 1})).b}},
         "Expected record missing: DGCONTAINER"},
        {"no Dg",
         {{biff::MSODRAWING, Esc().Box(mso::DgContainer, Esc().Atom(mso::Sp, 0, U32s({1, 1}))).b}},
         "Expected record missing: DG"},
        {"root without patriarch flag", {{biff::MSODRAWING, build(notRoot, {})}}, "SP is not root"},
        {"root without rectangle", {{biff::MSODRAWING, build(noSpgr, {})}}, "Expected record missing: SPGR"},
        {"ClientData with a body",
         {{biff::MSODRAWING, build(root, clientDataBody)}},
         "Size of CLIENTDATA > 0"},
        {"child anchor on a top shape",
         {{biff::MSODRAWING, build(root, childOnClient)}},
         "CHILDANCHOR when shape not is ChildAnchor"},
        {"record past its shape",
         {{biff::MSODRAWING, build(root, overrun)}},
         "Error while reading Shape. Length <> 0"},
        {"shape without its OBJ", {{biff::MSODRAWING, build(root, line)}}, "Expected record missing: OBJ"},
        {"drawing goes on in no MSODRAWING",
         {{biff::MSODRAWING, build(root, {}, 40)}, {0x0203, Bytes(14, 0)}},
         nullptr},
        {"shape cut short",
         {{biff::MSODRAWING, cut}, {0x0203, Bytes(14, 0)}},
         "Expected record missing: MSODRAWING"},
        {"groups nested past any file",
         {{biff::MSODRAWING, build(root, deep)}},
         "Drawing groups nested too deeply"},
        {"length past the file", {{biff::MSODRAWING, build(root, Esc().Atom(0xF122, 0, {}))}}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        auto d = f.NewDrawing();
        std::vector<Record> records = c.Records;
        if (std::string(c.Name) == "length past the file") {
            Bytes& b = records[0].Body;
            PutU32(b.data() + b.size() - 4, 0x7FFFFFF0); // the unknown record's length
        }
        if (!c.Message) {
            // Lengths that run past the records, or a drawing that stops
            // early: refused or kept, never read beyond.
            try {
                drawingtest::ReadDrawingFrom(*d, records);
            } catch (const XLSError&) {
            }
            continue;
        }
        try {
            drawingtest::ReadDrawingFrom(*d, records);
            ADD_FAILURE() << "read";
        } catch (const XLSError& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
    }
}

namespace {

int Col1(TShape& s) {
    return dynamic_cast<TShapeClientAnchor&>(s).Anchor.Col1;
}
int Row1(TShape& s) {
    return dynamic_cast<TShapeClientAnchor&>(s).Anchor.Row1;
}

} // namespace

// Copying and moving cells carries the shapes whose top-left cell (a
// note's own cell) lies in the block to the same place in the destination.
TEST(DrawingShapes, EditingCarriesShapesAndNotes) {
    Fixture f;
    auto d = f.NewDrawing();
    TShapeClientAnchor& note = d->AddNote();
    TEscherDrawing::NoteOf(note)->Col = 2;
    TEscherDrawing::NoteOf(note)->Row = 3;
    note.Anchor.Col1 = 3, note.Anchor.Row1 = 2, note.Anchor.Col2 = 5, note.Anchor.Row2 = 6;
    d->AddPicture(); // at 1,1 - 3,7
    TShapeClientAnchor& far = d->AddBasicShape();
    far.Anchor.Col1 = 20;

    d->CopyShapesInArea(0, 0, 4, 4, 10, 10);
    ASSERT_EQ(d->ShapeCount(), 5);
    TShape& noteCopy = d->Shape(3);
    TShape& pictureCopy = d->Shape(4);
    ASSERT_TRUE(TEscherDrawing::NoteOf(noteCopy));
    EXPECT_EQ(TEscherDrawing::NoteOf(noteCopy)->Col, 12u);
    EXPECT_EQ(TEscherDrawing::NoteOf(noteCopy)->Row, 13u);
    EXPECT_EQ(std::make_pair(Col1(noteCopy), Row1(noteCopy)), std::make_pair(13, 12));
    EXPECT_EQ(std::make_pair(Col1(pictureCopy), Row1(pictureCopy)), std::make_pair(11, 11));
    EXPECT_EQ(dynamic_cast<TShapeClientAnchor&>(pictureCopy).Anchor.Row2, 17); // size kept
    EXPECT_NE(noteCopy.ShapeId, note.ShapeId);
    EXPECT_EQ(noteCopy.ObjectId(), 4);
    EXPECT_EQ(TEscherDrawing::NoteOf(noteCopy)->ObjectId, 4);

    d->MoveShapesInArea(10, 10, 14, 14, 0, 30);
    EXPECT_EQ(TEscherDrawing::NoteOf(noteCopy)->Row, 33u);
    EXPECT_EQ(Row1(pictureCopy), 31);

    // To another sheet, moved by the offset of the destination.
    auto other = f.NewDrawing();
    std::vector<TShape*> list;
    d->GetShapesInArea(list, 0, 0, 4, 4);
    ASSERT_EQ(list.size(), 2u);
    other->CopyShapesFrom(list, 5, 0);
    ASSERT_EQ(other->ShapeCount(), 2);
    EXPECT_EQ(TEscherDrawing::NoteOf(other->Shape(0))->Col, 7u);
    EXPECT_EQ(other->Shape(0).ShapeId, 2049u);

    d->DeleteShapes(list);
    EXPECT_EQ(d->ShapeCount(), 3);

    // A shape that can not be copied refuses the copy before anything changes.
    d->Shape(0).Attached = std::make_unique<TShapeOutsideMsoKept>(objtype::ComboBox, LineObj);
    std::vector<TShape*> kept{&d->Shape(0)};
    EXPECT_THROW(other->CopyShapesFrom(kept), XLSError);
    EXPECT_EQ(other->ShapeCount(), 2);
}

TEST(DrawingShapes, NotesFindTheirShapes) {
    Fixture f;
    auto d = f.NewDrawing();
    d->AddNote();
    d->AddNote();
    d->Shape(0).ShapeId = 1030; // shape ids out of file order
    auto records = drawingtest::WrittenDrawing(*d);
    // Two notes whose shapes carry the same object id bind in file order.
    for (auto& r : records) {
        if (r.Id == biff::OBJ) PutU16(r.Body.data() + 6, 9);
        if (r.Id == biff::NOTE) PutU16(r.Body.data() + 6, 9);
    }
    int row = 0;
    for (auto& r : records)
        if (r.Id == biff::NOTE) PutU16(r.Body.data(), uint16_t(row++ + 5));
    Fixture g;
    auto back = g.NewDrawing();
    drawingtest::ReadDrawingFrom(*back, records);
    EXPECT_EQ(TEscherDrawing::NoteOf(back->Shape(0))->Row, 5u);
    EXPECT_EQ(TEscherDrawing::NoteOf(back->Shape(1))->Row, 6u);
    // A third NOTE of that id finds no shape left: it is not bound.
    EXPECT_FALSE(back->BindNote(0, 0, u"", 9, 0));
    EXPECT_EQ(TEscherDrawing::NoteOf(back->Shape(0))->Row, 5u);
}

// A read and a write keep exactly the NOTE records read: a note shape the
// file gave none gets none, and the notes of a chart's own drawing stay
// with the chart's records, where they were; written again, nothing grows.
TEST(DrawingShapes, NotesAreWrittenAsRead) {
    Fixture f;
    auto made = f.NewDrawing();
    made->AddNote();
    made->AddNote();
    const auto both = drawingtest::WrittenDrawing(*made);
    auto withoutSecond = both;
    withoutSecond.pop_back();
    const auto chart = ChartWithItsOwnDrawing();
    const struct {
        const char* Name;
        std::vector<Record> Records;
        size_t Notes;
    } cases[] = {
        {"every note with its NOTE", both, 2},
        {"a note without its NOTE", withoutSecond, 1},
        {"notes of a chart's drawing", chart, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<Record> records = c.Records;
        for (int round = 0; round < 2; ++round) {
            Fixture g;
            auto d = g.NewDrawing();
            drawingtest::ReadDrawingFrom(*d, records);
            records = drawingtest::WrittenDrawing(*d);
            EXPECT_EQ(biffbuild::CountOf(records, biff::NOTE), c.Notes) << "round " << round;
        }
    }
}

// Arrays other writers state without their 6-byte header (vertices,
// segments, adjust handles, guides, inscribe rectangles, fragments) take
// their length from it; a table whose data no way adds up costs its
// complex properties, with a warning, never the drawing.
TEST(DrawingShapes, PropertyTablesOfOtherWritersCostOnlyTheirData) {
    // Arrays of 2 elements of 4 bytes (element size 0xFFF0), then a text.
    const std::string array = "0200 0200 F0FF 11111111 22222222";
    const std::string name = "4100 0000"; // "A"
    const struct {
        const char* Name;
        uint16_t Count;
        std::string Fixed, Data;
        std::vector<int> Kept; // property numbers read
        bool Warns;
    } cases[] = {
        {"adjust handles, guides and inscribe stated without headers",
         5,
         "4401 00000000 55C1 08000000 56C1 08000000 57C1 08000000 80C3 04000000",
         array + array + array + name,
         {0x144, 0x155, 0x156, 0x157, 0x380},
         false},
        {"fragments and connection sites stated without headers",
         3,
         "51C1 08000000 59C1 08000000 BF01 00000800",
         array + array,
         {0x151, 0x159, 0x1BF},
         false},
        {"stated with their headers", 2, "55C1 0E000000 80C3 04000000", array + name, {0x155, 0x380}, false},
        {"no way adds up",
         3,
         "4401 04000000 55C1 08000000 80C3 04000000",
         array + name + "FF",
         {0x144},
         true},
        {"an array header past the data",
         2,
         "45C1 02000000 BF01 01000000",
         "0900 0900 0200 AAAA",
         {0x1BF},
         true},
        {"more properties than the record holds", 4, "4401 04000000 BF01 00000800", "", {0x144, 0x1BF}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Esc inner;
        inner.Atom(mso::Sp, 0xFFF, U32s({1025, 0x0A00}), 2)
            .Atom(mso::OPT, c.Count, FromHex(c.Fixed + c.Data), 3)
            .Atom(mso::ClientAnchor, 0, NoAnchor)
            .Atom(mso::ClientData, 0, {});
        const Esc shape = Esc().Box(mso::SpContainer, inner);
        const Esc root = RootContainer(1024);
        Bytes head = DgHeader(1, uint32_t(16 + 8 + root.b.size() + shape.b.size()), 1026);
        TMSOHeader{15, 0, mso::SpgrContainer, uint32_t(root.b.size() + shape.b.size())}.AppendTo(head);
        head.insert(head.end(), root.b.begin(), root.b.end());
        head.insert(head.end(), shape.b.begin(), shape.b.end());
        Fixture f;
        auto d = f.NewDrawing();
        ASSERT_TRUE(drawingtest::ReadDrawingFrom(*d, SheetDrawing(1, {head}, 1)).empty());
        ASSERT_EQ(d->ShapeCount(), 1);
        std::vector<int> kept;
        for (const TOPTItem& i : d->Shape(0).Opt.Items) kept.push_back(i.Number());
        EXPECT_EQ(kept, c.Kept);
        const auto warnings = d->TakeReadWarnings();
        ASSERT_EQ(warnings.size(), c.Warns ? 1u : 0u);
        if (c.Warns) {
            EXPECT_EQ(warnings[0].rfind("shape #1025: ", 0), 0u) << warnings[0];
        }
        if (const TOPTItem* handles = d->Shape(0).Opt.Find(0x155)) {
            EXPECT_EQ(handles->Complex, FromHex(array));
        }

        // Written with the lengths the data has: read back whole, the OBJ kept.
        const auto written = drawingtest::WrittenDrawing(*d);
        EXPECT_EQ(biffbuild::CountOf(written, biff::OBJ), 1u);
        Fixture g;
        auto back = g.NewDrawing();
        drawingtest::ReadDrawingFrom(*back, written);
        EXPECT_TRUE(back->TakeReadWarnings().empty());
        ASSERT_EQ(back->ShapeCount(), 1);
        EXPECT_EQ(back->Shape(0).Opt.Items.size(), kept.size());
        EXPECT_EQ(drawingtest::WrittenDrawing(*back), written);
    }
    // A chart's own drawing tells the workbook's warnings what it left out:
    // a shape's text id made a complex property past the data.
    auto chart = ChartWithItsOwnDrawing();
    auto shape = std::find_if(chart.begin() + 1, chart.end(), [](const Record& r) {
        return r.Id == biff::MSODRAWING && r.Body.size() > 26 &&
               GetU16(r.Body.data() + 2) == mso::SpContainer;
    });
    ASSERT_NE(shape, chart.end());
    ASSERT_EQ(GetU16(shape->Body.data() + 32), 0x0080);
    PutU16(shape->Body.data() + 32, 0x8080);
    Fixture f;
    std::vector<std::string> told;
    f.group.OnWarning = [&](std::string w) { told.push_back(std::move(w)); };
    auto d = f.NewDrawing();
    drawingtest::ReadDrawingFrom(*d, chart);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind("a chart's shape #", 0), 0u) << told[0];
}

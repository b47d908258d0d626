// The drawing group: pictures stored and read back, entries the file no
// longer uses, metafiles that claim less than they expand to, malformed
// groups, bitmaps converted to PNG.
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/drawing/PictureFiles.h"
#include "support_drawing.h"
#include "support_hex.h"

#include <gtest/gtest.h>
#include <png.h>

using namespace xls;
using drawingtest::Bytes;
using drawingtest::Record;

namespace {

TMSOPicture& AddPicture(TEscherGroup& group, uint8_t type, Bytes data, std::u16string name = u"") {
    auto p = std::make_unique<TMSOPicture>();
    p->LoadFromBytes(std::move(data), name, type);
    return group.Insert(std::move(p));
}

Bytes Joined(const std::vector<Record>& records) {
    Bytes out;
    for (const auto& r : records) out.insert(out.end(), r.Body.begin(), r.Body.end());
    return out;
}

// The records back, cut again at 8224 bytes.
std::vector<Record> Recut(const Bytes& data) {
    std::vector<Record> out;
    for (size_t at = 0; at < data.size(); at += 8224)
        out.push_back(
            {uint16_t(at ? biff::CONTINUE : 0x00EB),
             Bytes(data.begin() + long(at), data.begin() + long(std::min(data.size(), at + 8224)))});
    return out;
}

// Where the first BSE of a written group starts.
size_t FirstBSE(const Bytes& group) {
    for (size_t at = 8; at + 8 <= group.size();) {
        TMSOHeader h = TMSOHeader::Parse(group.data() + at);
        if (h.Type == mso::BStoreContainer) return at + 8;
        at += 8 + h.Length;
    }
    return 0;
}

Bytes Repeated(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 7 + i / 251);
    return b;
}

} // namespace

TEST(DrawingGroup, PicturesComeBackWithTheirStoreEntries) {
    TEscherGroup group;
    TEscherDrawing drawing(group, nullptr);
    drawing.AddPicture();
    AddPicture(group, pictype::PNG, Repeated(20000, 1), u"a.png");
    AddPicture(group, pictype::JPEG, Repeated(300, 2));
    Bytes emf = Bytes(5000, 0x11);
    AddPicture(group, pictype::EMF, emf);
    for (int i = 0; i < 3; ++i) group.Items(i).RefCount = uint32_t(i + 1);
    group.Items(1).Name = u"Логотип";
    group.Items(1).StoreName = true; // as a store entry read with its name
    group.ColorMRU = {0x08000001};
    auto records = drawingtest::WrittenGroup(group);
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records[0].Body.size(), 8224u);
    EXPECT_EQ(records[1].Id, biff::CONTINUE);

    TEscherGroup back;
    drawingtest::ReadGroupFrom(back, records);
    TEscherDrawing sheet(back, nullptr);
    drawingtest::ReadDrawingFrom(sheet, drawingtest::WrittenDrawing(drawing));
    ASSERT_EQ(back.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back.Items(i).PictureType, group.Items(i).PictureType);
        EXPECT_EQ(back.Items(i).Data, group.Items(i).Data);
        EXPECT_EQ(back.Items(i).UID, MD4Digest(group.Items(i).Data));
        EXPECT_EQ(back.Items(i).FileNumber, i);
    }
    EXPECT_EQ(back.Items(2).RefCount, 3u);
    EXPECT_EQ(back.Items(1).Name, u"Логотип");
    EXPECT_EQ(back.ColorMRU, group.ColorMRU);
    EXPECT_EQ(back.SplitMenuColors, group.SplitMenuColors);
    EXPECT_EQ(back.Dgg.Entries.size(), 1u);
    EXPECT_EQ(back.ShapeIdBase, 1024u);
    // Written again: the same bytes.
    EXPECT_EQ(Joined(drawingtest::WrittenGroup(back)), Joined(records));

    // No colours of the split menu: the record is still written, empty.
    back.SplitMenuColors.clear();
    Bytes data = Joined(drawingtest::WrittenGroup(back));
    EXPECT_EQ(Bytes(data.end() - 8, data.end()), FromHex("0000 1EF1 00000000"));
}

// A store entry no shape uses any more is dropped after the read; the
// shapes of the sheets are renumbered to stay on their pictures. A shape
// that refers to no entry loses its reference, not the workbook.
TEST(DrawingGroup, UnusedEntriesAreDroppedAndShapesRenumbered) {
    TEscherGroup group;
    for (uint8_t i = 0; i < 3; ++i) AddPicture(group, pictype::PNG, Repeated(100, i)).RefCount = 1;
    Bytes data = Joined(drawingtest::WrittenGroup(group));
    // The second BSE's reference count := 0.
    const size_t bse = FirstBSE(data) + 8 + 36 + 8 + 16 + 1 + 100; // after the first entry
    PutU32(data.data() + bse + 8 + 24, 0);
    TEscherGroup back;
    drawingtest::ReadGroupFrom(back, Recut(data));
    // Read, and kept only while a shape may use it.
    ASSERT_EQ(back.Count(), 3);
    EXPECT_TRUE(back.Items(1).Unreferenced);
    EXPECT_FALSE(back.Items(0).Unreferenced || back.Items(2).Unreferenced);
    back.DropUnreferenced({0, 2});
    ASSERT_EQ(back.Count(), 2);
    std::vector<int> files;
    back.ListFileBlipIds(files);
    EXPECT_EQ(files, (std::vector<int>{0, 2}));
    EXPECT_EQ(back.Items(1).Data, Repeated(100, 2));

    TEscherDrawing drawing(back, nullptr);
    TShape& first = drawing.AddPicture();
    TShape& third = drawing.AddPicture();
    TShape& empty = drawing.AddPicture();
    first.Opt.BlipRef()->Value = 1;
    third.Opt.BlipRef()->Value = 3;
    drawing.RemapBlipIds(files);
    EXPECT_EQ(first.Opt.BlipRef()->Value, 1u);
    EXPECT_EQ(third.Opt.BlipRef()->Value, 2u);
    EXPECT_EQ(empty.Opt.BlipRef()->Value, 0u); // a frame without picture stays empty
    third.Opt.BlipRef()->Value = 2;            // the dropped entry
    EXPECT_EQ(drawing.RemapBlipIds(files), std::vector<uint32_t>{2});
    EXPECT_EQ(third.Opt.BlipRef()->Value, 0u);

    // Before a write every picture a shape uses counts as used.
    back.Items(0).RefCount = 0;
    third.Opt.BlipRef()->Value = 1;
    drawing.MarkUsedPictures(static_cast<TMSOPictures&>(back));
    EXPECT_EQ(back.Items(0).RefCount, 1u);
    EXPECT_EQ(back.Items(1).RefCount, 1u);
    third.Opt.BlipRef()->Value = 3;
    EXPECT_THROW(drawing.MarkUsedPictures(static_cast<TMSOPictures&>(back)), XLSError);
}

// A metafile whose stream expands past the size its header states is never
// inflated past it: the picture keeps its bytes as read and writes them back.
TEST(DrawingGroup, MetafileStreamsAreBounded) {
    Bytes bomb = DeflateBytes(Bytes(4 << 20, 0));
    TEscherGroup group;
    TMSOPicture& p = AddPicture(group, pictype::WMF, Bytes(64, 7));
    p.RefCount = 1;
    Bytes data = Joined(drawingtest::WrittenGroup(group));
    // Replace the compressed stream with the bomb; the stated size stays 64.
    const size_t store = FirstBSE(data), meta = store + 8 + 36 + 8 + 16;
    const size_t oldSize = GetU32(data.data() + meta + 28);
    Bytes edited(data.begin(), data.begin() + long(meta + 34));
    PutU32(edited.data() + meta + 28, uint32_t(bomb.size()));
    edited.insert(edited.end(), bomb.begin(), bomb.end());
    edited.insert(edited.end(), data.begin() + long(meta + 34 + oldSize), data.end());
    const int32_t grow = int32_t(bomb.size()) - int32_t(oldSize);
    // The lengths around it: container, store, BSE, the BSE's blip size, blip.
    for (size_t at : {size_t(4), store - 4, store + 4, store + 8 + 20, store + 8 + 36 + 4})
        PutU32(edited.data() + at, uint32_t(int32_t(GetU32(edited.data() + at)) + grow));

    TEscherGroup back;
    drawingtest::ReadGroupFrom(back, Recut(edited));
    ASSERT_EQ(back.Count(), 1);
    EXPECT_TRUE(back.Items(0).KeptCompressed);
    EXPECT_EQ(back.Items(0).Data, bomb);
    EXPECT_EQ(Joined(drawingtest::WrittenGroup(back)), edited);

    EXPECT_FALSE(InflateBounded(bomb, 100));
    EXPECT_FALSE(InflateBounded(bomb, MaxInflatedSize + 1));
    EXPECT_FALSE(InflateBounded(FromHex("789C FFFF"), 10));
    EXPECT_EQ(*InflateBounded(bomb, 4 << 20), Bytes(4 << 20, 0));
}

TEST(DrawingGroup, MalformedGroupsAreRefused) {
    TEscherGroup group;
    AddPicture(group, pictype::PNG, Bytes(10, 1)).RefCount = 1;
    Bytes good = Joined(drawingtest::WrittenGroup(group));
    const size_t bse = FirstBSE(good);
    auto edited = [&](size_t at, uint32_t v) {
        Bytes b = good;
        PutU32(b.data() + at, v);
        return b;
    };
    Bytes clsid = good;
    PutU16(clsid.data() + 8 + 2, mso::CLSID);
    Bytes large = Joined(drawingtest::WrittenGroup(group));
    Bytes unknown;
    TMSOHeader{0, 0, 0xF150, 9000}.AppendTo(unknown);
    unknown.resize(9008);
    large.insert(large.end(), unknown.begin(), unknown.end());
    PutU32(large.data() + 4, GetU32(large.data() + 4) + 9008);
    const struct {
        const char* Name;
        Bytes Data;
        const char* Message;
    } cases[] = {
        {"no container", Bytes(good.begin() + 8, good.end()), "Expected record missing: DGGContainer"},
        {"container past the record", edited(4, 0x00FFFFFF),
         "Error while reading MSODRAWINGGROUP. Length < 0"},
        {"header split", edited(4, GetU32(good.data() + 4) + 3), "MSOHeader split in MSODRAWINGGROUP"},
        {"CLSID", clsid, "CLSID in MSODRAWINGGROUP"},
        {"BSE past its store", edited(bse + 4, 0x0FFFFFFF), "Blip size in BSE don't match actually blip"},
        {"unknown record too large", large, "Unknown FBT in MSODRAWINGGROUP to large"},
        // A picture whose sizes disagree costs only itself.
        {"blip size unlike the BSE's", edited(bse + 8 + 20, 99), nullptr},
        {"blip past its BSE", edited(bse + 8 + 36 + 4, 0x7FFFFFF0), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes data = c.Data;
        if (std::string(c.Name) == "header split") data.resize(data.size() + 3);
        TEscherGroup back;
        std::vector<std::string> warnings;
        back.OnWarning = [&](std::string text) { warnings.push_back(std::move(text)); };
        try {
            drawingtest::ReadGroupFrom(back, Recut(data));
            EXPECT_EQ(c.Message, nullptr) << "read";
            EXPECT_EQ(back.Count(), 0);
            ASSERT_EQ(warnings.size(), 1u);
            EXPECT_EQ(warnings[0].rfind("Picture 1 of the drawing group was left out: its BSE gives ", 0),
                      0u);
        } catch (const XLSError& e) {
            ASSERT_NE(c.Message, nullptr) << e.what();
            EXPECT_STREQ(e.what(), c.Message);
        }
    }
}

TEST(DrawingGroup, PictureFilesAndTheirTypes) {
    const Bytes abc = {'a', 'b', 'c'};
    EXPECT_EQ(MD4Digest(abc), (TMD4{0xa4, 0x48, 0x01, 0x7a, 0xaf, 0x21, 0xd8, 0x52, 0x5f, 0xc1, 0x0a, 0xe8,
                                    0x7a, 0xa6, 0x72, 0x9d}));
    const std::pair<const char16_t*, uint8_t> types[] = {
        {u"a.wmf", 3},  {u"B.EMF", 2}, {u"c.pict", 4}, {u"d.jpg", 5},
        {u"e.JPEG", 5}, {u"f.png", 6}, {u"g.bmp", 7},
    };
    for (auto [name, type] : types) EXPECT_EQ(PictureTypeFromExt(name), type);
    try {
        PictureTypeFromExt(u"h.gif");
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Unknown picture type GIF");
    }

    // A small bitmap stays a bitmap without its file header; a larger one
    // becomes a PNG under a name that says so.
    TMSOPicture small;
    Bytes tiny =
        FromHex("424D 3A000000 00000000 36000000 28000000 01000000 01000000 0100 1800 00000000 04000000 "
                "00000000 00000000 00000000 00000000 0000FF00");
    small.LoadFromBytes(tiny, u"dot.bmp", PictureTypeFromExt(u"dot.bmp"));
    EXPECT_EQ(small.PictureType, pictype::DIB);
    EXPECT_EQ(small.Data, Bytes(tiny.begin() + 14, tiny.end()));
    EXPECT_EQ(small.UID, MD4Digest(small.Data));
    Bytes big = tiny;
    PutU32(big.data() + 18, 100); // 100 x 1 pixels
    PutU32(big.data() + 34, 300);
    big.resize(54 + 300, 0x40);
    TMSOPicture large;
    large.LoadFromBytes(big, u"Line.BMP", pictype::DIB);
    EXPECT_EQ(large.PictureType, pictype::PNG);
    EXPECT_EQ(large.Name, u"Line.png");
    EXPECT_EQ(Bytes(large.Data.begin(), large.Data.begin() + 4), FromHex("89504E47"));
}

namespace {

// The pixels of a PNG as RGBA rows, through libpng.
std::vector<uint32_t> PngPixels(const Bytes& png, uint32_t& width, uint32_t& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint32_t> pixels(size_t(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    width = image.width;
    height = image.height;
    for (uint32_t& p : pixels) p = __builtin_bswap32(p); // RGBA as 0xRRGGBBAA
    return pixels;
}

// A BMP file around a header (from its size field on) and pixel data.
Bytes Bmp(const Bytes& header, const Bytes& palette, const Bytes& pixels) {
    Bytes b = FromHex("424D 00000000 00000000 00000000");
    b.insert(b.end(), header.begin(), header.end());
    b.insert(b.end(), palette.begin(), palette.end());
    PutU32(b.data() + 10, uint32_t(b.size()));
    b.insert(b.end(), pixels.begin(), pixels.end());
    PutU32(b.data() + 2, uint32_t(b.size()));
    return b;
}

Bytes InfoHeader(int32_t w, int32_t h, uint16_t bpp, uint32_t compression, uint32_t colors = 0) {
    Bytes b;
    TByteWriter x(b);
    x.U32(40);
    x.U32(uint32_t(w));
    x.U32(uint32_t(h));
    x.U16(1);
    x.U16(bpp);
    x.U32(compression);
    for (int i = 0; i < 3; ++i) x.U32(0);
    x.U32(colors);
    x.U32(0);
    return b;
}

} // namespace

// Bitmaps of every depth and row order, written out by hand, give the
// pixels they hold (red 0xFF0000FF, green, blue, white, black); pixels an
// RLE bitmap skips take the first colour.
TEST(DrawingGroup, BitmapsBecomePng) {
    const uint32_t R = 0xFF0000FF, G = 0x00FF00FF, B = 0x0000FFFF, W = 0xFFFFFFFF, K = 0x000000FF;
    const Bytes palette4 = FromHex("0000FF00 00FF0000 FF000000 FFFFFF00"); // red, green, blue, white
    const struct {
        const char* Name;
        Bytes File;
        uint32_t Width, Height;
        std::vector<uint32_t> Pixels; // top row first
    } cases[] = {
        {"24 bits, bottom-up",
         Bmp(InfoHeader(2, 2, 24, 0), {}, FromHex("0000FF 00FF00 0000 FF0000 FFFFFF 0000")),
         2,
         2,
         {B, W, R, G}},
        {"24 bits, top-down",
         Bmp(InfoHeader(2, -2, 24, 0), {}, FromHex("0000FF 00FF00 0000 FF0000 FFFFFF 0000")),
         2,
         2,
         {R, G, B, W}},
        {"32 bits", Bmp(InfoHeader(1, 1, 32, 0), {}, FromHex("00FF0000")), 1, 1, {G}},
        {"16 bits, 5-5-5", Bmp(InfoHeader(2, 1, 16, 0), {}, FromHex("007C 1F00")), 2, 1, {R, B}},
        {"16 bits, 5-6-5 fields",
         Bmp(InfoHeader(2, 1, 16, 3), FromHex("00F80000 E0070000 1F000000"), FromHex("E007 0000")),
         2,
         1,
         {G, K}},
        {"8 bits, palette", Bmp(InfoHeader(3, 1, 8, 0, 4), palette4, FromHex("020100 00")), 3, 1, {B, G, R}},
        {"4 bits", Bmp(InfoHeader(3, 1, 4, 0, 4), palette4, FromHex("3120 0000")), 3, 1, {W, G, B}},
        {"1 bit",
         Bmp(InfoHeader(3, 1, 1, 0, 2), FromHex("00000000 FFFFFF00"), FromHex("A0000000")),
         3,
         1,
         {W, K, W}},
        {"RLE8 with a delta and a literal",
         Bmp(InfoHeader(4, 2, 8, 1, 4), palette4, FromHex("0201 0000 0002 0100 0003 030201 00 0001")),
         4,
         2,
         {R, W, B, G, G, G, R, R}},
        {"RLE4", Bmp(InfoHeader(4, 1, 4, 2, 4), palette4, FromHex("0412 0001")), 4, 1, {G, B, G, B}},
        {"core header",
         Bmp(FromHex("0C000000 0200 0100 0100 0800"), FromHex("0000FF 00FF00"), FromHex("0100 0000")),
         2,
         1,
         {G, R}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes png;
        try {
            png = BitmapToPng(c.File);
        } catch (const XLSError& e) {
            ADD_FAILURE() << e.what();
            continue;
        }
        uint32_t w = 0, h = 0;
        auto pixels = PngPixels(png, w, h);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.Width, c.Height));
        EXPECT_EQ(pixels, c.Pixels);
    }
}

TEST(DrawingGroup, BitmapsThatLieAreRefused) {
    const Bytes palette = FromHex("00000000 FFFFFF00");
    const struct {
        const char* Name;
        Bytes File;
    } cases[] = {
        {"100,000 x 100,000 pixels", Bmp(InfoHeader(100000, 100000, 24, 0), {}, Bytes(16, 0))},
        {"RLE claiming 100,000 x 100,000",
         Bmp(InfoHeader(100000, 100000, 8, 1, 2), palette, FromHex("FF01 0001"))},
        {"rows beyond the data", Bmp(InfoHeader(4, 4, 24, 0), {}, Bytes(20, 0))},
        {"no pixels", Bmp(InfoHeader(0, 1, 24, 0), {}, {})},
        {"unknown header", Bmp(FromHex("10000000 01000000 01000000 0100 1800"), {}, Bytes(4, 0))},
        {"palette of 1000 colours", Bmp(InfoHeader(1, 1, 8, 0, 1000), palette, Bytes(4, 0))},
        {"JPEG inside", Bmp(InfoHeader(1, 1, 24, 4), {}, Bytes(4, 0))},
        {"not a BMP", FromHex("89504E470D0A1A0A")},
        {"RLE literal past the data", Bmp(InfoHeader(4, 1, 8, 1, 2), palette, FromHex("0004 0001"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            BitmapToPng(c.File);
            ADD_FAILURE() << "converted";
        } catch (const XLSError& e) {
            EXPECT_NE(std::string(e.what()).find("bitmap"), std::string::npos) << e.what();
        }
    }
}

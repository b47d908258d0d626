// Bounds of what a drawing and its workbook's decompressors read: property
// tables in ascending order and with the array lengths other writers state,
// pictures inflated only as far as their data goes and the workbook's
// budget allows, macro sources bounded while they are decompressed; and the
// picture name a picture item gives back.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/drawing/ChartModel.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "SrcXLS/drawing/PictureFiles.h"
#include "SrcXLS/formats/VBACompression.h"
#include "bench/xls_bombs.h"
#include "support_drawing.h"
#include "support_files.h"
#include "support_hex.h"

#include <gtest/gtest.h>

using namespace xls;
namespace fs = std::filesystem;
using drawingtest::Bytes;

namespace {

std::vector<int> Numbers(const TOPT& opt) {
    std::vector<int> out;
    for (const auto& i : opt.Items) out.push_back(i.Number());
    return out;
}

bool Ascending(const std::vector<int>& numbers) {
    return std::is_sorted(numbers.begin(), numbers.end());
}

// The property numbers of every OPT record in a sheet's written drawing.
std::vector<std::vector<int>> WrittenTables(const TEscherDrawing& drawing) {
    Bytes all;
    for (const auto& r : drawingtest::WrittenDrawing(drawing))
        if (r.Id == biff::MSODRAWING) all.insert(all.end(), r.Body.begin(), r.Body.end());
    std::vector<std::vector<int>> tables;
    // Walks the records, containers opened in place.
    for (size_t p = 0; p + 8 <= all.size();) {
        TMSOHeader h = TMSOHeader::Parse(all.data() + p);
        if (h.IsContainer()) {
            p += 8;
            continue;
        }
        if (h.Type == mso::OPT) {
            std::vector<int> numbers;
            for (size_t k = 0; k < h.Instance; ++k)
                numbers.push_back(GetU16(all.data() + p + 8 + 6 * k) & 0x3FFF);
            tables.push_back(numbers);
        }
        p += 8 + h.Length;
    }
    return tables;
}

} // namespace

// Other readers drop a shape whose properties are not in ascending order:
// properties added or set later take their place in the order.
TEST(DrawingBounds, PropertiesStayInAscendingOrder) {
    TOPT opt;
    for (uint16_t id : {448, 128, 959, 4, 0xC000 | 261, 129, 447}) opt.Add(id, 1);
    EXPECT_EQ(Numbers(opt), (std::vector<int>{4, 128, 129, 261, 447, 448, 959}));
    opt.Put(0x0081, 5); // present: stays where it is
    opt.Put(0x0085, 1);
    opt.AddComplexText(896, u"name");
    EXPECT_EQ(Numbers(opt), (std::vector<int>{4, 128, 129, 133, 261, 447, 448, 896, 959}));

    // Every kind of shape, given margins, colours, macros and pictures, is
    // written with ascending tables.
    TTabrix4 book;
    TSheet& sheet = book.GetSheet(0);
    TDrawingObjects& objects = sheet.DrawingObjects();
    TDrwText& text = objects.Texts.Add();
    text.SetText(u"Каса");
    text.SetMarginLeft(0.5);
    text.SetMarginBottom(0.2);
    text.AssignMacro(u"Macro1");
    TDrwNote& note = objects.Notes.Add();
    note.SetMarginTop(0.1);
    TDrwAutoShape& sun = objects.AutoShapes.Add();
    sun.SetLineColor(0x0800000A);
    sun.SetFillColor(0x0800000B);
    sun.AssignMacro(u"Macro2");
    TDrwBasic& basic = objects.Basics.Add();
    basic.SetShapeType(TBasicShapeType::bstArrow);
    basic.AssignMacro(u"Macro3");
    objects.Pictures.Add().AssignMacro(u"Macro4");
    sheet.Charts().Add();
    const auto tables = WrittenTables(sheet.Drawing());
    ASSERT_EQ(tables.size(), 6u);
    for (const auto& t : tables) EXPECT_TRUE(Ascending(t)) << ::testing::PrintToString(t);
}

// Vertices and segment information are arrays with a 6-byte header; one
// writer states their length without it. When the stated lengths do not
// add up, an array's own header gives its length; its bytes are kept whole.
TEST(DrawingBounds, ArrayPropertiesTakeTheirLengthFromTheirHeader) {
    // Vertices: 3 points of 4 bytes (element size 0xFFF0); segments: 4 of 2 bytes.
    const std::string vertices = "0300 0300 F0FF 0000 0000 0A00 1400 1400 0000";
    const std::string segments = "0400 0400 0200 0040 01B0 0120 0080";
    const struct {
        const char* Lengths; // stated lengths of the two properties
        const char* After;   // bytes after the arrays
        bool Reads;
    } cases[] = {
        {"12000000 0E000000", "", true},    // as stated by the format: 18 and 14
        {"0C000000 0E000000", "", true},    // the vertices' header left out
        {"0C000000 08000000", "", true},    // both headers left out
        {"12000000 08000000", "", true},    // the segments' header left out
        {"0C000000 08000000", "FF", false}, // neither way adds up
        {"12000000 0E000000", "FFFF", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Lengths);
        const std::string lengths = c.Lengths;
        const Bytes body = FromHex("4401 04000000 45C1 " + lengths.substr(0, 8) + " 46C1 " +
                                   lengths.substr(9) + " BF01 00000800 " + vertices + segments + c.After);
        TOPT opt;
        if (!c.Reads) {
            EXPECT_THROW(opt.Parse(body, 4), XLSError);
            continue;
        }
        opt.Parse(body, 4);
        ASSERT_EQ(opt.Items.size(), 4u);
        EXPECT_EQ(opt.Items[1].Complex, FromHex(vertices));
        EXPECT_EQ(opt.Items[2].Complex, FromHex(segments));
        EXPECT_EQ(opt.Value(447), 0x00080000);
        // Written back with the lengths of the arrays as they are.
        Bytes back;
        opt.AppendBody(back);
        EXPECT_EQ(back,
                  FromHex("4401 04000000 45C1 12000000 46C1 0E000000 BF01 00000800 " + vertices + segments));
    }
    // A table whose stated lengths add up is read as stated, whatever its
    // arrays' headers say.
    const Bytes odd = FromHex("45C1 08000000 46C1 02000000 0900 0900 0200 0000 AAAA");
    TOPT opt;
    opt.Parse(odd, 2);
    EXPECT_EQ(opt.Items[0].Complex.size(), 8u);
    EXPECT_EQ(opt.Items[1].Complex, FromHex("AAAA"));
}

// A picture's data grows as the stream yields it: a header that claims
// 200 MiB over ten bytes costs what ten bytes cost.
TEST(DrawingBounds, PicturesInflateOnlyAsFarAsTheirData) {
    const std::vector<uint8_t> data{'E', 'M', 'F', 0, 1, 2, 3, 4, 5, 6};
    const std::vector<uint8_t> packed = DeflateBytes(data);
    EXPECT_EQ(InflateBounded(packed, 10), data);
    EXPECT_FALSE(InflateBounded(packed, 9));  // the stream goes on
    EXPECT_FALSE(InflateBounded(packed, 11)); // the stream ends first
    EXPECT_FALSE(InflateBounded(std::span(packed).first(packed.size() - 3), 10));
    // What it inflated, whether whole or not: the workbook's budget counts it.
    for (uint32_t claimed : {10u, 9u, 11u, 200u << 20}) {
        size_t produced = 1;
        InflateBounded(packed, claimed, &produced);
        EXPECT_EQ(produced, std::min<size_t>(claimed + 1, 10)) << claimed;
    }
    const auto run = bombs::RunLimited(size_t(96) << 20, [&] {
        if (InflateBounded(packed, 200u << 20)) throw std::runtime_error("a short stream was taken");
        const std::vector<uint8_t> zeros = bombs::DeflatedZeros(40u << 20);
        auto out = InflateBounded(zeros, 40u << 20);
        if (!out || out->size() != (40u << 20) || out->capacity() > (40u << 20) + 1)
            throw std::runtime_error("40 MiB of zeros did not inflate to their size");
    });
    EXPECT_TRUE(run.Ok) << run.Error;
    // The workbook's budget: 32 times its stream, between 64 and 256 MiB.
    const std::pair<uint64_t, uint64_t> budgets[] = {
        {0, 64u << 20}, {1u << 20, 64u << 20}, {4u << 20, 128u << 20}, {100u << 20, 256u << 20}};
    for (auto [stream, budget] : budgets) EXPECT_EQ(PictureInflateBudget(stream), budget) << stream;
}

// A macro source that expands past its bound raises its own error; what
// stays within it decompresses as before.
TEST(DrawingBounds, MacroSourcesDecompressWithinABound) {
    std::vector<uint8_t> bomb{1};
    for (int i = 0; i < 1000; ++i) bomb.insert(bomb.end(), {0x03, 0xB0, 0x02, 0x41, 0xFC, 0x0F});
    EXPECT_EQ(VBADecompress(bomb).size(), 1000u * 4096);
    EXPECT_EQ(VBADecompress(bomb, 1000u * 4096).size(), 1000u * 4096);
    for (size_t limit : {size_t(0), size_t(1), size_t(4095), size_t(4096 * 999 + 7)})
        EXPECT_THROW(VBADecompress(bomb, limit), EVBATooLarge) << limit;
    const std::vector<uint8_t> text(10000, 'a');
    EXPECT_EQ(VBADecompress(VBACompress(text), 10000), text);
    EXPECT_THROW(VBADecompress(VBACompress(text), 9999), EVBATooLarge);
}

// The picture name an item gives (the file's name) names its picture again.
TEST(DrawingBounds, APictureNameReadIsOneToSet) {
    testfiles::ScratchDir dir;
    fs::create_directories(dir.File("a"));
    fs::create_directories(dir.File("b"));
    const Bytes png = drawingtest::Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    for (const char* name : {"a/red.png", "b/red.png", "b/blue.png"})
        testfiles::Spit(dir.File(name), std::string(png.begin(), png.end()) + name);
    TTabrix4 book;
    for (const char* name : {"a/red.png", "b/red.png", "b/blue.png"})
        book.Pictures().AddPictureFile(dir.File(name));
    TDrwPicture& picture = book.GetSheet(0).DrawingObjects().Pictures.Add();
    picture.SetPictureId(2);
    EXPECT_EQ(picture.GetPictureName(), u"red.png");
    picture.SetPictureName(picture.GetPictureName());
    EXPECT_EQ(picture.GetPictureId(), 2); // of two pictures of that name, its own
    picture.SetPictureName(u"BLUE.PNG");
    EXPECT_EQ(picture.GetPictureId(), 3);
    picture.SetPictureName(u"red.png");
    EXPECT_EQ(picture.GetPictureId(), 1);
    picture.SetPictureName(Utf8ToWide(dir.File("b/red.png"))); // the whole name
    EXPECT_EQ(picture.GetPictureId(), 2);
    try {
        picture.SetPictureName(u"green.png");
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Can not find picture: green.png");
    }
}

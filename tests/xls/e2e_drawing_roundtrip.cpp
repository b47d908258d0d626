// Drawings of real files read and written: every sheet keeps its shapes
// (the drawing records decoded, OBJ, TXO and NOTE records), the workbook
// keeps its pictures, xlrd reads the same notes, and LibreOffice converting
// the original and the written file to .xlsx finds the same comments and
// pictures (read with openpyxl).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "support_drawing.h"
#include "support_files.h"
#include "support_process.h"
#include "support_readers.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

using namespace xls;
namespace fs = std::filesystem;
using drawingtest::Bytes;
using drawingtest::Record;

namespace {

std::vector<std::vector<Record>> Worksheets(const Bytes& stream) {
    std::vector<std::vector<Record>> out;
    for (auto& s : biffbuild::Substreams(stream))
        if (!(s.front().Body.size() >= 4 && s.front().Body[2] == 0x20)) out.push_back(std::move(s));
    return out;
}

// Drawings or notes in a file whose records can be compared (not encrypted).
bool HasDrawing(const Bytes& stream) {
    bool found = false;
    for (const auto& r : biffbuild::Records(stream)) {
        if (r.Id == 0x002F) return false;
        found |= r.Id == biff::MSODRAWING || r.Id == biff::NOTE;
    }
    return found;
}

// The pictures of a workbook stream's group: type, reference count and the
// data's MD4 (metafiles inflated).
std::vector<std::string> Pictures(const std::vector<Record>& globals) {
    std::vector<Record> group;
    for (size_t i = 0; i < globals.size() && group.empty(); ++i)
        if (globals[i].Id == 0x00EB)
            for (size_t k = i;
                 k < globals.size() && (k == i || globals[k].Id == biff::CONTINUE || globals[k].Id == 0x00EB);
                 ++k)
                group.push_back(globals[k]);
    std::vector<std::string> out;
    if (group.empty()) return out;
    TEscherGroup g;
    drawingtest::ReadGroupFrom(g, group);
    for (int i = 0; i < g.Count(); ++i) {
        const TMSOPicture& p = g.Items(i);
        std::string line = std::to_string(p.PictureType) + " " + std::to_string(p.RefCount) + " ";
        for (uint8_t b : p.KeptCompressed ? p.UID : MD4Digest(p.Data)) line += "0123456789ABCDEF"[b >> 4];
        out.push_back(line);
    }
    return out;
}

// The first line where two decodings part, or empty.
std::string FirstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        std::string x = i < a.size() ? a[i] : "(none)", y = i < b.size() ? b[i] : "(none)";
        if (x != y) return "line " + std::to_string(i) + ":\n  " + x + "\n  " + y;
    }
    return {};
}

std::string WriteCopy(const fs::path& from, const std::string& to,
                      TExcelVersion version = TExcelVersion::xvNone) {
    TTabrix4 book;
    book.SetFilename(from.u16string());
    book.Read();
    if (version != TExcelVersion::xvNone) book.SetVersion(version);
    book.SetFilename(fs::path(to).u16string());
    book.Write();
    return to;
}

} // namespace

TEST(DrawingRoundTrip, RealFilesKeepShapesPicturesAndNotes) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    std::vector<std::string> originals, written;
    int shapes = 0;
    for (const fs::path& file : oracle::RealWorldXls()) {
        Bytes stream;
        try {
            stream = biffbuild::WorkbookStream(testfiles::Slurp(file.string()));
        } catch (const std::exception&) {
            continue; // damaged containers: the reader's own tests
        }
        if (stream.size() < 8 || GetU16(stream.data() + 4) != 0x0600 || !HasDrawing(stream)) continue;
        std::string out = dir.File(std::to_string(originals.size()) + ".xls");
        try {
            WriteCopy(file, out);
        } catch (const XLSError& e) {
            // Files refused for other reasons (encryption, damaged containers).
            if (std::string(e.what()).find("ncrypt") != std::string::npos ||
                std::string(e.what()).find("SST") != std::string::npos)
                continue;
            ADD_FAILURE() << file << ": " << e.what();
            continue;
        }
        SCOPED_TRACE(file.string());
        auto before = Worksheets(stream),
             after = Worksheets(biffbuild::WorkbookStream(testfiles::Slurp(out)));
        ASSERT_EQ(before.size(), after.size());
        EXPECT_EQ(Pictures(before[0]), Pictures(after[0]));
        // Picture references by the picture they name: the store may have
        // lost entries no shape used.
        auto blipsBefore = drawingtest::BlipNames(before[0]), blipsAfter = drawingtest::BlipNames(after[0]);
        for (size_t s = 1; s < before.size(); ++s) {
            auto a = drawingtest::DecodeDrawing(before[s], &blipsBefore);
            auto b = drawingtest::DecodeDrawing(after[s], &blipsAfter);
            // A drawing whose shapes were all deleted is not written again.
            if (a.size() == 5 && b.empty()) continue;
            EXPECT_EQ(FirstDifference(a, b), "") << "sheet " << s;
            shapes += int(a.size());
        }
        originals.push_back(file.string());
        written.push_back(out);
    }
    ASSERT_GT(originals.size(), 20u);
    EXPECT_GT(shapes, 2000);

    // xlrd's notes: authors, texts, cells.
    auto a = drawingtest::DrawingOracle("notes", originals), b = drawingtest::DrawingOracle("notes", written);
    for (size_t i = 0; i < originals.size(); ++i) {
        if (a[i][0] != "OK") continue;
        EXPECT_EQ(a[i], b[i]) << originals[i];
    }

    // LibreOffice's comments and pictures.
    std::vector<std::string> all = originals;
    std::vector<std::string> copies;
    for (size_t i = 0; i < originals.size(); ++i) {
        std::string copy = dir.File("o" + std::to_string(i) + ".xls");
        fs::copy_file(originals[i], copy);
        copies.push_back(copy);
    }
    copies.insert(copies.end(), written.begin(), written.end());
    testfiles::LibreOfficeConvert(copies, dir.File("conv"), "xlsx");
    std::vector<std::string> xa, xb;
    for (size_t i = 0; i < originals.size(); ++i) {
        xa.push_back(dir.File("conv/o" + std::to_string(i) + ".xlsx"));
        xb.push_back(dir.File("conv/" + std::to_string(i) + ".xlsx"));
    }
    auto la = drawingtest::DrawingOracle("xlsx", xa), lb = drawingtest::DrawingOracle("xlsx", xb);
    int compared = 0;
    for (size_t i = 0; i < originals.size(); ++i) {
        if (la[i][0] != "OK") continue;
        // Nothing LibreOffice found in the original is missing from ours
        // (of a damaged original it may find less).
        for (const auto& line : la[i])
            EXPECT_NE(std::find(lb[i].begin(), lb[i].end(), line), lb[i].end())
                << originals[i] << ": " << line;
        compared += int(la[i].size()) - 1;
    }
    EXPECT_GT(compared, 20);
}

namespace {

// The sheet objects gnumeric finds in a file (their opening tags, which
// carry kind, place and text; the name left out: gnumeric finds the names
// of LibreOffice's shapes only where the stated lengths are right), and what
// it said while reading it.
struct GnumericObjects {
    std::vector<std::string> Objects;
    std::string Said;
};

GnumericObjects GnumericSheetObjects(const std::string& file, const std::string& out) {
    GnumericObjects g;
    const oracle::TRun run = oracle::Run("ssconvert " + oracle::Quote(file) + " " + oracle::Quote(out));
    EXPECT_EQ(run.Status, 0) << file << ": " << run.Output;
    g.Said = run.Output;
    std::istringstream xml(oracle::Run("zcat " + oracle::Quote(out)).Output);
    for (std::string line; std::getline(xml, line);)
        if (auto at = line.find("<gnm:SheetObject"); at != std::string::npos) {
            std::string tag = line.substr(at);
            if (auto name = tag.find(" Name=\""); name != std::string::npos)
                tag.erase(name, tag.find('"', name + 7) + 1 - name);
            g.Objects.push_back(tag);
        }
    return g;
}

} // namespace

// LibreOffice states the adjust-handle, guide and inscribe arrays of a text
// box (XlsxWriter's insert_textbox converted by LibreOffice) and of its
// custom shapes without their header: the file is read whole, its copy keeps
// every OBJ and TXO record, and LibreOffice and gnumeric find in the copy
// what they find in LibreOffice's own file.
TEST(DrawingRoundTrip, LibreOfficeTextBoxesAndCustomShapes) {
    testfiles::ScratchDir dir;
    testfiles::RunPython(R"PY(
import re, sys, zipfile, xlsxwriter
folder = sys.argv[1]
book = xlsxwriter.Workbook(folder + "/boxes.xlsx")
sheet = book.add_worksheet()
sheet.write("A1", 7)
for row, text in ((1, "Каса: текст у полі"), (9, "heart"), (17, "smiley"), (25, "arrow")):
    sheet.insert_textbox(row, 1, text)
book.close()
# The last three given the geometry of custom shapes.
presets = iter(["rect", "heart", "smileyFace", "rightArrow"])
with zipfile.ZipFile(folder + "/boxes.xlsx") as source, \
        zipfile.ZipFile(folder + "/shapes.xlsx", "w", zipfile.ZIP_DEFLATED) as target:
    for item in source.infolist():
        data = source.read(item.filename)
        if item.filename == "xl/drawings/drawing1.xml":
            data = re.sub('prst="rect"', lambda m: 'prst="%s"' % next(presets), data.decode()).encode()
        target.writestr(item, data)
)PY",
                         {dir.Path()});
    if (!testfiles::LibreOfficeConvert({dir.File("shapes.xlsx")}, dir.File("lo"), "xls:MS Excel 97").Ran())
        return; // unjudged, marked so
    const std::string source = dir.File("lo/shapes.xls"), copy = dir.File("copy.xls");
    ASSERT_TRUE(testfiles::Exists(source));
    testfiles::KeepTestOutput(source, "libreoffice_shapes.xls");
    TTabrix4 book;
    book.SetFilename(Utf8ToWide(source));
    ASSERT_NO_THROW(book.Read());
    EXPECT_EQ(book.Warnings().size(), 0u);
    const TEscherDrawing& drawing = book.GetSheet(0).Drawing();
    const std::u16string texts[] = {u"Каса: текст у полі", u"heart", u"smiley", u"arrow"};
    ASSERT_EQ(drawing.ShapeCount(), 4);
    for (int i = 0; i < 4; ++i) {
        auto* text = dynamic_cast<TShapeOutsideMsoBaseText*>(drawing.Shape(i).Attached.get());
        ASSERT_TRUE(text);
        EXPECT_EQ(text->Text, texts[i]);
    }
    book.SetFilename(Utf8ToWide(copy));
    book.Write();
    testfiles::KeepTestOutput(copy, "libreoffice_shapes_copy.xls");
    const auto before = Worksheets(biffbuild::WorkbookStream(testfiles::Slurp(source)));
    const auto after = Worksheets(biffbuild::WorkbookStream(testfiles::Slurp(copy)));
    ASSERT_EQ(after.size(), 2u); // the globals and the sheet
    EXPECT_EQ(biffbuild::CountOf(after[1], biff::OBJ), 4u);
    EXPECT_EQ(biffbuild::CountOf(after[1], biff::TXO), biffbuild::CountOf(before[1], biff::TXO));

    // gnumeric reads the same objects from the copy, with no more complaints.
    const auto g = GnumericSheetObjects(source, dir.File("shapes.gnumeric"));
    const auto h = GnumericSheetObjects(copy, dir.File("copy.gnumeric"));
    EXPECT_EQ(g.Objects.size(), 1u); // the text box: gnumeric reads none of the custom shapes
    EXPECT_EQ(h.Objects, g.Objects);
    EXPECT_EQ(std::count(h.Said.begin(), h.Said.end(), '\n'), std::count(g.Said.begin(), g.Said.end(), '\n'))
        << h.Said;
    // LibreOffice shows the same shapes, outlines and texts.
    if (!testfiles::LibreOfficeConvert({source, copy}, dir.File("x"), "xlsx").Ran()) return;
    const std::vector<std::string> converted{dir.File("x/shapes.xlsx"), dir.File("x/copy.xlsx")};
    const auto shapes = drawingtest::DrawingOracle("shapes", converted);
    ASSERT_EQ(shapes[0][0], "OK");
    EXPECT_EQ(shapes[0].size(), 5u);
    EXPECT_EQ(shapes[1], shapes[0]);
    const auto paths = drawingtest::DrawingOracle("paths", converted);
    EXPECT_EQ(paths[1], paths[0]);
}

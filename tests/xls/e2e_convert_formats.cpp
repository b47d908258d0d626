// Workbooks copied from one format to the other keep their formats, and what
// a copy cannot carry is named: packages written by openpyxl, XlsxWriter,
// LibreOffice and gnumeric copied to .xls keep their colours (as
// LibreOffice's own conversion sees them, to the nearest palette entry),
// their patterns and their outline levels (as xlrd, openpyxl and gnumeric
// see them); a binary workbook copied to a package keeps them too. Packages
// written back keep every relationship pointing at a part, leave a damaged
// entry out with a warning, and pass "unzip -t".
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXRelations.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/CellAreas.h"
#include "SrcXLS/model/ConditionalFormats.h"
#include "SrcXLS/model/Hyperlinks.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

using namespace xls;
namespace fs = std::filesystem;

namespace {

void Gnumeric(const std::string& in, const std::string& out) {
    oracle::Run("ssconvert " + oracle::Quote(in) + " " + oracle::Quote(out));
}

// One file's facts as the oracle script printed them: "cell r c" -> its
// fields by name, "value r c", "level r", "note r c".
struct TFacts {
    std::string Error;
    std::map<std::string, std::map<std::string, std::string>> Cells;
    std::map<std::string, std::string> Values, Levels, Notes;
    // "pane" -> "A2 frozen bottomLeft", "margins" -> "0.7 0.7 ...".
    std::map<std::string, std::string> Settings;
    std::string Field(const std::string& cell, const std::string& name) const {
        auto c = Cells.find(cell);
        if (c == Cells.end()) return "(no cell)";
        auto f = c->second.find(name);
        return f == c->second.end() ? "(none)" : f->second;
    }
};

std::map<std::string, TFacts> Oracle(const std::string& mode, const std::vector<std::string>& files) {
    std::string command =
        "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("convert_oracle.py")) + " " + mode;
    for (const std::string& f : files) command += " " + oracle::Quote(f);
    std::stringstream lines(oracle::Run(command, 300).Output);
    std::map<std::string, TFacts> out;
    TFacts* current = nullptr;
    std::string line;
    while (std::getline(lines, line)) {
        std::stringstream words(line);
        std::string kind, a, b;
        words >> kind;
        if (kind == "file") {
            current = &out[line.substr(5)];
            continue;
        }
        if (!current) continue;
        if (kind == "error") {
            current->Error = line;
        } else if (kind == "cell") {
            words >> a >> b;
            auto& fields = current->Cells[a + " " + b];
            std::string field;
            while (words >> field)
                if (size_t eq = field.find('='); eq != field.npos)
                    fields[field.substr(0, eq)] = field.substr(eq + 1);
        } else if (kind == "value") {
            words >> a >> b;
            std::string v;
            words >> v;
            current->Values[a + " " + b] = v;
        } else if (kind == "level") {
            words >> a >> b;
            current->Levels[a] = b;
        } else if (kind == "setting") {
            words >> a;
            std::string rest;
            std::getline(words, rest);
            current->Settings[a] = rest.empty() ? rest : rest.substr(1);
        } else if (kind == "note") {
            words >> a >> b;
            std::string text;
            std::getline(words, text);
            current->Notes[a + " " + b] = text.empty() ? text : text.substr(1);
        }
    }
    return out;
}

// A workbook read and written in the format of out's extension; the
// warnings of the read and of the write.
std::vector<std::string> Copy(const std::string& in, const std::string& out) {
    TTabrix4 book;
    book.SetFilename(fs::path(in).u16string());
    book.Read();
    std::vector<std::string> warnings = book.Warnings();
    const bool package = fs::path(out).extension() == ".xlsx";
    book.SetVersion(package ? TExcelVersion::xvExcel2007 : TExcelVersion::xvExcel97);
    book.SetFilename(fs::path(out).u16string());
    book.Write();
    warnings.insert(warnings.end(), book.Warnings().begin(), book.Warnings().end());
    return warnings;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

// The entries of a package in their order, with their bytes.
std::vector<std::pair<std::string, std::string>> Entries(const std::string& path) {
    std::string bytes = testfiles::Slurp(path);
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    TXLSZipArchive zip;
    zip.OpenBuffer(data);
    std::vector<std::pair<std::string, std::string>> out;
    for (int i = 0; i < zip.Count(); ++i) out.emplace_back(zip.EntryName(i), zip.ExtractIndex(i));
    return out;
}

// A written package: sound to unzip, every folder's entry before the
// folder's parts, every internal relationship naming a part that is there.
void ExpectSoundPackage(const std::string& path) {
    SCOPED_TRACE(path);
    EXPECT_EQ(oracle::Run("unzip -tq " + oracle::Quote(path)).Status, 0) << "unzip -t fails";
    std::set<std::string> names, folders;
    for (const auto& [name, data] : Entries(path)) {
        const size_t slash = name.rfind('/', name.size() - 2);
        if (slash != name.npos) {
            EXPECT_TRUE(folders.count(name.substr(0, slash + 1))) << name << " before its folder";
        }
        if (!name.empty() && name.back() == '/')
            folders.insert(name);
        else
            names.insert(name);
    }
    for (const auto& [name, data] : Entries(path)) {
        if (name.size() < 5 || name.substr(name.size() - 5) != ".rels") continue;
        // The part a relationships part belongs to.
        const size_t at = name.rfind("_rels/");
        const std::string source = name.substr(0, at) + name.substr(at + 6, name.size() - at - 11);
        std::smatch m;
        for (std::string s = data; std::regex_search(s, m, std::regex("<Relationship [^>]*>"));
             s = m.suffix()) {
            const std::string rel = m[0];
            if (rel.find("TargetMode=\"External\"") != rel.npos) continue;
            std::smatch t;
            ASSERT_TRUE(std::regex_search(rel, t, std::regex("Target=\"([^\"]*)\"")));
            const std::string part = ResolvePartName(source, std::string(t[1]));
            EXPECT_TRUE(names.count(part)) << name << " names " << t[1] << ": " << part << " is missing";
        }
    }
}

struct TRecipe {
    const char* Name;     // the package in the scratch folder
    bool LibreOfficeSees; // LibreOffice's conversion is the oracle of its colours
};

// The recipes and the packages LibreOffice and gnumeric make of openpyxl's.
std::vector<TRecipe> MakeRecipes(const testfiles::ScratchDir& dir) {
    if (oracle::Run("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("convert_oracle.py")) + " make " +
                    oracle::Quote(dir.Path()))
            .Status != 0)
        return {};
    testfiles::LibreOfficeConvert({dir.File("openpyxl.xlsx")}, dir.File("lo-xlsx"), "xlsx");
    if (testfiles::Exists(dir.File("lo-xlsx/openpyxl.xlsx")))
        fs::copy_file(dir.File("lo-xlsx/openpyxl.xlsx"), dir.File("libreoffice.xlsx"));
    Gnumeric(dir.File("openpyxl.xlsx"), dir.File("gnumeric.xlsx"));
    return {{"openpyxl.xlsx", true},   {"owntheme.xlsx", true},    {"notheme.xlsx", false},
            {"xlsxwriter.xlsx", true}, {"libreoffice.xlsx", true}, {"gnumeric.xlsx", true}};
}

} // namespace

// Fonts and fills in RGB, theme and tinted theme colours become the palette
// entry nearest to the colour LibreOffice sees; pattern fills keep their
// pattern and pattern colour; outline levels reach the rows. Then the .xls
// goes back to a package, and gnumeric reads the .xls as xlrd does.
TEST(ConvertFormats, PackageFormatsReachTheBinaryFileAndComeBack) {
    testfiles::ScratchDir dir;
    const std::vector<TRecipe> recipes = MakeRecipes(dir);
    ASSERT_FALSE(recipes.empty()) << "the recipes were not made";
    std::vector<std::string> sources, lo;
    for (const TRecipe& r : recipes) {
        ASSERT_TRUE(testfiles::Exists(dir.File(r.Name))) << r.Name << " was not made";
        sources.push_back(dir.File(r.Name));
    }
    testfiles::LibreOfficeConvert(sources, dir.File("lo"), "xls");
    std::vector<std::string> ours, back, gnumeric;
    for (const TRecipe& r : recipes) {
        const std::string stem = fs::path(r.Name).stem().string();
        ours.push_back(dir.File(stem + ".ours.xls"));
        back.push_back(dir.File(stem + ".back.xlsx"));
        gnumeric.push_back(dir.File(stem + ".gnumeric.xlsx"));
        ASSERT_NO_THROW(Copy(dir.File(r.Name), ours.back())) << r.Name;
        ASSERT_NO_THROW(Copy(ours.back(), back.back())) << r.Name;
        Gnumeric(ours.back(), gnumeric.back());
        if (r.LibreOfficeSees) lo.push_back(dir.File("lo/" + stem + ".xls"));
    }
    std::vector<std::string> binaries = ours;
    binaries.insert(binaries.end(), lo.begin(), lo.end());
    std::vector<std::string> packages = sources;
    packages.insert(packages.end(), back.begin(), back.end());
    packages.insert(packages.end(), gnumeric.begin(), gnumeric.end());
    const auto xlrd = Oracle("xls", binaries);
    const auto openpyxl = Oracle("xlsx", packages);

    const TFacts& openpyxlOurs = xlrd.at(dir.File("openpyxl.ours.xls"));
    for (size_t i = 0; i < recipes.size(); ++i) {
        const TRecipe& r = recipes[i];
        SCOPED_TRACE(r.Name);
        ASSERT_TRUE(xlrd.count(ours[i]) && xlrd.at(ours[i]).Error.empty()) << "xlrd did not read our .xls";
        ASSERT_TRUE(openpyxl.count(sources[i]) && openpyxl.at(sources[i]).Error.empty()) << "openpyxl failed";
        const TFacts& got = xlrd.at(ours[i]);
        const TFacts& source = openpyxl.at(sources[i]);
        ASSERT_FALSE(got.Cells.empty());
        if (r.LibreOfficeSees) {
            const std::string loFile = dir.File("lo/" + fs::path(r.Name).stem().string() + ".xls");
            ASSERT_TRUE(xlrd.count(loFile) && xlrd.at(loFile).Error.empty()) << "LibreOffice did not convert";
            // LibreOffice has no pattern fills: it mixes the two colours.
            for (const auto& [cell, fields] : xlrd.at(loFile).Cells) {
                EXPECT_EQ(got.Field(cell, "font"), fields.at("near")) << "font of " << cell;
                if (source.Field(cell, "fill") == "1") {
                    EXPECT_EQ(got.Field(cell, "fg"), fields.at("fgnear")) << "fill of " << cell;
                }
            }
        } else {
            // Without a theme part the default theme's colours stand.
            for (const auto& [cell, fields] : openpyxlOurs.Cells) {
                EXPECT_EQ(got.Field(cell, "font"), fields.at("font")) << "font of " << cell;
                EXPECT_EQ(got.Field(cell, "fg"), fields.at("fg")) << "fill of " << cell;
            }
        }
        // Patterns and their colours as openpyxl reads the package.
        for (const auto& [cell, fields] : source.Cells) {
            EXPECT_EQ(got.Field(cell, "fill"), fields.at("fill")) << "pattern of " << cell;
            if (fields.at("fill") != "1" && fields.at("fgnear") != "auto") {
                EXPECT_EQ(got.Field(cell, "fg"), fields.at("fgnear")) << "pattern colour of " << cell;
            }
        }
        EXPECT_EQ(got.Levels, source.Levels) << "outline levels";
        EXPECT_FALSE(got.Levels.empty());

        // Back to a package, and through gnumeric: the same patterns and levels.
        for (const std::string& file : {back[i], gnumeric[i]}) {
            SCOPED_TRACE(file);
            ASSERT_TRUE(openpyxl.count(file) && openpyxl.at(file).Error.empty()) << "not read by openpyxl";
            const TFacts& again = openpyxl.at(file);
            for (const auto& [cell, fields] : got.Cells)
                EXPECT_EQ(again.Field(cell, "fill"), fields.at("fill")) << "pattern of " << cell;
            EXPECT_EQ(again.Levels, got.Levels);
        }
        ExpectSoundPackage(back[i]);
    }
}

// A binary workbook's palette colours, patterns, outline levels and frozen
// panes: in the package written of it openpyxl finds the patterns and
// levels, and LibreOffice the colours of the .xls.
TEST(ConvertFormats, BinaryFormatsReachThePackage) {
    testfiles::ScratchDir dir;
    ASSERT_FALSE(MakeRecipes(dir).empty());
    const std::string source = dir.File("xlwt.xls"), ours = dir.File("xlwt.ours.xlsx");
    const std::vector<std::string> warnings = Copy(source, ours);
    // xlwt writes a header, a footer and margins of its own.
    EXPECT_EQ(Joined(warnings), "Sheet 'Colours': the frozen panes not written to the .xlsx file\n"
                                "Sheet 'Colours': the header and footer not written to the .xlsx file\n"
                                "Sheet 'Colours': the page setup not written to the .xlsx file\n");
    ExpectSoundPackage(ours);
    testfiles::LibreOfficeConvert({ours}, dir.File("lo"), "xls");
    const auto xlrd = Oracle("xls", {source, dir.File("lo/xlwt.ours.xls")});
    const auto openpyxl = Oracle("xlsx", {ours});
    const TFacts& before = xlrd.at(source);
    const TFacts& lo = xlrd.at(dir.File("lo/xlwt.ours.xls"));
    const TFacts& after = openpyxl.at(ours);
    ASSERT_TRUE(before.Error.empty() && lo.Error.empty() && after.Error.empty());
    ASSERT_FALSE(before.Cells.empty());
    // LibreOffice mixes the colours of a pattern into one.
    for (const auto& [cell, fields] : before.Cells) {
        EXPECT_EQ(after.Field(cell, "fill"), fields.at("fill")) << "pattern of " << cell;
        if (fields.at("font") != "auto") {
            EXPECT_EQ(lo.Field(cell, "font"), fields.at("font")) << "font of " << cell;
        }
        if (fields.at("fill") == "1") {
            EXPECT_EQ(lo.Field(cell, "fg"), fields.at("fg")) << "fill of " << cell;
        }
    }
    EXPECT_EQ(after.Levels, before.Levels);
    EXPECT_EQ(lo.Levels, before.Levels);
}

// A workbook copied back and forth between .xls and .xlsx, from xlwt's
// .xls and from openpyxl's package: after the first round the copies keep
// the counts of their cell formats and fonts, and xlrd and openpyxl read the
// same formats in the last copies as in the first.
TEST(ConvertFormats, CopiesBackAndForthKeepTheirFormatCounts) {
    testfiles::ScratchDir dir;
    ASSERT_FALSE(MakeRecipes(dir).empty());
    // XF and FONT records of an .xls, "cellXfs" and "fonts" counts of a package.
    auto counts = [](const std::string& file) {
        const std::string bytes = testfiles::Slurp(file);
        if (fs::path(file).extension() == ".xls") {
            const auto records = biffbuild::Records(biffbuild::WorkbookStream(bytes));
            return std::pair(biffbuild::CountOf(records, 0x00E0), biffbuild::CountOf(records, 0x0031));
        }
        TXLSZipArchive zip;
        zip.OpenBuffer(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        const std::string styles = zip.Extract("xl/styles.xml");
        std::smatch xfs, fonts;
        std::regex_search(styles, xfs, std::regex(R"x(<cellXfs count="(\d+)")x"));
        std::regex_search(styles, fonts, std::regex(R"x(<fonts count="(\d+)")x"));
        return std::pair(size_t(std::stoul(xfs[1])), size_t(std::stoul(fonts[1])));
    };
    for (const char* source : {"xlwt.xls", "openpyxl.xlsx"}) {
        SCOPED_TRACE(source);
        std::vector<std::string> copies = {dir.File(source)};
        for (int i = 1; i <= 6; ++i) {
            const bool package = fs::path(copies.back()).extension() == ".xls";
            copies.push_back(dir.File(fs::path(source).stem().string() + std::to_string(i) +
                                      (package ? ".xlsx" : ".xls")));
            ASSERT_NO_THROW(Copy(copies[size_t(i - 1)], copies.back()));
        }
        // Copies 1 and 2 are the first round; 3 and 5, 4 and 6 are of one format each.
        for (size_t i = 3; i < copies.size(); ++i)
            EXPECT_EQ(counts(copies[i]), counts(copies[i - 2])) << copies[i];
        const bool fromBinary = fs::path(source).extension() == ".xls";
        const std::string firstBinary = copies[fromBinary ? 2 : 1], lastBinary = copies[fromBinary ? 6 : 5];
        const std::string firstPackage = copies[fromBinary ? 1 : 2], lastPackage = copies[fromBinary ? 5 : 6];
        const auto xlrd = Oracle("xls", {firstBinary, lastBinary});
        const auto openpyxl = Oracle("xlsx", {firstPackage, lastPackage});
        ASSERT_TRUE(xlrd.count(lastBinary) && xlrd.at(lastBinary).Error.empty()) << "xlrd did not read it";
        ASSERT_TRUE(openpyxl.count(lastPackage) && openpyxl.at(lastPackage).Error.empty())
            << "openpyxl did not";
        EXPECT_FALSE(xlrd.at(firstBinary).Cells.empty());
        EXPECT_EQ(xlrd.at(lastBinary).Cells, xlrd.at(firstBinary).Cells);
        EXPECT_EQ(openpyxl.at(lastPackage).Cells, openpyxl.at(firstPackage).Cells);
    }
}

// XlsxWriter writes the largest double with 16 digits, a little beyond it:
// it reads as the largest double, in the model and in the .xls (xlrd).
TEST(ConvertFormats, TheLargestDoubleStaysANumber) {
    testfiles::ScratchDir dir;
    ASSERT_FALSE(MakeRecipes(dir).empty());
    TTabrix4 book;
    book.SetFilename(fs::path(dir.File("xlsxwriter.xlsx")).u16string());
    ASSERT_NO_THROW(book.Read());
    for (int row : {0, 1}) {
        TCell* cell = book.GetSheet(0).GetCell(1, row);
        ASSERT_TRUE(cell && cell->CellType() == ctFloat) << "row " << row;
        EXPECT_EQ(book.GetSheet(0).GetAsFloat(1, row), row == 0 ? DBL_MAX : -DBL_MAX);
    }
    Copy(dir.File("xlsxwriter.xlsx"), dir.File("big.xls"));
    const TFacts facts = Oracle("xls", {dir.File("big.xls")}).at(dir.File("big.xls"));
    EXPECT_EQ(facts.Values.at("0 1"), "1.7976931348623157e+308");
    EXPECT_EQ(facts.Values.at("1 1"), "-1.7976931348623157e+308");
}

// Cells and merged areas a package holds beyond column IV or row 65536
// have no place in an .xls: the copy says how many and names the first, an
// area across the limit is cut there; xlrd sees the others. Hyperlinks and
// conditional formats of a 2007 workbook made here are named the same way.
TEST(ConvertFormats, CellsAndAreasBeyondTheBinaryLimitsAreNamed) {
    testfiles::ScratchDir dir;
    ASSERT_FALSE(MakeRecipes(dir).empty());
    std::vector<std::string> warnings;
    ASSERT_NO_THROW(warnings = Copy(dir.File("beyond.xlsx"), dir.File("beyond.xls")));
    EXPECT_EQ(Joined(warnings),
              "Sheet 'Data': 1 merged area beyond column IV or row 65536 not written to .xls (first: "
              "A70001:B70002)\n"
              "Sheet 'Data': 1 merged area cut at column IV or row 65536 in .xls (first: IU2:IX2)\n"
              "Sheet 'Data': 4 cells beyond column IV or row 65536 not written to .xls (first: IW1)\n");
    const TFacts facts = Oracle("xls", {dir.File("beyond.xls")}).at(dir.File("beyond.xls"));
    EXPECT_TRUE(facts.Error.empty()) << facts.Error;
    EXPECT_EQ(facts.Values.at("0 0"), "1.0");
    EXPECT_EQ(facts.Values.at("65535 255"), "2.0");
    EXPECT_EQ(facts.Values.size(), 2u);

    TTabrix4 book;
    book.SetVersion(TExcelVersion::xvExcel2007);
    TSheet& sheet = book.GetSheet(0);
    for (const auto& [col, row1, row2] :
         {std::tuple{256, 0, 0}, std::tuple{0, 4, 69999}, std::tuple{1, 1, 1}}) {
        THyperlink& link = sheet.Hyperlinks().Add();
        link.Col1 = link.Col2 = col;
        link.Row1 = row1;
        link.Row2 = row2;
        link.SetAddress(u"http://example.com/");
    }
    TConditionalFormat& cf = sheet.ConditionalFormats().Add();
    cf.Areas.AddArea(300, 0, 300, 4);
    cf.Condition1.SetCompOperator(TConditionOperator::coBetween);
    cf.Condition1.SetFormula1(u"3");
    cf.Condition1.SetFormula2(u"5");
    book.SetVersion(TExcelVersion::xvExcel97);
    book.SetFilename(Utf8ToWide(dir.File("made.xls")));
    ASSERT_NO_THROW(book.Write());
    EXPECT_EQ(
        Joined(book.Warnings()),
        "Sheet 'Sheet1': 1 conditional format beyond column IV or row 65536 not written to .xls (first: "
        "KO1:KO5)\n"
        "Sheet 'Sheet1': 1 hyperlink beyond column IV or row 65536 not written to .xls (first: IW1)\n"
        "Sheet 'Sheet1': 1 hyperlink cut at column IV or row 65536 in .xls (first: A5:A70000)\n");
    const auto links = oracle::SheetRanges("xlrd", {dir.File("made.xls")});
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].size(), 2u);
}

// Merged areas of an .xls a package sheet has no place for: one starting
// beyond column XFD is left out, one ending beyond it cut there, each named;
// a reversed area is read as the area between its corners. Our reader,
// openpyxl and gnumeric read every package copy.
TEST(ConvertFormats, MergedAreasOfABinaryFileFitThePackage) {
    testfiles::ScratchDir dir;
    TTabrix4 made;
    made.GetSheet(0).SetAsFloat(0, 0, 1);
    made.GetSheet(0).MergedCells().AddArea(0, 0, 1, 0);
    made.GetSheet(0).MergedCells().AddArea(3, 0, 5, 0);
    made.SetFilename(Utf8ToWide(dir.File("merged.xls")));
    ASSERT_NO_THROW(made.Write());
    const biffbuild::Bytes stream = biffbuild::WorkbookStream(testfiles::Slurp(dir.File("merged.xls")));
    // The columns of the second area as the variant's MERGEDCELLS holds them.
    const struct {
        uint16_t Col1, Col2;
        const char* Named; // the write's warning, "" for none
        const char* Kept;  // the second area in the package, "" for none
    } cases[] = {
        {3, 5, "", "D1:F1"},
        {5, 3, "", "D1:F1"},
        {3, 16640, "1 merged area cut at column XFD or row 1048576 in the .xlsx file (first: D1:XPA1)",
         "D1:XFD1"},
        {0x9B00, 3, "1 merged area cut at column XFD or row 1048576 in the .xlsx file (first: D1:BFRE1)",
         "D1:XFD1"},
        {16384, 16390,
         "1 merged area beyond column XFD or row 1048576 not written to the .xlsx file (first: "
         "XFE1:XFK1)",
         ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Col1) + ":" + std::to_string(c.Col2));
        biffbuild::Bytes variant = stream;
        bool patched = false;
        for (size_t at = 0; at + 4 <= variant.size();) {
            const uint16_t id = uint16_t(variant[at] | variant[at + 1] << 8);
            const size_t length = size_t(variant[at + 2] | variant[at + 3] << 8);
            if (id == 0x00E5 && length == 18) {
                PutU16(variant.data() + at + 4 + 2 + 8 + 4, c.Col1);
                PutU16(variant.data() + at + 4 + 2 + 8 + 6, c.Col2);
                patched = true;
            }
            at += 4 + length;
        }
        ASSERT_TRUE(patched);
        const std::string xls = dir.File("variant" + std::to_string(n) + ".xls");
        const std::string package = dir.File("variant" + std::to_string(n++) + ".xlsx");
        const biffbuild::Bytes image = biffbuild::CompoundImage(variant);
        testfiles::Spit(xls, std::string(image.begin(), image.end()));
        std::vector<std::string> warnings;
        ASSERT_NO_THROW(warnings = Copy(xls, package));
        std::erase_if(warnings, [](const std::string& w) { return w.find("merged") == std::string::npos; });
        EXPECT_EQ(Joined(warnings), *c.Named ? "Sheet 'Sheet1': " + std::string(c.Named) + "\n" : "");

        TTabrix4 back;
        back.SetFilename(Utf8ToWide(package));
        ASSERT_NO_THROW(back.Read());
        std::vector<std::string> ours;
        for (int i = 0; i < back.GetSheet(0).MergedCells().Count(); ++i) {
            const TCellArea& a = back.GetSheet(0).MergedCells()[i];
            ours.push_back(WideToUtf8(
                AreaToRefStr(a.Col1i(), a.Row1i(), a.Col2i(), a.Row2i(), false, false, false, false)));
        }
        std::vector<std::string> expected = {"A1:B1"};
        if (*c.Kept) expected.push_back(c.Kept);
        EXPECT_EQ(ours, expected);
        const oracle::TRun styles = oracle::OpenpyxlStyles(package);
        ASSERT_EQ(styles.Status, 0) << styles.Output;
        for (const std::string& area : expected)
            EXPECT_TRUE(oracle::Has(styles.Output, "merged " + area)) << styles.Output;
        size_t shown = 0;
        for (size_t at = styles.Output.find("merged "); at != std::string::npos;
             at = styles.Output.find("merged ", at + 1))
            ++shown;
        EXPECT_EQ(shown, expected.size()) << styles.Output;
        const oracle::TRun gnumeric = oracle::GnumericCsv(package, dir.File("variant.csv"));
        EXPECT_EQ(gnumeric.Status, 0) << gnumeric.Output;
        EXPECT_FALSE(oracle::Has(gnumeric.Output, "CRITICAL")) << gnumeric.Output;
    }
}

// A package whose parts stand under "wtf/": written back, its notes, VML
// drawing and theme stay related to the sheet and workbook written under
// "xl/"; openpyxl, LibreOffice and gnumeric read the note and the values.
TEST(ConvertFormats, PackageOutsideXlKeepsItsRelationships) {
    const fs::path source = oracle::RealWorldDir() / "sheetjs-test_files" / "wtf_path.xlsx";
    if (!fs::exists(source)) GTEST_SKIP() << "the real-world files are not there";
    testfiles::ScratchDir dir;
    const std::string ours = dir.File("wtf.xlsx");
    ASSERT_NO_THROW(Copy(source.string(), ours));
    ExpectSoundPackage(ours);
    const TFacts facts = Oracle("xlsx", {ours}).at(ours);
    ASSERT_TRUE(facts.Error.empty()) << facts.Error;
    ASSERT_EQ(facts.Notes.size(), 1u);
    EXPECT_EQ(facts.Notes.begin()->second.substr(0, 27), "I'm a little comment, short");
    // The theme is the package's own, not a default one beside it.
    for (const auto& [name, data] : Entries(ours)) EXPECT_NE(name, "xl/theme/theme1.xml");

    testfiles::LibreOfficeConvert({ours}, dir.File("lo"), "csv");
    Gnumeric(ours, dir.File("gnumeric.csv"));
    const std::string values =
        testfiles::Exists(dir.File("lo/wtf.csv")) ? testfiles::Slurp(dir.File("lo/wtf.csv")) : "";
    EXPECT_NE(values.find("sheetjs"), std::string::npos) << "LibreOffice: " << values;
    const std::string gvalues =
        testfiles::Exists(dir.File("gnumeric.csv")) ? testfiles::Slurp(dir.File("gnumeric.csv")) : "";
    EXPECT_NE(gvalues.find("sheetjs"), std::string::npos) << "gnumeric: " << gvalues;
}

// An entry failing its checksum is left out with what names it, as a
// warning; the rest is read and written, the package passes "unzip -t",
// and openpyxl, LibreOffice and gnumeric read its values and its note.
TEST(ConvertFormats, DamagedEntryIsLeftOutAndNamed) {
    testfiles::ScratchDir dir;
    ASSERT_FALSE(MakeRecipes(dir).empty());
    const struct {
        const char* Name;
        const char* Part;
        const char* Element; // a sheet element that named it, "" for none
    } cases[] = {
        {"image", "xl/media/image1.png", ""},
        {"custom", "docProps/custom.xml", ""},
        {"vml", "xl/drawings/vmlDrawing1.vml", "legacyDrawing"},
        {"drawing", "xl/drawings/drawing1.xml", "drawing"},
    };
    std::vector<std::string> written;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string source = dir.File("damaged_" + std::string(c.Name) + ".xlsx");
        ASSERT_NE(oracle::Run("unzip -tq " + oracle::Quote(source)).Status, 0) << "the entry is not damaged";
        written.push_back(dir.File(std::string(c.Name) + ".ours.xlsx"));
        std::vector<std::string> warnings;
        ASSERT_NO_THROW(warnings = Copy(source, written.back()));
        const std::string text = Joined(warnings);
        EXPECT_NE(text.find("Part " + std::string(c.Part) + " left out: ZIP entry is damaged"),
                  std::string::npos)
            << text;
        if (*c.Element) {
            EXPECT_NE(text.find("element " + std::string(c.Element) + " left out"), std::string::npos)
                << text;
        }
        ExpectSoundPackage(written.back());
        for (const auto& [name, data] : Entries(written.back())) EXPECT_NE(name, c.Part);
    }
    const auto openpyxl = Oracle("xlsx", written);
    testfiles::LibreOfficeConvert(written, dir.File("lo"), "csv");
    for (size_t i = 0; i < written.size(); ++i) {
        SCOPED_TRACE(written[i]);
        const TFacts& facts = openpyxl.at(written[i]);
        EXPECT_TRUE(facts.Error.empty()) << facts.Error;
        EXPECT_EQ(facts.Notes.count("0 0"), 1u) << "the note";
        const std::string stem = fs::path(written[i]).stem().string();
        const std::string lo = dir.File("lo/" + stem + ".csv");
        const std::string values = testfiles::Exists(lo) ? testfiles::Slurp(lo) : "";
        EXPECT_EQ(values.substr(0, 5), "hello");
        EXPECT_NE(values.find("\n42"), std::string::npos) << values;
        Gnumeric(written[i], dir.File(stem + ".csv"));
        const std::string gnumeric =
            testfiles::Exists(dir.File(stem + ".csv")) ? testfiles::Slurp(dir.File(stem + ".csv")) : "";
        EXPECT_EQ(gnumeric.substr(0, 5), "hello");
        EXPECT_NE(gnumeric.find("\n42"), std::string::npos) << gnumeric;
    }
}

// Each kind of item a copy leaves behind is named by the write, and what is
// named is indeed missing from the copy; a copy that loses nothing says
// nothing.
TEST(ConvertFormats, WritesNameWhatTheyLeaveBehind) {
    testfiles::ScratchDir dir;
    ASSERT_FALSE(MakeRecipes(dir).empty());
    testfiles::LibreOfficeConvert({dir.File("features.xlsx")}, dir.File("lo"), "xls");
    ASSERT_TRUE(testfiles::Exists(dir.File("lo/features.xls"))) << "LibreOffice did not convert";
    const std::string corpus = oracle::RealWorldDir().string() + "/sheetjs-test_files/";
    const struct {
        std::string From, To;
        std::vector<std::string> Named;
        bool Exact = true; // nothing else is named
        // Cells (sheet!cell) whose formula the copy leaves out, with the value it keeps.
        std::map<std::string, std::string> Kept = {};
    } cases[] = {
        {"features.xlsx",
         "features.xls",
         {"conditional formats", "data validations", "hyperlinks", "the autofilter", "the drawing", "notes",
          "sheet protection", "frozen or split panes", "headers and footers"}},
        {"lo/features.xls",
         "lo-features.xlsx",
         {"1 note", "1 picture", "1 chart", "sheet protection", "the header and footer"}},
        {"alternate.xlsx", "alternate.ours.xlsx", {"1 mc:AlternateContent element"}},
        {"alternate.xlsx", "alternate.xls", {"1 mc:AlternateContent element"}},
        // A selection naming its pane is no pane.
        {"libreoffice.xlsx", "lo-quiet.xls", {"print options", "the page setup", "headers and footers"}},
        {"openpyxl.xlsx", "quiet.xls", {}},
        {"openpyxl.xlsx", "quiet.xlsx", {}},
        // Pivot tables; a formula that reads one keeps its value.
        {corpus + "pivot_table_test.xls",
         "pivot.xlsx",
         {"'PTCompact': 1 pivot table", "'PTTabular': 1 pivot table", "'PTOutline': 1 pivot table"},
         false},
        {corpus + "formula_stress_test.xls",
         "stress.xlsx",
         {"'Database': 1 pivot table", "Database!B16: formula not written to .xlsx (it reads a pivot table, "
                                       "which the .xlsx file does not hold); its value is kept"},
         false,
         {{"Database!B16", "n:57.0"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.From + " -> " + c.To);
        if (c.From.starts_with("/") && !fs::exists(c.From)) {
            ADD_FAILURE() << "no corpus file " << c.From;
            continue;
        }
        std::vector<std::string> warnings;
        ASSERT_NO_THROW(warnings = Copy(c.From.starts_with("/") ? c.From : dir.File(c.From), dir.File(c.To)));
        if (c.Exact) {
            EXPECT_EQ(warnings.size(), c.Named.size()) << Joined(warnings);
        }
        for (const std::string& what : c.Named)
            EXPECT_NE(Joined(warnings).find(what), std::string::npos) << what << " not named in\n"
                                                                      << Joined(warnings);
        if (c.Kept.empty()) continue;
        const oracle::XlrdBook copy = oracle::ReadWithOpenpyxl(dir.File(c.To));
        ASSERT_TRUE(copy.Ok) << copy.Error << copy.NoVerdict;
        for (const auto& [cell, value] : c.Kept) {
            const size_t bang = cell.find('!');
            int col = 0, row = 0;
            ASSERT_TRUE(RefStrToColRowPlain(Utf8ToWide(cell.substr(bang + 1)), col, row)) << cell;
            std::string got = "(no cell)";
            for (const oracle::XlrdCell& x : copy.Cells)
                if (x.Row == row && x.Col == col && size_t(x.Sheet) < copy.Sheets.size() &&
                    WideToUtf8(copy.Sheets[size_t(x.Sheet)]) == cell.substr(0, bang))
                    got = std::string(1, x.Kind) + ":" + x.Value;
            EXPECT_EQ(got, value) << cell;
        }
    }
    // What the package copy of the .xls was told to lack, it lacks; its
    // conditional format, validation, hyperlink and autofilter it holds.
    const TFacts facts = Oracle("xlsx", {dir.File("lo-features.xlsx")}).at(dir.File("lo-features.xlsx"));
    EXPECT_TRUE(facts.Error.empty()) << facts.Error;
    EXPECT_TRUE(facts.Notes.empty());
    const std::vector<std::string> ranges =
        oracle::SheetRanges("openpyxl", {dir.File("lo-features.xlsx")}).at(0);
    for (const char* kind : {"cf ", "dv ", "link ", "autofilter "})
        EXPECT_EQ(std::count_if(ranges.begin(), ranges.end(),
                                [&](const std::string& l) { return l.rfind(kind, 0) == 0; }),
                  1)
            << kind << testing::PrintToString(ranges);
}

// The settings of a sheet set through the library reach the package: on a
// new workbook, and on one read from a package (the file's own elements
// changed where the library changed them, the rest of them kept). openpyxl
// reads them from our package, and from LibreOffice's copy of it.
TEST(ConvertFormats, SettingsSetThroughTheLibraryAreWrittenToThePackage) {
    testfiles::ScratchDir dir;
    ASSERT_FALSE(MakeRecipes(dir).empty()) << "the recipes were not made";
    auto freeze = [](TSheet& s) {
        s.Pane().PaneType = TPaneType::ptFrozen;
        s.Pane().SplitColX = 1, s.Pane().SplitRowY = 2, s.Pane().LeftCol = 1, s.Pane().TopRow = 2;
        s.SetOptions(s.GetOptions() | soFrozenPanes);
    };
    TTabrix4 made;
    TSheet& s = made.GetSheet(0);
    s.SetAsInteger(0, 0, 1);
    freeze(s);
    s.SetZoom(150);
    s.PrintSettings().SetHeader(u"&CMy header");
    s.PrintSettings().SetFooter(u"&CPage &P");
    s.PrintSettings().SetMarginLeft(2.0);
    s.SetWorkspaceOptions(s.GetWorkspaceOptions() | woFitToPage);
    s.PrintSettings().SetFitHeight(0);
    s.Rows().Add(4).SetNumberFormat(u"0.00%");
    made.SetVersion(TExcelVersion::xvExcel2007);
    made.SetFilename(fs::path(dir.File("made.xlsx")).u16string());
    made.Write();
    EXPECT_TRUE(made.Warnings().empty()) << Joined(made.Warnings());

    TTabrix4 read;
    read.SetFilename(fs::path(dir.File("features.xlsx")).u16string());
    read.Read();
    TSheet& r = read.GetSheet(0);
    r.PrintSettings().SetHeader(u"&CMy header");
    r.PrintSettings().SetMarginLeft(2.0);
    freeze(r);
    read.SetFilename(fs::path(dir.File("changed.xlsx")).u16string());
    read.Write();

    const std::vector<std::string> ours = {dir.File("made.xlsx"), dir.File("changed.xlsx")};
    testfiles::LibreOfficeConvert(ours, dir.File("lo-settings"), "xlsx");
    const std::vector<std::string> libre = {dir.File("lo-settings/made.xlsx"),
                                            dir.File("lo-settings/changed.xlsx")};
    std::vector<std::string> all = ours;
    all.insert(all.end(), libre.begin(), libre.end());
    const std::map<std::string, TFacts> facts = Oracle("xlsx", all);
    const std::map<std::string, std::string> expected[] = {
        {{"pane", "B3 frozen bottomRight"},
         {"zoom", "150"},
         {"margins", "2 0.75 1 1 0.5 0.5"},
         {"header", "My header"},
         {"footer", "Page &P"},
         {"fit", "1 1 0"},
         {"rowformat", "4 0.00%"}},
        // The package's own: its note, its sheet protection and the rest stay.
        {{"pane", "B3 frozen bottomRight"},
         {"zoom", "100"},
         {"margins", "2 0.75 1 1 0.5 0.5"},
         {"header", "My header"},
         {"footer", ""},
         {"fit", "0 1 1"}},
    };
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(all[i]);
        ASSERT_TRUE(facts.count(all[i])) << "the oracle read nothing";
        const TFacts& f = facts.at(all[i]);
        EXPECT_TRUE(f.Error.empty()) << f.Error;
        // LibreOffice's conversion keeps no view (panes, zoom), and rounds
        // the margins it does not change through centimetres.
        const bool byLibre = i >= ours.size();
        for (const auto& [what, value] : expected[i % 2]) {
            if (byLibre && (what == "pane" || what == "zoom")) continue;
            auto seen = f.Settings.find(what);
            std::string got = seen == f.Settings.end() ? "(none)" : seen->second;
            if (byLibre && what == "margins") got = got.substr(0, got.find(' '));
            EXPECT_EQ(got, byLibre && what == "margins" ? "2" : value) << what;
        }
    }
    EXPECT_EQ(facts.at(ours[1]).Notes.size(), 1u);
}

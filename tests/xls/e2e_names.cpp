// Defined names and external references made through the component, one of
// them deleted, written to .xls and read back by us, xlrd and LibreOffice;
// an EXTERNSHEET too long for one record goes out with CONTINUE.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/Cell.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"
#include "support_readers.h"

#include <gtest/gtest.h>

#include <map>

using namespace xls;

namespace {

struct TNameRecipe {
    const char16_t* Name;
    int Sheet; // -1 global
    const char16_t* Formula;
};

// Name 2 ("Gone") is deleted once the cells refer to it.
constexpr TNameRecipe Names[] = {
    {u"Rate", -1, u"Data!$A$1"},
    {u"Gone", -1, u"Data!$A$2"},
    {u"Later", -1, u"Rate+Rate"},
    {u"Local", 1, u"Other!$A$1:$A$3"},
    {u"_xlnm.Print_Area", 0, u"Data!$A$1:$B$3"},
    {u"Ext", -1, u"'C:\\Shop\\[Prices.xls]Sheet1'!$B$2"},
    {u"Uses", -1, u"Gone+Later"},
};

struct TCellRecipe {
    int Row;
    const char16_t* Formula;
    const char16_t* AfterDeletion;
};

constexpr TCellRecipe Cells[] = {
    {0, u"Rate+Gone", u"Rate+#NAME?"},
    {1, u"IF(A1>0,Gone,Later)", u"IF(A1>0,#NAME?,Later)"},
    {2, u"Later*Uses+Other!Local", u"Later*Uses+Other!Local"},
};

// name -> (localSheetId, text) after the deletion, as every reader must see them.
const std::map<std::string, std::pair<int, std::string>> Expected = {
    {"Rate", {-1, "Data!$A$1"}},           {"Later", {-1, "Rate+Rate"}},   {"Local", {1, "Other!$A$1:$A$3"}},
    {"Print_Area", {0, "Data!$A$1:$B$3"}}, {"Uses", {-1, "#NAME?+Later"}},
};

void AddName(TTabrix4& book, const TNameRecipe& n) {
    TInternalName& name = book.GetInternalNames().Add();
    name.SetName(n.Name);
    name.SheetNumber = uint16_t(n.Sheet + 1);
    TFormulaEncoding how;
    how.Class = 0x20;
    how.FileSyntax = true;
    how.Sheet = n.Sheet;
    const TEncodedFormula f = book.FormulaHandler().EncodeFormula(n.Formula, how);
    name.Data = f.Data;
    name.TokenLength = uint16_t(f.TokenLength);
}

std::string NameText(TTabrix4& book, int i) {
    const TInternalName& n = book.GetInternalNames().Items(i);
    TFormulaDecoding how;
    how.FileSyntax = true;
    how.Sheet = n.SheetNumber - 1;
    return WideToUtf8(book.FormulaHandler().DecodeFormula(n.Data, n.TokenLength, how));
}

std::map<std::string, std::pair<int, std::string>> OurNames(TTabrix4& book) {
    std::map<std::string, std::pair<int, std::string>> out;
    for (int i = 0; i < book.GetInternalNames().Count(); ++i)
        out[WideToUtf8(book.GetInternalNames().Items(i).GetName())] = {
            book.GetInternalNames().Items(i).SheetNumber - 1, NameText(book, i)};
    return out;
}

} // namespace

TEST(NamesFiles, DeletedNameReadBackByXlrdAndLibreOffice) {
    testfiles::ScratchDir dir;
    const std::string file = dir.File("names.xls"), many = dir.File("many.xls");
    {
        TTabrix4 book;
        book.GetSheet(0).SetName(u"Data");
        book.Sheets().Add(0).SetName(u"Other");
        for (int r = 0; r < 3; ++r) book.GetSheet(0).SetAsFloat(0, r, r + 1);
        for (const TNameRecipe& n : Names) AddName(book, n);
        for (const TCellRecipe& c : Cells) {
            TFormulaEncoding how;
            how.FileSyntax = true;
            how.Sheet = 0;
            const TEncodedFormula f = book.FormulaHandler().EncodeFormula(c.Formula, how);
            book.GetSheet(0).PutFormula(ctNumberFormula, 3, c.Row, 15, int(f.TokenLength), f.Data, {});
        }
        book.GetInternalNames().Delete(1);
        for (const TCellRecipe& c : Cells)
            EXPECT_EQ(book.FormulaHandler().GetCellFormulaXML(0, 3, c.Row), c.AfterDeletion);
        auto ours = OurNames(book);
        for (const auto& [name, scopeText] : Expected) EXPECT_EQ(ours[name], scopeText) << name;
        EXPECT_EQ(ours["Ext"].second, "'C:\\Shop\\[Prices.xls]Sheet1'!$B$2");
        // A name as a package brings it: text only.
        TInternalName& text = book.GetInternalNames().Add();
        text.SetName(u"FromText");
        text.FormulaText = u"Data!$B$1:$B$2";
        book.SetFilename(Utf8ToWide(file));
        book.Write();
    }
    {
        // More EXTERNSHEET entries than one record holds: one book each.
        TTabrix4 book;
        for (int i = 0; i < 1500; ++i) {
            const std::u16string n = u"N" + Utf8ToWide(std::to_string(i));
            const std::u16string f = u"'[B" + Utf8ToWide(std::to_string(i)) + u".xls]S'!$A$1";
            AddName(book, {n.c_str(), -1, f.c_str()});
        }
        EXPECT_EQ(book.FormulaHandler().Externals().EntryCount(), 1500);
        book.SetFilename(Utf8ToWide(many));
        book.Write();
    }

    testfiles::KeepTestOutput(file, "names.xls");
    testfiles::KeepTestOutput(many, "names-externsheet.xls");

    // We read back what we wrote.
    TTabrix4 back;
    back.SetFilename(Utf8ToWide(file));
    back.Read();
    for (const TCellRecipe& c : Cells)
        EXPECT_EQ(back.FormulaHandler().GetCellFormulaXML(0, 3, c.Row), c.AfterDeletion);
    for (const auto& [name, scopeText] : Expected) EXPECT_EQ(OurNames(back)[name], scopeText) << name;
    EXPECT_EQ(OurNames(back)["FromText"].second, "Data!$B$1:$B$2");
    TTabrix4 backMany;
    backMany.SetFilename(Utf8ToWide(many));
    backMany.Read();
    ASSERT_EQ(backMany.GetInternalNames().Count(), 1500);
    EXPECT_EQ(backMany.FormulaHandler().Externals().EntryCount(), 1500);
    EXPECT_EQ(backMany.FormulaHandler().Externals().BookCount(), 1500);
    EXPECT_EQ(NameText(backMany, 1499), "[B1499.xls]S!$A$1");

    // xlrd: names, scopes and the texts it decompiles (the error constant
    // as a string, the external reference as <<external>>).
    const auto xlrd = oracle::RunPerFile(
        "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("xlrd_names.py")), {file, many});
    ASSERT_TRUE(xlrd[0].Ok) << xlrd[0].Error;
    std::map<std::string, std::pair<int, std::string>> theirs;
    for (const auto& l : xlrd[0].Lines)
        if (l.size() >= 5) theirs[l[1]] = {std::stoi(l[2]), l[4]};
    EXPECT_EQ(theirs.size(), 7u);
    EXPECT_EQ(theirs["FromText"].second, "Data!$B$1:$B$2");
    for (const char* n : {"Rate", "Later", "Local", "Print_Area"}) EXPECT_EQ(theirs[n], Expected.at(n)) << n;
    EXPECT_EQ(theirs["Uses"].second, "\"#NAME?\"+Later");
    EXPECT_NE(theirs["Ext"].second.find("<<external>>"), std::string::npos) << theirs["Ext"].second;
    ASSERT_TRUE(xlrd[1].Ok) << xlrd[1].Error;
    EXPECT_EQ(xlrd[1].Lines.size(), 1500u);

    // LibreOffice: the names and cell formulas of its .xlsx.
    testfiles::LibreOfficeConvert({file, many}, dir.File("out"), "xlsx");
    const auto lo =
        oracle::RunPerFile("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("xlsx_formulas.py")),
                           {dir.File("out/names.xlsx"), dir.File("out/many.xlsx")});
    ASSERT_TRUE(lo[0].Ok) << lo[0].Error;
    std::map<std::string, std::pair<int, std::string>> named;
    std::map<int, std::string> cells;
    for (const auto& l : lo[0].Lines) {
        if (l[0] == "N" && l.size() >= 4) named[l[1]] = {std::stoi(l[2]), l[3]};
        if (l[0] == "F" && l.size() >= 6 && l[1] == "0" && l[4] == "3") cells[std::stoi(l[3])] = l[5];
    }
    // It writes the #NAME? constant as nothing, and numbers the other books.
    const auto withoutError = [](std::string text) {
        for (size_t at; (at = text.find("#NAME?")) != text.npos;) text.erase(at, 6);
        return text;
    };
    for (const char* n : {"Rate", "Later", "Local", "Uses"})
        EXPECT_EQ(named[n], std::make_pair(Expected.at(n).first, withoutError(Expected.at(n).second))) << n;
    EXPECT_EQ(named["_xlnm.Print_Area"], Expected.at("Print_Area"));
    EXPECT_EQ(named["Ext"].second, "[1]Sheet1!$B$2");
    for (const TCellRecipe& c : Cells) EXPECT_EQ(cells[c.Row], withoutError(WideToUtf8(c.AfterDeletion)));
    ASSERT_TRUE(lo[1].Ok) << lo[1].Error;
    size_t manyNames = 0;
    for (const auto& l : lo[1].Lines) manyNames += l[0] == "N";
    EXPECT_EQ(manyNames, 1500u);
}

// Formula text against independent readers: the formulas of the real files
// as LibreOffice writes them to .xlsx, every BIFF8 formula of the real files
// encoded back from its text, the defined names as xlrd reads them (from the
// real files and from what we write), and formulas we encode and write as
// SheetJS reads them and gnumeric computes them.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FunctionTable.h"
#include "SrcXLS/model/Cell.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

using namespace xls;
namespace fs = std::filesystem;

namespace {

// Formula text compared as other programs spell it: no blanks or quotes
// outside strings, one letter case, TRUE and FALSE without parentheses, no
// "_xlfn." prefixes, "~" (LibreOffice's union) as ",".
std::string Normal(const std::string& text) {
    std::string out;
    bool quoted = false;
    for (char c : text) {
        if (quoted) {
            out += c;
            quoted = c != '"';
            continue;
        }
        if (c == '"') quoted = true;
        if (c == ' ' || c == '\n' || c == '\r' || c == '\'') continue;
        out += c == '~' ? ',' : char(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const char* drop : {"_XLFN.", "()"}) {
        for (size_t at; (at = out.find(drop)) != out.npos;) {
            // "()" only after TRUE and FALSE.
            if (drop[0] == '(' && !(at >= 4 && (out.compare(at - 4, 4, "TRUE") == 0 ||
                                                (at >= 5 && out.compare(at - 5, 5, "FALSE") == 0))))
                break;
            out.erase(at, std::string(drop).size());
        }
    }
    return out;
}

struct TOurFormula {
    int Sheet = 0;
    std::string SheetName;
    int Row = 0, Col = 0;
    std::string Text;
};

// False when the file is refused.
bool ReadInto(TTabrix4& book, const fs::path& file) {
    try {
        book.SetFilename(file.u16string());
        book.Read();
        return true;
    } catch (const XLSError&) {
        return false;
    }
}

// The formula cells of a file as we read them; false when it is refused.
bool OurFormulas(const fs::path& file, std::vector<TOurFormula>& out) {
    TTabrix4 book;
    if (!ReadInto(book, file)) return false;
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        std::vector<std::pair<int, int>> cells;
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell())
            if (c->IsFormula()) cells.emplace_back(c->Col, int(c->Row));
        for (auto [col, row] : cells) {
            TOurFormula f{s, WideToUtf8(sheet.Name()), row, col, {}};
            try {
                f.Text = sheet.GetAsFormula(col, row);
            } catch (const XLSError& e) {
                f.Text = e.what();
            }
            out.push_back(std::move(f));
        }
    }
    return true;
}

// Why a formula's text differs from LibreOffice's.
std::string Kind(const std::string& ours, const std::string& theirs) {
    if (ours.rfind("Unknown ptg[02]", 0) == 0) return "data tables (LibreOffice writes TABLE)";
    if (ours.find("Unknown") != ours.npos || ours.find("missing") != ours.npos ||
        ours.find("[NAME]") != ours.npos)
        return "tokens the decoder does not read (labels, refused functions, BIFF3 names)";
    if (theirs.find("[1]") != theirs.npos || theirs.find("[2]") != theirs.npos)
        return "references to other workbooks (LibreOffice numbers the books)";
    if (theirs.find("#NAME") != theirs.npos) return "functions and names LibreOffice does not know";
    if (theirs.find("#REF!") != theirs.npos)
        return "references to deleted sheets (LibreOffice writes #REF! alone)";
    return "functions LibreOffice spells otherwise";
}

} // namespace

TEST(FormulaCorpus, LibreOfficeWritesTheSameText) {
    const std::vector<fs::path> files = oracle::RealWorldXls();
    if (files.empty()) GTEST_SKIP() << "no real-world files";
    testfiles::ScratchDir dir;
    fs::create_directories(dir.File("in"));
    std::vector<std::vector<TOurFormula>> ours;
    std::vector<std::string> inputs;
    for (const fs::path& file : files) {
        std::vector<TOurFormula> f;
        if (!OurFormulas(file, f) || f.empty()) continue;
        // Links with numbered names: files of several folders share names.
        const std::string link = dir.File("in/f" + std::to_string(ours.size()) + ".xls");
        fs::create_symlink(file, link);
        inputs.push_back(link);
        ours.push_back(std::move(f));
    }
    ASSERT_FALSE(inputs.empty());
    testfiles::LibreOfficeConvert(inputs, dir.File("out"), "xlsx");
    std::vector<std::string> converted;
    for (size_t i = 0; i < inputs.size(); ++i)
        converted.push_back(dir.File("out/f" + std::to_string(i) + ".xlsx"));
    const auto theirs = oracle::RunPerFile(
        "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("xlsx_formulas.py")), converted);
    size_t total = 0, same = 0;
    std::map<std::string, size_t> kinds;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!theirs[i].Ok) continue;
        // LibreOffice's sheets by name, and by position for old files it renames.
        std::map<std::tuple<std::string, int, int>, std::string> byName;
        std::map<std::tuple<int, int, int>, std::string> byIndex;
        for (const auto& l : theirs[i].Lines) {
            if (l.size() < 6) continue;
            byName.emplace(std::make_tuple(l[2], std::stoi(l[3]), std::stoi(l[4])), l[5]);
            byIndex.emplace(std::make_tuple(std::stoi(l[1]), std::stoi(l[3]), std::stoi(l[4])), l[5]);
        }
        for (const TOurFormula& f : ours[i]) {
            auto n = byName.find({f.SheetName, f.Row, f.Col});
            auto x = byIndex.find({f.Sheet, f.Row, f.Col});
            const std::string* text = n != byName.end()    ? &n->second
                                      : x != byIndex.end() ? &x->second
                                                           : nullptr;
            ++total;
            if (text && Normal(f.Text) == Normal(*text)) {
                ++same;
                continue;
            }
            ++kinds[text ? Kind(f.Text, *text) : "cells LibreOffice writes without a formula"];
        }
    }
    ASSERT_GT(total, 10000u);
    std::ostringstream report;
    report << same << " of " << total << " formula cells as LibreOffice writes them; the rest by kind:\n";
    for (const auto& [kind, n] : kinds) report << "  " << n << "  " << kind << "\n";
    std::cout << report.str();
    EXPECT_GE(double(same), 0.95 * double(total)) << report.str();
}

namespace {

// A token stream as the encoder would write it: attributes other than SUM
// dropped (SUM as the function), memory-token heads dropped, classes and
// the 8-bit string flag ignored, numbers to 15 digits with their sign,
// EXTERNSHEET entries by what they point at, and the unused bytes of array
// and error-reference tokens left out.
std::string Canonical(std::span<const uint8_t> tokens, TExternalNames& externals) {
    std::ostringstream out;
    TTokenWalker w(tokens, TTokenLayout::BIFF8);
    TToken t;
    TWalkStatus s;
    double number = 0;
    bool pendingNumber = false;
    auto flush = [&] {
        if (!pendingNumber) return;
        char buf[40];
        std::snprintf(buf, sizeof buf, "N%.15g ", number);
        out << buf;
        pendingNumber = false;
    };
    while ((s = w.Next(t)) == TWalkStatus::Token) {
        const uint8_t* p = t.Data;
        // A constant and its minus sign are one negative constant.
        if (pendingNumber && t.Base == ptg::Uminus) {
            number = -number;
            continue;
        }
        if (t.Base == ptg::Int || t.Base == ptg::Num) {
            flush();
            if (t.Base == ptg::Int)
                number = GetU16(p);
            else
                std::memcpy(&number, p, 8);
            pendingNumber = true;
            continue;
        }
        flush();
        switch (t.Base) {
        case ptg::Array:
            out << "A ";
            continue;
        case ptg::RefErr:
        case ptg::AreaErr:
            out << int(t.Base) << ' ';
            continue;
        case ptg::Attr:
            if ((p[0] & attr::Sum) && !(p[0] & attr::Choose)) out << "F4/1 ";
            continue;
        case ptg::MemArea:
        case ptg::MemErr:
        case ptg::MemNoMem:
        case ptg::MemFunc:
        case ptg::MemAreaN:
        case ptg::MemNoMemN:
            continue;
        case ptg::Str: {
            out << "S";
            for (int i = 0; i < p[0]; ++i) out << '.' << ((p[1] & 1) ? GetU16(p + 2 + 2 * i) : p[2 + i]);
            out << ' ';
            continue;
        }
        case ptg::Func:
            out << "F" << GetU16(p) << "/" << int(ExcelFunction(GetU16(p)).MinArgs) << ' ';
            continue;
        case ptg::FuncVar:
            out << "F" << (GetU16(p + 1) & 0x7FFF) << "/" << (p[0] & 0x7F) << ' ';
            continue;
        case ptg::Ref3d:
        case ptg::Area3d:
        case ptg::RefErr3d:
        case ptg::AreaErr3d:
        case ptg::NameX: {
            const int entry = GetU16(p);
            out << int(t.Base) << ":";
            if (entry < externals.EntryCount()) {
                const TExtSheet& e = externals.Entry(entry);
                out << e.Book << "/" << e.First << "/" << e.Last;
            }
            if (t.Base != ptg::RefErr3d && t.Base != ptg::AreaErr3d)
                for (size_t i = 2; i + 1 < t.Size; ++i) out << '.' << int(p[i]);
            out << ' ';
            continue;
        }
        default:
            out << int(t.Base);
            for (size_t i = 0; i + 1 < t.Size; ++i) out << '.' << int(p[i]);
            out << ' ';
        }
    }
    flush();
    if (s != TWalkStatus::End) out << "?" << int(t.Id);
    return out.str();
}

} // namespace

TEST(FormulaCorpus, TextEncodesBackToTheSameFormula) {
    const std::vector<fs::path> files = oracle::RealWorldXls();
    if (files.empty()) GTEST_SKIP() << "no real-world files";
    size_t total = 0, sameText = 0, sameTokens = 0;
    std::map<std::string, size_t> kinds;
    std::map<std::string, std::string> examples;
    auto note = [&](const std::string& kind, const std::string& example) {
        if (!kinds[kind]++) examples[kind] = example;
    };
    for (const fs::path& file : files) {
        TTabrix4 book;
        if (!ReadInto(book, file)) continue;
        if (book.GetVersion() != TExcelVersion::xvExcel97) continue;
        TFormulaHandler& formulas = book.FormulaHandler();
        for (int s = 0; s < book.Sheets().Count(); ++s) {
            TCellValues& cells = book.GetSheet(s).Cells();
            cells.BeginIterate();
            while (TCell* c = cells.NextCell()) {
                auto* f = dynamic_cast<TFormulaCell*>(c);
                if (!f) continue;
                std::span<const uint8_t> data = f->Data();
                size_t length = size_t(f->TokenLength());
                if (auto* a = dynamic_cast<TBaseArrayFormulaCell*>(f)) {
                    data = a->ArrayData().subspan(TBaseArrayFormulaCell::ArrayHeadSize);
                    length = size_t(a->GetArrayTokenLength());
                } else if (length > 0 && (data[0] == ptg::Exp || data[0] == ptg::Tbl)) {
                    continue; // a cell of an array or table: its formula stands elsewhere
                }
                ++total;
                TFormulaDecoding how;
                how.Row = int(f->Row);
                how.Col = f->Col;
                how.FileSyntax = true;
                std::string fault;
                how.Fault = &fault;
                std::u16string text;
                try {
                    text = formulas.DecodeFormula(data, length, how);
                } catch (const XLSError& e) {
                    note(std::string("not decoded: ") + e.what(), file.filename().string());
                    continue;
                }
                if (fault.rfind("macro command", 0) == 0) {
                    note("a macro command", WideToUtf8(text));
                    continue;
                }
                TFormulaEncoding encoding;
                encoding.FileSyntax = true;
                encoding.BIFF8 = true;
                encoding.Sheet = s;
                TEncodedFormula e;
                try {
                    e = formulas.EncodeFormula(text, encoding);
                } catch (const XLSError& error) {
                    std::string why = error.what();
                    note("not encoded: " + why.substr(why.find('\r') + 1), WideToUtf8(text));
                    continue;
                }
                if (formulas.DecodeFormula(e.Data, e.TokenLength, how) != text) {
                    note("text differs", WideToUtf8(text));
                    continue;
                }
                ++sameText;
                if (Canonical(data.first(length), formulas.Externals()) ==
                    Canonical(std::span<const uint8_t>(e.Data).first(e.TokenLength), formulas.Externals()))
                    ++sameTokens;
                else
                    note("tokens differ", WideToUtf8(text));
            }
        }
    }
    std::ostringstream report;
    report << total << " BIFF8 formulas: " << sameText << " encode back to the same text, " << sameTokens
           << " to the same tokens; the rest by kind (an example each):\n";
    for (const auto& [kind, n] : kinds)
        report << "  " << n << "  " << kind << "   e.g. " << examples[kind] << "\n";
    std::cout << report.str();
    // What does not come back: formulas of damaged files, macro sheets'
    // commands and functions, functions the encoder does not know, and tokens that read as
    // the same text (a reference error written as the #REF! constant, an
    // external name a book holds twice found by its name).
    const std::map<std::string, size_t> expected = {
        {"a macro command", 30},
        {"not decoded: Function arguments missing", 1},
        {"not encoded: Invalid constant ", 1},
        {"not encoded: Invalid function name ERROR", 1},
        {"not encoded: Invalid function name GETPIVOTDATA", 1},
        {"not encoded: Invalid function name RETURN", 5},
        {"tokens differ", 2},
    };
    EXPECT_EQ(total, 11696u);
    EXPECT_EQ(sameText, 11657u);
    EXPECT_EQ(sameTokens, 11655u);
    EXPECT_EQ(kinds, expected) << report.str();
}

namespace {

// xlrd writes numbers with a decimal point ("2.0^8.0"): as formulas write them.
std::string NormalNumbers(const std::string& text) {
    std::string out;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && c == '.' && i + 1 < text.size() && text[i + 1] == '0' && i > 0 &&
            std::isdigit(text[i - 1]) &&
            (i + 2 == text.size() || !std::isdigit(static_cast<unsigned char>(text[i + 2])))) {
            ++i;
            continue;
        }
        out += c;
    }
    return Normal(out);
}

// A reference whose row has no "$": a letter right before a digit.
bool HasRelativeRow(const std::string& text) {
    for (size_t i = 1; i < text.size(); ++i)
        if (std::isdigit(static_cast<unsigned char>(text[i])) &&
            std::isupper(static_cast<unsigned char>(text[i - 1])))
            return true;
    return false;
}

struct TNameLine {
    std::string Name;
    int Scope = -1;
    bool BuiltIn = false;
    std::string Text;
    bool operator==(const TNameLine&) const = default;
};

std::vector<TNameLine> XlrdNames(const oracle::TOracleFile& f) {
    std::vector<TNameLine> out;
    for (const auto& l : f.Lines)
        if (l.size() >= 5) out.push_back({l[1], std::stoi(l[2]), l[3] == "1", l[4]});
    return out;
}

} // namespace

// Every defined name of the real files as xlrd reads it, and the names and
// external references we write read by xlrd as it read the original.
TEST(FormulaCorpus, NamesAsXlrdReadsThem) {
    const std::vector<fs::path> files = oracle::RealWorldXls();
    if (files.empty()) GTEST_SKIP() << "no real-world files";
    testfiles::ScratchDir dir;
    std::vector<std::string> originals, written;
    std::vector<std::vector<TNameLine>> ours;
    for (const fs::path& file : files) {
        TTabrix4 book;
        if (!ReadInto(book, file)) continue;
        TInternalNames& names = book.GetInternalNames();
        if (book.GetVersion() != TExcelVersion::xvExcel97 || names.Count() == 0) continue;
        std::vector<TNameLine> lines;
        for (int i = 0; i < names.Count(); ++i) {
            const TInternalName& n = names.Items(i);
            TFormulaDecoding how;
            how.FileSyntax = true;
            std::string text;
            try {
                text = WideToUtf8(book.FormulaHandler().DecodeFormula(n.Data, n.TokenLength, how));
            } catch (const XLSError& e) {
                text = e.what();
            }
            lines.push_back({WideToUtf8(n.GetName()), int(n.SheetNumber) - 1, n.IsBuiltIn(), text});
        }
        const std::string out = dir.File("w" + std::to_string(ours.size()) + ".xls");
        book.SetFilename(Utf8ToWide(out));
        book.Write();
        originals.push_back(file.string());
        written.push_back(out);
        ours.push_back(std::move(lines));
    }
    ASSERT_GT(ours.size(), 10u);
    const std::string script = "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("xlrd_names.py"));
    const auto before = oracle::RunPerFile(script, originals);
    const auto after = oracle::RunPerFile(script, written);
    size_t total = 0, same = 0, kept = 0, compared = 0;
    std::map<std::string, size_t> kinds;
    std::ostringstream differences;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (!before[i].Ok) continue;
        const auto theirs = XlrdNames(before[i]);
        // What xlrd reads from the file we wrote is what it read from the original.
        EXPECT_TRUE(after[i].Ok) << written[i] << ": " << after[i].Error;
        ++compared;
        if (after[i].Ok && XlrdNames(after[i]) == theirs)
            ++kept;
        else
            ADD_FAILURE() << originals[i] << ": xlrd reads other names from the file written";
        ASSERT_EQ(theirs.size(), ours[i].size()) << originals[i];
        for (size_t k = 0; k < theirs.size(); ++k) {
            const TNameLine& a = ours[i][k];
            const TNameLine& b = theirs[k];
            ++total;
            EXPECT_EQ(a.Name, b.Name) << originals[i];
            EXPECT_EQ(a.Scope, b.Scope) << originals[i] << " " << a.Name;
            EXPECT_EQ(a.BuiltIn, b.BuiltIn) << originals[i] << " " << a.Name;
            if (NormalNumbers(a.Text) == NormalNumbers(b.Text)) {
                ++same;
            } else if (b.Text == "?") {
                ++kinds["names xlrd cannot decompile"];
            } else if (b.Text.find("\"#") != b.Text.npos && a.Text.find('"') == a.Text.npos) {
                ++kinds["error constants (xlrd writes them as strings)"];
            } else if (b.Text.find("macro sheet") != b.Text.npos) {
                ++kinds["references to macro sheets (xlrd names them 'internal; macro sheet')"];
            } else if (b.Text.find("deleted sheet") != b.Text.npos) {
                ++kinds["references to deleted sheets (xlrd names them 'internal; deleted sheet')"];
            } else if (b.Text.find("$IV$") != b.Text.npos || b.Text.find("$65536") != b.Text.npos) {
                ++kinds["whole rows and columns (xlrd writes their corners)"];
            } else if (b.Text.find("<<external>>") != b.Text.npos) {
                ++kinds["references to other workbooks (xlrd writes <<external>>)"];
            } else if (b.Text.find("R[") != b.Text.npos || b.Text.find("C[") != b.Text.npos ||
                       HasRelativeRow(a.Text)) {
                ++kinds["relative references (xlrd reads them from row -1)"];
            } else {
                ++kinds["other"];
                if (differences.tellp() < 4000)
                    differences << "  " << fs::path(originals[i]).filename().string() << " " << a.Name << ": "
                                << a.Text << " / xlrd " << b.Text << "\n";
            }
        }
    }
    std::ostringstream report;
    report << total << " names, " << same << " with xlrd's formula text; " << kept << " of " << compared
           << " files keep their names when written. The rest by kind:\n";
    for (const auto& [kind, n] : kinds) report << "  " << n << "  " << kind << "\n";
    std::cout << report.str() << differences.str();
    EXPECT_EQ(kinds["other"], 0u) << differences.str();
}

namespace {

// Formulas encoded from text, and the value gnumeric computes for each.
struct TWrittenFormula {
    const char16_t* Text;
    const char* Value;
};
const TWrittenFormula WrittenFormulas[] = {
    {u"A1+A2*2", "5"},
    {u"SUM(A1:A3)", "6"},
    {u"AVERAGE(A1:A3)", "2"},
    {u"IF(A1>0,\"pos\",\"neg\")", "pos"},
    {u"IF(A1,1,)", "1"},
    {u"ROUND(2.5,0)", "3"},
    {u"MOD(-7,3)", "2"},
    {u"2^3^2", "64"},
    {u"-A2%", "-0.02"},
    {u"CONCATENATE(\"a\",B1)&\"-\"&LEN(\"Привіт\")", "ax-6"},
    {u"\"say \"\"hi\"\"\"", "say \"hi\""},
    {u"MID(\"abcdef\",2,3)", "bcd"},
    {u"COUNTIF(A1:A3,\">1\")", "2"},
    {u"VLOOKUP(2,A1:B3,1,FALSE)", "2"},
    {u"INDEX(A1:A3,2)", "2"},
    {u"SUM(A1:A3 A2:B2)", "2"},
    {u"SUM({1,2;3,4})", "10"},
    {u"ISERROR(1/0)", "TRUE"},
    {u"ISNA(#N/A)", "TRUE"},
    {u"'My Sheet'!A1*10", "40"},
    {u"SUM('Data:My Sheet'!A1)", "5"},
    {u"Rate*2", "4"},
    {u"PI()*2", "6.28318530717959"},
};

// A workbook of data (Data!A1:A3 = 1, 2, 3, B1 "x", 'My Sheet'!A1 = 4, the
// name Rate = Data!$A$2) and the formulas in column D of Data, written.
void WriteFormulaBook(const std::string& file) {
    TTabrix4 book;
    TSheet& data = book.GetSheet(0);
    data.SetName(u"Data");
    for (int r = 0; r < 3; ++r) data.SetAsFloat(0, r, r + 1);
    data.SetAsString(1, 0, u"x");
    book.Sheets().Add(0).SetName(u"My Sheet");
    book.GetSheet(1).SetAsFloat(0, 0, 4);
    TFormulaHandler& formulas = book.FormulaHandler();
    TInternalName& rate = book.GetInternalNames().Add();
    rate.SetName(u"Rate");
    TEncodedFormula ref = formulas.EncodeFormula(u"Data!$A$2", {.Class = 0x20, .FileSyntax = true});
    rate.Data = ref.Data;
    rate.TokenLength = uint16_t(ref.TokenLength);
    int row = 0;
    for (const TWrittenFormula& w : WrittenFormulas) {
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Sheet = 0;
        TEncodedFormula f = formulas.EncodeFormula(w.Text, how);
        TFormulaResult cached; // 0: gnumeric must compute each value
        data.PutFormula(ctNumberFormula, 3, row++, 15, int(f.TokenLength), f.Data, cached);
    }
    book.SetFilename(Utf8ToWide(file));
    book.Write();
}

} // namespace

TEST(FormulaFiles, SheetJSReadsTheFormulasWeWrite) {
    if (!fs::exists(oracle::SheetJSDir() + "/node_modules/xlsx")) GTEST_SKIP() << "SheetJS is not installed";
    testfiles::ScratchDir dir;
    WriteFormulaBook(dir.File("formulas.xls"));
    const auto read = oracle::RunPerFile("node " + oracle::Quote(oracle::ScriptPath("sheetjs_formulas.js")) +
                                             " " + oracle::Quote(oracle::SheetJSDir()),
                                         {dir.File("formulas.xls")});
    ASSERT_TRUE(read[0].Ok) << read[0].Error;
    std::map<int, std::string> texts;
    for (const auto& l : read[0].Lines)
        if (l.size() >= 5 && l[1] == "0" && l[3] == "3") texts[std::stoi(l[2])] = l[4];
    int row = 0;
    for (const TWrittenFormula& w : WrittenFormulas) {
        ASSERT_TRUE(texts.count(row)) << WideToUtf8(w.Text);
        EXPECT_EQ(Normal(texts[row]), Normal(WideToUtf8(w.Text))) << texts[row];
        ++row;
    }
}

TEST(FormulaFiles, GnumericComputesTheFormulasWeWrite) {
    testfiles::ScratchDir dir;
    WriteFormulaBook(dir.File("formulas.xls"));
    // Each sheet to a file of its own; Data is the first.
    oracle::TRun csv = oracle::Run("ssconvert --recalc -S " + oracle::Quote(dir.File("formulas.xls")) + " " +
                                   oracle::Quote(dir.File("formulas.%n.csv")));
    ASSERT_EQ(csv.Status, 0) << csv.Output;
    std::stringstream lines(testfiles::Slurp(dir.File("formulas.0.csv")));
    std::string line;
    int row = 0;
    for (const TWrittenFormula& w : WrittenFormulas) {
        ASSERT_TRUE(std::getline(lines, line)) << WideToUtf8(w.Text);
        // The fourth field; quoted texts lose their quotes.
        std::string value;
        bool quoted = false;
        int field = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    if (field == 3) value += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
            } else if (c == ',' && !quoted) {
                ++field;
            } else if (field == 3) {
                value += c;
            }
        }
        // Numbers to 12 places: gnumeric writes up to 20 digits.
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        const char* expected = w.Value + (w.Value[0] == '-');
        if (!value.empty() && *end == '\0' && std::isdigit(static_cast<unsigned char>(*expected)))
            EXPECT_NEAR(number, std::strtod(w.Value, nullptr), 1e-12)
                << "row " << row << ": " << WideToUtf8(w.Text);
        else
            EXPECT_EQ(value, w.Value) << "row " << row << ": " << WideToUtf8(w.Text);
        ++row;
    }
}

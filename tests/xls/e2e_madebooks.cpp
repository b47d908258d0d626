// Workbooks made through the library from a fixed seed (cells of every kind
// and value class, long texts and characters made of two, rich runs,
// indents, hyperlinks of every kind, merged areas, names, conditional formats
// and validations, notes, text boxes and charts, page setup, frozen panes,
// zoom, protection), each written as Excel 97, Excel 5, Excel 4 and .xlsx. A write
// either refuses with the library's message or gives a file that our reader
// and xlrd or openpyxl read, every item equal or its kind named in the
// write's warnings; gnumeric reads a fixed sample without complaint.
// Q710_MADE_BOOKS sets the number of workbooks (100), Q710_MADE_GNUMERIC how
// many of them gnumeric judges (4).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ChartModel.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/Hyperlinks.h"
#include "SrcXLS/model/PrintSettings.h"
#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>

using namespace xls;

namespace {

using TFacts = std::set<std::string>;

std::string Fact(std::initializer_list<std::string> fields) {
    std::string out;
    for (const std::string& f : fields) out += (out.empty() ? "" : "\t") + f;
    return out;
}

std::string Number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// A cell as the oracle prints it: C sheet row col kind value.
std::string CellFact(TSheet& sheet, int s, TCell& cell) {
    const int col = cell.Col, row = int(cell.Row);
    auto fact = [&](const char* kind, const std::string& value) {
        return Fact({"C", std::to_string(s), std::to_string(row), std::to_string(col), kind, value});
    };
    switch (cell.CellType()) {
    case ctInteger:
    case ctFloat:
    case ctNumberFormula:
        return fact("n", Number(sheet.GetAsFloat(col, row)));
    case ctBoolean:
    case ctBooleanFormula:
        return fact("b", sheet.GetAsString(col, row) == u"TRUE" ? "1" : "0");
    case ctError:
    case ctErrorFormula: {
        TFormulaValue v;
        sheet.GetCellValue(col, row, v);
        return fact("e", WideToUtf8(ErrorFileText(v.Error)));
    }
    default:
        return fact("t", WideToUtf8(sheet.GetAsString(col, row)));
    }
}

// What a version's file holds of a workbook: its sheets and rows, the
// characters of a text, merged areas, frozen panes; formula cells (which a
// write computes) or not.
struct TLimits {
    int Sheets = 1 << 30, LastRow = 1 << 30, LastCol = 16383;
    size_t MaxText = size_t(-1);
    bool Merged = true, Panes = true, Formulas = true, Zoom = true;
    bool SheetNames = true; // an Excel 4 file holds its one sheet's name nowhere
    bool Names = true;      // defined names and their comments
};

// The facts the oracles print of a workbook, within the limits.
TFacts Facts(TTabrix4& book, const TLimits& l) {
    TFacts out;
    for (int s = 0; s < std::min(l.Sheets, book.Sheets().Count()); ++s) {
        TSheet& sheet = book.GetSheet(s);
        if (l.SheetNames) out.insert(Fact({"S", std::to_string(s), WideToUtf8(sheet.Name())}));
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell()) {
            if (c->CellType() == ctBlank || c->Col > l.LastCol || int(c->Row) > l.LastRow) continue;
            if (c->IsFormula() && !l.Formulas) continue;
            std::string fact = CellFact(sheet, s, *c);
            const size_t at = fact.find("\tt\t");
            if (at != std::string::npos) {
                const std::u16string text = sheet.GetAsString(c->Col, int(c->Row));
                if (text.empty()) continue;
                fact = fact.substr(0, at + 3) + WideToUtf8(CutWhole(text, l.MaxText));
            }
            out.insert(fact);
        }
        const TMergedCells& merged = sheet.MergedCells();
        for (int i = 0; i < merged.Count() && l.Merged; ++i)
            out.insert(
                Fact({"M", std::to_string(s), std::to_string(merged[i].Row1), std::to_string(merged[i].Col1),
                      std::to_string(merged[i].Row2), std::to_string(merged[i].Col2)}));
        if (sheet.GetZoom() != 100 && sheet.GetZoom() != 0 && l.Zoom)
            out.insert(Fact({"Z", std::to_string(s), std::to_string(sheet.GetZoom())}));
        const TPane& pane = sheet.Pane();
        if (pane.PaneType == TPaneType::ptFrozen && pane.FitsWithin(l.LastCol, l.LastRow) && l.Panes)
            out.insert(Fact(
                {"P", std::to_string(s), std::to_string(pane.SplitRowY), std::to_string(pane.SplitColX)}));
    }
    for (int i = 0; i < book.GetInternalNames().Count() && l.Names; ++i) {
        const TInternalName& n = book.GetInternalNames().Items(i);
        out.insert(Fact({"N", WideToUtf8(n.GetName()), WideToUtf8(n.Comment)}));
    }
    return out;
}

// Our reader's facts of a file written; the read's message when it refuses.
std::string OurFacts(const std::string& file, TFacts& out) {
    TTabrix4 back;
    back.SetFilename(Utf8ToWide(file));
    try {
        back.Read();
    } catch (const XLSError& e) {
        return e.what();
    }
    out = Facts(back, {});
    return "";
}

const std::u16string Texts[] = {
    u"Товар",       u"price 15,- грн", u"a&b<c>\"d\"", u"  blanks at the ends  ", u"two\nlines\tand a tab",
    u"ґанок і їжак"};

// A text of the kind drawn: short, longer than Excel 5 holds, longer than
// a cell holds with a character made of two across the cut, with such a
// character (no 8-bit code page has it) and with a control character.
std::u16string DrawText(std::mt19937& random, bool wide) {
    switch (random() % 12) {
    case 0:
        return std::u16string(300 + random() % 200, u'щ');
    case 1:
        if (wide) return std::u16string(32766, u'x') + u"\U0001F600 after the cut";
        [[fallthrough]];
    case 2:
        if (wide) return u"emoji \U0001F600";
        [[fallthrough]];
    case 3:
        return u"bell\x07"
               u"here";
    default:
        return Texts[random() % std::size(Texts)];
    }
}

struct TDrawn {
    bool Wide = false;     // texts no 8-bit code page holds
    bool Drawings = false; // notes and text boxes
};

void DrawCells(TTabrix4& book, TSheet& sheet, std::mt19937& random, const TDrawn& d) {
    for (int n = int(5 + random() % 25); n > 0; --n) {
        const int col = int(random() % 8), row = int(random() % 40);
        switch (random() % 10) {
        case 0:
            sheet.SetAsInteger(col, row, int32_t(random()) - 1000000);
            break;
        case 1: {
            const double values[] = {0.1, -2.5e-7, 1e20, 3.0, std::nan(""), HUGE_VAL, -HUGE_VAL, 1234567.125};
            sheet.SetAsFloat(col, row, values[random() % std::size(values)]);
            break;
        }
        case 2:
        case 3:
            sheet.SetAsString(col, row, DrawText(random, d.Wide));
            break;
        case 4:
            sheet.SetAsBoolean(col, row, random() % 2);
            break;
        case 5:
            sheet.PutError(col, row, DefaultCellFormat, int(1 + random() % 7));
            break;
        case 6: {
            // The write computes the value.
            const char16_t* formulas[] = {u"1+2*3", u"SUM(A1:B3)", u"\"a\"&\"b\"", u"1/0", u"A1>2"};
            const TEncodedFormula f = book.FormulaHandler().EncodeFormula(
                formulas[random() % std::size(formulas)], {.FileSyntax = true});
            sheet.PutFormula(ctNumberFormula, col, row, DefaultCellFormat, int(f.TokenLength), f.Data, {});
            break;
        }
        case 7: {
            // Parts of the text in fonts of their own.
            TXFont bold;
            bold.Style = xfsBold;
            TXFont red;
            red.Style = xfsItalic;
            red.ColorIndex = 10;
            TXLSWideStringList pieces;
            pieces.AddWithValue(u"plain ", 0);
            pieces.AddWithValue(u"bold", book.Fonts().FindOrAdd(bold)->PoolIndex);
            pieces.AddWithValue(u" red italic", book.Fonts().FindOrAdd(red)->PoolIndex);
            book.Strings().AddFormattedStringRead(pieces);
            sheet.PutSSTString(col, row, DefaultCellFormat, book.Strings().ReadCount() - 1);
            break;
        }
        case 8: {
            // Formats with a character XML cannot carry (xlwt writes them),
            // fonts below a point.
            sheet.SetAsFloat(col, row, 2.5);
            TCell& cell = *sheet.GetCell(col, row);
            cell.SetNumberFormat(u"0.0\x01");
            cell.SetFontName(random() % 2 ? u"Ari\x02"
                                            u"al"
                                          : u"Arial");
            cell.SetFontSize20(uint32_t(random() % 30));
            break;
        }
        default:
            sheet.SetAsString(col, row, u"indented");
            sheet.GetCell(col, row)->SetIndent(int(1 + random() % 4));
        }
    }
    // Cells beyond Excel 5's and Excel 97's last rows and column IV.
    if (random() % 4 == 0) sheet.SetAsInteger(1, 20000, 7);
    if (random() % 6 == 0) sheet.SetAsString(2, 70000, u"far down");
    if (random() % 6 == 0) sheet.SetAsInteger(300, 3, 9);
}

void DrawLinks(TSheet& sheet, std::mt19937& random) {
    struct TLink {
        const char16_t *Address, *Location;
    } kinds[] = {{u"http://example.com/a?b=1", u""},      {u"mailto:shop@example.com", u""},
                 {u"\\\\server\\share\\prices.xls", u""}, {u"..\\docs\\звіт.xls", u""},
                 {u"C:\\data\\prices.xls", u""},          {u"", u"Sheet1!A5"},
                 {u"http://example.com/", u"Top"}};
    for (int n = int(random() % 4); n > 0; --n) {
        THyperlink& link = sheet.Hyperlinks().Add();
        link.Col1 = link.Col2 = int(8 + random() % 4);
        link.Row1 = link.Row2 = 8 * n + int(random() % 8); // a cell of its own
        const TLink& k = kinds[random() % std::size(kinds)];
        if (*k.Address) link.SetAddress(k.Address);
        if (*k.Location) link.SetLocation(k.Location);
        if (random() % 2) link.SetDescription(u"Опис");
        if (random() % 2) link.SetToolTip(u"Підказка");
    }
}

void DrawRanges(TTabrix4& book, TSheet& sheet, std::mt19937& random, const TDrawn& d) {
    const int row = int(random() % 30);
    if (random() % 2) {
        sheet.MergedCells().AddArea(12, row, 13, row + 1);
        // One sharing a cell with it is refused.
        EXPECT_THROW(sheet.MergedCells().AddArea(13, row + 1, 14, row + 2), XLSError);
    }
    if (random() % 4 == 0) {
        auto& cf = sheet.ConditionalFormats().Add();
        cf.Areas.AddArea(0, 0, 1, 9);
        cf.Condition1.SetCompareCell(false);
        cf.Condition1.SetFormula1(u"A1>2");
        cf.Condition1.FmtFont.SetFontStyle(xfsBold);
    }
    if (random() % 4 == 0) {
        auto& dv = sheet.Validations().Add();
        dv.Areas.AddArea(2, 0, 2, 9);
        dv.SetExpression1(u"5");
    }
    if (random() % 4 == 0 && sheet.Index() == 0) {
        TInternalName& name = book.GetInternalNames().Add();
        name.SetName(u"Rate" + Utf8ToWide(std::to_string(book.GetInternalNames().Count())));
        name.Comment = u"the rate\x01 of the day";
        const TEncodedFormula f =
            book.FormulaHandler().EncodeFormula(u"Sheet1!$A$1", {.Class = 0x20, .FileSyntax = true});
        name.Data = f.Data;
        name.TokenLength = uint16_t(f.TokenLength);
    }
    if (d.Drawings) {
        TShapeOutsideMsoNote* note = TEscherDrawing::NoteOf(sheet.Drawing().AddNote());
        note->Col = 1;
        note->Row = 1;
        note->SetText(u"Ціна змінена");
        if (random() % 2) sheet.Drawing().AddTextBox().Anchor.Row1 = 12;
        if (random() % 2) {
            TDrwChart& chart = sheet.Charts().Add();
            chart.Series[0].SetValues(u"Sheet1!$A$1:$A$6");
        }
    }
}

void DrawSettings(TSheet& sheet, std::mt19937& random) {
    TPrintSettings& print = sheet.PrintSettings();
    if (random() % 3 == 0) {
        print.SetMarginLeft(1.5);
        print.SetMarginTop(0.4);
        print.SetFitWidth(2);
        print.SetFitHeight(3);
        sheet.SetWorkspaceOptions(sheet.GetWorkspaceOptions() | woFitToPage);
    }
    if (random() % 3 == 0) print.SetHeader(random() % 2 ? u"&CЗвіт" : std::u16string(302, u'h'));
    if (random() % 3 == 0) sheet.SetZoom(int(50 + random() % 150));
    if (random() % 3 == 0) {
        TPane& pane = sheet.Pane();
        pane.PaneType = TPaneType::ptFrozen;
        pane.SplitRowY = pane.TopRow = random() % 4 == 0 ? 30000 : int(1 + random() % 5);
        pane.SplitColX = pane.LeftCol = int(random() % 3);
    }
    if (random() % 5 == 0) sheet.Records().SetProtect(1);
}

void Make(TTabrix4& book, std::mt19937& random) {
    TDrawn d;
    d.Wide = random() % 4 == 0;
    d.Drawings = random() % 4 == 0;
    for (int n = int(random() % 3); n > 0; --n) book.Sheets().Add(0);
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        DrawCells(book, sheet, random, d);
        DrawLinks(sheet, random);
        DrawRanges(book, sheet, random, d);
        DrawSettings(sheet, random);
    }
}

struct TVersion {
    TExcelVersion Version;
    const char* Name;
    TLimits Limits; // of what the file holds of a model
};
constexpr TVersion Versions[] = {
    {TExcelVersion::xvExcel97,
     "97.xls",
     {.LastRow = 65535, .LastCol = 255, .Formulas = false, .Names = false}},
    {TExcelVersion::xvExcel50,
     "5.xls",
     {.LastRow = 16383, .LastCol = 255, .MaxText = 255, .Formulas = false, .Names = false}},
    {TExcelVersion::xvExcel40, "4.xls", {1, 16383, 255, 255, false, false, false, true, false, false}},
    {TExcelVersion::xvExcel2007, ".xlsx", {.Formulas = false}}};

// The kinds a write of the version must name when the model holds them.
void ExpectNamed(TTabrix4& book, const TVersion& v, const std::string& warnings) {
    auto named = [&](bool holds, const char* kind) {
        if (!holds) return;
        EXPECT_NE(warnings.find(kind), std::string::npos) << kind << " not named in\n" << warnings;
    };
    const bool older = v.Version < TExcelVersion::xvExcel97 && v.Version != TExcelVersion::xvExcel2007;
    const TLimits& l = v.Limits;
    for (int s = 0; s < std::min(l.Sheets, book.Sheets().Count()); ++s) {
        TSheet& sheet = book.GetSheet(s);
        bool beyond = false, rich = false, indent = false, longText = false;
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell()) {
            beyond |= c->Col > l.LastCol;
            beyond |= int(c->Row) > std::min(l.LastRow, 1048575);
            indent |= c->GetIndent() != 0;
            auto* text = dynamic_cast<TStringCell*>(c);
            rich |= text && text->Entry() && !text->Entry()->Runs().empty();
            longText |= text && text->Text().size() > l.MaxText;
        }
        named(beyond, "beyond column IV or row");
        named(older && rich, "the fonts of parts of");
        named(older && indent, "the indent of");
        named(longText, "cut to 255");
        named(older && sheet.Hyperlinks().Count() > 0, "hyperlink");
        named(older && sheet.ConditionalFormats().Count() > 0, "conditional format");
        named(older && sheet.Validations().Count() > 0, "data validation");
        named(v.Version == TExcelVersion::xvExcel40 && sheet.MergedCells().Count() > 0, "merged area");
        named(sheet.Pane().PaneType == TPaneType::ptFrozen &&
                  (v.Version == TExcelVersion::xvExcel40 || !sheet.Pane().FitsWithin(l.LastCol, l.LastRow)),
              "frozen panes");
        named(sheet.PrintSettings().GetHeader().size() > 255 && older, "the header (302 characters) cut");
    }
    named(book.Sheets().Count() > l.Sheets, "after the first");
}

int Knob(const char* name, int standard) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : standard;
}

} // namespace

TEST(MadeBooks, EveryVersionWritesSoundFilesOrRefusesWithAReason) {
    const int books = Knob("Q710_MADE_BOOKS", 100), judgedByGnumeric = Knob("Q710_MADE_GNUMERIC", 4);
    testfiles::ScratchDir dir;
    std::mt19937 random(20261209);
    struct TWritten {
        std::string File, What;
        TFacts Expected, Ours;
        std::set<std::string> Links; // "L sheet row col" of the links the model holds
        std::set<char> Unread;       // kinds of facts our reader does not read from it
        // A web link with a place in the page: gnumeric warns about its
        // record, as about LibreOffice's of the same link.
        bool WebPlace = false;
    };
    std::vector<TWritten> written;
    int refused = 0;
    for (int b = 0; b < books; ++b) {
        LibState().Reset();
        TTabrix4 book;
        Make(book, random);
        for (const TVersion& v : Versions) {
            const std::string file = dir.File("made" + std::to_string(b) + "-" + v.Name);
            SCOPED_TRACE(file);
            book.SetVersion(v.Version);
            book.SetFilename(Utf8ToWide(file));
            try {
                book.Write();
            } catch (const XLSError& e) {
                // A refusal says why.
                EXPECT_GT(std::string(e.what()).size(), 10u) << e.what();
                ++refused;
                continue;
            }
            std::string warnings;
            for (const std::string& w : book.Warnings()) warnings += w + "\n";
            ExpectNamed(book, v, warnings);
            TWritten w{file, file + "\n" + warnings, Facts(book, v.Limits), {}, {}, {}, false};
            // Our reader takes no zoom or panes from a package.
            if (v.Version == TExcelVersion::xvExcel2007) w.Unread = {'Z', 'P'};
            const std::string read = OurFacts(file, w.Ours);
            EXPECT_EQ(read, "") << "our reader refuses the file";
            const bool links =
                v.Version == TExcelVersion::xvExcel97 || v.Version == TExcelVersion::xvExcel2007;
            for (int s = 0; s < book.Sheets().Count() && links; ++s)
                for (int i = 0; i < book.GetSheet(s).Hyperlinks().Count(); ++i) {
                    const THyperlink& h = book.GetSheet(s).Hyperlinks().Items(i);
                    w.Links.insert(
                        Fact({"L", std::to_string(s), std::to_string(h.Row1), std::to_string(h.Col1)}));
                    w.WebPlace |= h.HyperlinkType() == THyperlinkType::hltURL && !h.TextMark().empty();
                }
            written.push_back(std::move(w));
        }
    }
    // Some writes go, some refuse (Excel 5 with drawings, texts no code page holds).
    EXPECT_GT(written.size(), size_t(books) * 2);
    EXPECT_GT(refused, 0);

    std::vector<std::string> files;
    for (const TWritten& w : written) files.push_back(w.File);
    const auto oracle = oracle::RunPerFile(
        "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("made_oracle.py")), files, 600);
    for (size_t i = 0; i < written.size(); ++i) {
        const TWritten& w = written[i];
        SCOPED_TRACE(w.What);
        if (!oracle[i].NoVerdict.empty()) continue;
        ASSERT_TRUE(oracle[i].Ok) << oracle[i].Error;
        TFacts theirs, links;
        for (const auto& line : oracle[i].Lines) {
            if (line[0] == "L") {
                links.insert(Fact({line[0], line[1], line[2], line[3]}));
                continue;
            }
            std::string fact;
            for (const std::string& f : line) fact += (fact.empty() ? "" : "\t") + f;
            theirs.insert(fact);
        }
        // Both readers read the same cells, those of formulas too (which
        // the write computed); and what the model holds.
        auto cells = [](const TFacts& f) {
            TFacts out;
            std::copy_if(f.begin(), f.end(), std::inserter(out, out.end()),
                         [](const auto& x) { return x[0] == 'C'; });
            return out;
        };
        EXPECT_EQ(cells(w.Ours), cells(theirs));
        for (const std::string& f : w.Expected) {
            EXPECT_TRUE(w.Unread.count(f[0]) || w.Ours.count(f)) << "our reader lacks " << f;
            EXPECT_TRUE(f[0] == 'N' || theirs.count(f)) << "the oracle lacks " << f; // it lists no names
        }
        for (const std::string& l : w.Links) EXPECT_TRUE(links.count(l)) << "the oracle lacks the link " << l;
    }

    // gnumeric reads a sample of the files without a complaint.
    for (size_t i = 0; i < written.size() && int(i) < 4 * judgedByGnumeric; ++i) {
        const oracle::TRun r = oracle::Run("ssconvert " + oracle::Quote(written[i].File) + " " +
                                           oracle::Quote(dir.File("g.csv")));
        if (r.Status == -1) continue;
        EXPECT_EQ(r.Status, 0) << written[i].What << r.Output;
        EXPECT_EQ(r.Output.find("CRITICAL"), std::string::npos) << written[i].What << r.Output;
        const bool hlink = r.Output.find("excel_read_HLINK") != std::string::npos;
        if (!(written[i].WebPlace && hlink)) {
            EXPECT_EQ(r.Output.find("WARNING"), std::string::npos) << written[i].What << r.Output;
        }
    }
    LibState().Reset();
}

// Workbooks copied through every version (a package, Excel 97, Excel 5,
// Excel 4): every workbook of the shared corpus that our reader reads, and
// files made by this library and by other writers (openpyxl, XlsxWriter,
// xlwt, LibreOffice, gnumeric). Each copy written opens in our reader and,
// without a message of damage, in gnumeric; and each copy's cells hold the
// source's values as one oracle reads both: xlrd where source and copy are
// binary, openpyxl where both are packages, gnumeric always (through the
// Excel 97 files it writes of them, which xlrd reads). A cell may differ
// only where the write named it (a formula whose value is lost, a cell past
// the version's limits, a text cut), where the oracle computes a formula the
// source cached otherwise (volatile functions, stale results: gnumeric's
// reading of the source computed anew), or where gnumeric reads the copy
// otherwise but LibreOffice, computing both, reads them alike. xlrd reads
// an Excel 3 or 4 ARRAY in the layout of later versions: an Excel 4 copy
// with arrays is judged by gnumeric and LibreOffice instead. A write that
// is refused says why. The walk writes nothing beside the files it reads.
// The corpus is cut into shards, each a test of its own so that they run
// side by side; by default they walk a sample of the corpus drawn with a
// fixed seed, with Q710_CORPUS_WALK=all every file.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/model/Cell.h"
#include "platform/CodePages.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"
#include "support_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace xls;
namespace fs = std::filesystem;

namespace {

constexpr int Shards = 6;
// Files walked without Q710_CORPUS_WALK=all.
constexpr size_t Sampled = 96;

struct TVersion {
    TExcelVersion Version;
    const char* Extension;
};
constexpr TVersion Versions[] = {
    {TExcelVersion::xvExcel2007, ".xlsx"},
    {TExcelVersion::xvExcel97, ".v8.xls"},
    {TExcelVersion::xvExcel50, ".v5.xls"},
    {TExcelVersion::xvExcel40, ".v4.xls"},
};

bool IsPackage(const std::string& file) {
    std::string ext = fs::path(file).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".xlsx" || ext == ".xlsm";
}

// The files of one shard: every workbook of the corpus, or the sample.
std::vector<fs::path> ShardFiles(int shard) {
    std::vector<fs::path> all = oracle::RealWorldXls();
    const std::vector<fs::path> packages = oracle::RealWorldXlsx();
    all.insert(all.end(), packages.begin(), packages.end());
    std::sort(all.begin(), all.end());
    const char* walk = std::getenv("Q710_CORPUS_WALK");
    if (!(walk && std::string(walk) == "all") && all.size() > Sampled) {
        std::mt19937 draw(44);
        std::shuffle(all.begin(), all.end(), draw);
        all.resize(Sampled);
        std::sort(all.begin(), all.end());
    }
    std::vector<fs::path> out;
    for (size_t i = size_t(shard); i < all.size(); i += Shards) out.push_back(all[i]);
    return out;
}

// ---- values

using TValue = testvalues::TCellValue;
using testvalues::SameValue;
using testvalues::Shown;
using testvalues::Volatile;

// Cells by sheet index (the oracle's order of the worksheets), row, column.
using TAt = std::tuple<int, int, int>;
using TCells = std::map<TAt, TValue>;

std::string Where(const TAt& at) {
    return "sheet " + std::to_string(std::get<0>(at)) + " " +
           WideToUtf8(ColRowToRefStr(std::get<2>(at), std::get<1>(at), false, false));
}

// A package's "_xHHHH_" escapes of characters as the characters: gnumeric
// keeps them as text.
std::string Unescaped(const std::string& text) {
    static const std::regex escape("_x([0-9A-Fa-f]{4})_");
    std::string out;
    size_t at = 0;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), escape); m != std::sregex_iterator(); ++m) {
        out += text.substr(at, size_t(m->position()) - at);
        out += WideToUtf8(std::u16string(1, char16_t(std::stoi((*m)[1].str(), nullptr, 16))));
        at = size_t(m->position() + m->length());
    }
    return out + text.substr(at);
}

// An oracle's reading of one file (xlrd_cells.py or openpyxl_cells.py
// lines): its sheets' names and its cells by its own sheet index. An empty
// text is no cell.
struct TOracleBook {
    std::vector<std::string> Sheets;
    TCells Cells;
};

std::optional<TOracleBook> OracleBook(const oracle::TOracleFile& file, bool escapes = false) {
    if (!file.Ok) return std::nullopt;
    TOracleBook out;
    for (const auto& f : file.Lines) {
        if (f[0] == "S" && f.size() >= 3) out.Sheets.push_back(f[2]);
        if (f[0] != "C" || f.size() < 6) continue;
        TValue v;
        v.Kind = f[4][0];
        v.Text = escapes && v.Kind == 't' ? Unescaped(f[5]) : f[5];
        if (v.Kind == 'f' || (v.Kind == 't' && v.Text.empty())) continue;
        if (v.Kind == 'n') v.Number = std::stod(v.Text);
        // xlrd gives an error's code.
        if (v.Kind == 'e' && !v.Text.empty() && std::isdigit(static_cast<unsigned char>(v.Text[0])))
            v.Text = WideToUtf8(ErrorFileText(ErrorCodeToIndex(uint8_t(std::stoi(v.Text)))));
        out.Cells[{std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3])}] = v;
    }
    return out;
}

// The cells an oracle read with the sheets numbered as our reader numbers
// the source's: a sheet of the same name, else the next of those left in
// their order (a copy names a sheet otherwise where its format cannot hold
// the name; an oracle may list chart sheets); cells of sheets left over
// are dropped.
TCells InOurSheets(const TOracleBook& book, const std::vector<std::u16string>& ours) {
    std::vector<int> to(book.Sheets.size(), -1);
    std::vector<bool> taken(ours.size());
    for (size_t i = 0; i < book.Sheets.size(); ++i)
        for (size_t k = 0; k < ours.size(); ++k)
            if (!taken[k] && Utf8ToWide(book.Sheets[i]) == ours[k]) {
                to[i] = int(k);
                taken[k] = true;
                break;
            }
    size_t next = 0;
    for (size_t i = 0; i < book.Sheets.size(); ++i) {
        while (next < ours.size() && taken[next]) ++next;
        if (to[i] >= 0 || next == ours.size()) continue;
        to[i] = int(next);
        taken[next] = true;
    }
    TCells out;
    for (const auto& [at, v] : book.Cells) {
        const size_t sheet = size_t(std::get<0>(at));
        if (sheet < to.size() && to[sheet] >= 0) out[{to[sheet], std::get<1>(at), std::get<2>(at)}] = v;
    }
    return out;
}

TValue ValueOf(const TFormulaValue& f) {
    TValue v;
    switch (f.ValType) {
    case fvFloat:
        v.Kind = 'n';
        v.Number = f.Float;
        break;
    case fvString:
        v.Kind = 't';
        v.Text = WideToUtf8(f.Text);
        break;
    case fvBoolean:
        v.Kind = 'b';
        v.Text = f.Boolean ? "1" : "0";
        break;
    case fvError:
        v.Kind = 'e';
        v.Text = WideToUtf8(ErrorFileText(f.Error));
        break;
    default:
        break;
    }
    return v;
}

// What our reader reads of a workbook: the sheets' names, the cells as read
// (an empty text is no cell), the values a copy keeps of the formulas that
// hold no result (the library computes them), the cells of formulas that
// hold none and that the library does not compute (an oracle may), and the
// volatile formulas: those that call such a function or reach a cell that
// does (the evaluator names the function it lacks).
struct TSourceBook {
    std::vector<std::u16string> Sheets;
    TCells Cells, Kept;
    std::set<TAt> Uncomputed, VolatileCells;
};

// A value as the oracles give it: none for an empty text.
std::optional<TValue> Given(const TFormulaValue& f) {
    const TValue v = ValueOf(f);
    if (v.Kind == 0 || (v.Kind == 't' && v.Text.empty())) return std::nullopt;
    return v;
}

// A formula cell of the source: its volatility, and the value a copy keeps
// where it holds none (else its cells, of its array too, are uncomputed).
void ReadFormula(TTabrix4& book, TFormulaEvaluator& evaluator, int s, TFormulaCell& f, bool holdsValue,
                 TSourceBook& out) {
    TSheet& sheet = book.GetSheet(s);
    const TAt at{s, int(f.Row), f.Col};
    try {
        if (Volatile(sheet.GetAsFormula(f.Col, int(f.Row)))) out.VolatileCells.insert(at);
        TFormulaValue value;
        evaluator.CalculateCell(s, f.Col, int(f.Row), value);
    } catch (const XLSError& e) {
        if (Volatile(e.what() + std::string("("))) out.VolatileCells.insert(at);
    }
    // The results a package calculated on load caches are provisional (its
    // copies hold the computed ones).
    if (holdsValue && !book.CalculatedOnLoad()) return;
    if (const auto kept = book.FormulaValueToKeep(s, f))
        if (const auto v = Given(*kept)) {
            out.Kept[at] = *v;
            return;
        }
    int col1 = f.Col, row1 = int(f.Row), col2 = col1, row2 = row1;
    sheet.ArrayFormulaArea(f, col1, row1, col2, row2);
    if (int64_t(col2 - col1 + 1) * (row2 - row1 + 1) > 100000) col2 = col1, row2 = row1;
    for (int r = row1; r <= row2; ++r)
        for (int c = col1; c <= col2; ++c) out.Uncomputed.insert({s, r, c});
}

TSourceBook ReadSource(TTabrix4& book) {
    TSourceBook out;
    const TTabrix4::TCalculationPass pass(book);
    const std::unique_ptr<TFormulaEvaluator> evaluator = book.MakeEvaluator();
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        out.Sheets.push_back(sheet.Name());
        std::vector<TCell*> cells;
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell()) cells.push_back(c);
        for (TCell* c : cells) {
            if (c->CellType() == ctBlank) continue;
            TFormulaValue value;
            sheet.GetCellValue(c->Col, int(c->Row), value);
            auto* f = c->IsFormula() ? static_cast<TFormulaCell*>(c) : nullptr;
            const std::optional<TValue> read = f && book.HoldsNoResult(s, *f) ? std::nullopt : Given(value);
            if (read) out.Cells[{s, int(c->Row), c->Col}] = *read;
            if (f) ReadFormula(book, *evaluator, s, *f, read.has_value(), out);
        }
    }
    return out;
}

// What the write of a copy named about its cells.
struct TNamed {
    bool Beyond = false; // cells past the version's last row or column left out
    bool Cut = false;    // texts cut to 255 characters
    std::set<TAt> Lost;  // formulas written blank, their value lost
};

TNamed NamedBy(const std::vector<std::string>& warnings, const std::vector<std::u16string>& sheets) {
    TNamed out;
    static const std::regex lost(R"(^(.+)!([A-Z]+[0-9]+): formula.*its value is lost)");
    for (const std::string& w : warnings) {
        out.Beyond = out.Beyond || w.find(" beyond column ") != w.npos;
        out.Cut = out.Cut || w.find(" characters cut to ") != w.npos;
        std::smatch m;
        if (!std::regex_search(w, m, lost)) continue;
        std::string sheet = m[1];
        if (sheet.size() >= 2 && sheet.front() == '\'' && sheet.back() == '\'') {
            sheet = sheet.substr(1, sheet.size() - 2);
            for (size_t p = sheet.find("''"); p != sheet.npos; p = sheet.find("''", p + 1)) sheet.erase(p, 1);
        }
        int col = 0, row = 0;
        const auto found = std::find(sheets.begin(), sheets.end(), Utf8ToWide(sheet));
        if (found != sheets.end() && RefStrToColRowPlain(Utf8ToWide(m[2].str()), col, row))
            out.Lost.insert({int(found - sheets.begin()), row, col});
    }
    return out;
}

int LastRow(TExcelVersion v) {
    return v == TExcelVersion::xvExcel2007 ? 1048575 : v == TExcelVersion::xvExcel97 ? 65535 : 16383;
}
int LastCol(TExcelVersion v) {
    return v == TExcelVersion::xvExcel2007 ? 16383 : 255;
}

// One copy: its source, version and file, the write's warnings.
struct TCopy {
    size_t Source = 0;
    TExcelVersion Version = TExcelVersion::xvExcel97;
    std::string File;
    std::vector<std::string> Warnings;
};

// How one oracle reads a copy (Got) and its source: as read (Theirs; null
// where it does not read it) and, where it computes every formula of the
// source anew, so (Recomputed; null for none).
struct TViews {
    const char* Oracle = "";
    const TCells* Got = nullptr;
    const TCells* Theirs = nullptr;
    const TCells* Recomputed = nullptr;
    // gnumeric reads the 8-bit text of an Excel 4 file in code page 1252
    // whatever its CODEPAGE says: the code page the copy's text is in.
    int ReadAs1252 = 1252;
    // gnumeric ends a text at a NUL character.
    bool EndsAtNul = false;
};

// The text an oracle read, as the copy holds it.
std::string AsWritten(std::string text, const TViews& views) {
    if (views.ReadAs1252 != 1252)
        text = WideToUtf8(
            platform::DecodeSingleByte(views.ReadAs1252, platform::EncodeSingleByte(1252, Utf8ToWide(text))));
    return text;
}

// The faults of a copy's cells as one oracle reads it, against its reading
// of the source and ours, by cell; compared counts the cells found alike.
using TFaults = std::map<TAt, std::string>;
TFaults Judge(const TViews& views, const TSourceBook& ours, const TCopy& copy, size_t& compared) {
    const TNamed named = NamedBy(copy.Warnings, ours.Sheets);
    const bool oneSheet = copy.Version == TExcelVersion::xvExcel40;
    TFaults faults;
    std::set<TAt> seen;
    auto check = [&](const TAt& at) {
        if (!seen.insert(at).second) return;
        const auto [sheet, row, col] = at;
        auto find = [&](const TCells* cells) -> const TValue* {
            if (!cells) return nullptr;
            const auto f = cells->find(at);
            return f == cells->end() ? nullptr : &f->second;
        };
        const TValue *found = find(views.Got), *before = find(views.Theirs), *mine = find(&ours.Cells);
        std::optional<TValue> copied;
        if (found) {
            copied = *found;
            if (copied->Kind == 't') copied->Text = AsWritten(copied->Text, views);
        }
        // The value read from the source, the one the library computes for a
        // formula that holds none, or the one the oracle computes.
        for (const TValue* like : {mine, before, find(&ours.Kept), find(views.Recomputed)})
            if (copied && like && SameValue(*like, *copied)) {
                ++compared;
                return;
            }
        if (ours.Uncomputed.count(at)) return;
        // gnumeric ends a text at a NUL character.
        if (views.EndsAtNul && mine && mine->Kind == 't' && mine->Text.find('\0') != std::string::npos) {
            const std::string shown = mine->Text.substr(0, mine->Text.find('\0'));
            if (shown.empty() ? !copied : copied && copied->Kind == 't' && copied->Text == shown) return;
        }
        // Cells the copy has no place for, which the write named.
        if (!copied && oneSheet && sheet > 0) return;
        if (!copied && named.Beyond && (col > LastCol(copy.Version) || row > LastRow(copy.Version))) return;
        if (copied && named.Cut && mine && mine->Kind == 't' && copied->Kind == 't' &&
            Utf8ToWide(copied->Text) == Utf8ToWide(mine->Text).substr(0, 255))
            return;
        if (!copied && named.Lost.count(at)) return;
        if (ours.VolatileCells.count(at)) return;
        // A cell the oracle reads neither in the source nor in the copy (its
        // merged areas show only their first cells), or no reader at all.
        if (!copied && !before && (views.Theirs || !mine)) return;
        faults[at] = Where(at) + " is " + Shown(copied ? &*copied : nullptr) + ", the source's " +
                     Shown(before) + ", ours " + Shown(mine);
    };
    for (const auto& [at, v] : ours.Cells) check(at);
    if (views.Theirs)
        for (const auto& [at, v] : *views.Theirs) check(at);
    for (const auto& [at, v] : *views.Got) check(at);
    return faults;
}

// gnumeric's messages of damage about a file, without the process number
// and the time that differ from run to run, and its Excel 97 file of it for
// the values it reads (computing every formula anew with recalc; its
// packages of sheets whose rows have formats grow to every column); ran
// false when it did not run.
std::set<std::string> Gnumeric(const std::string& file, const std::string& package, bool& ran, bool recalc) {
    const oracle::TRun r = oracle::Run(std::string("ssconvert ") + (recalc ? "--recalc " : "") +
                                           oracle::Quote(file) + " " + oracle::Quote(package),
                                       60);
    ran = r.Status != -1; // else reported by Run: failed, or skipped where a bound stopped it
    std::set<std::string> out;
    if (ran && r.Status != 0) out.insert("exit status " + std::to_string(r.Status));
    std::istringstream lines(r.Output);
    static const std::regex noise(R"(\(ssconvert:\d+\)|\d\d:\d\d:\d\d\.\d+|\*\* )");
    for (std::string l; std::getline(lines, l);)
        for (const char* word :
             {"corrupt", "Condition", "CRITICAL", "unexpected record", "Unknown data table"})
            if (l.find(word) != std::string::npos) {
                out.insert(std::regex_replace(l, noise, ""));
                break;
            }
    return out;
}

// Whether an Excel 4 copy holds ARRAY records: xlrd reads an Excel 3 or 4
// ARRAY in the layout of later versions, so it refuses such a copy.
bool HoldsOldArrays(const TCopy& copy) {
    if (copy.Version != TExcelVersion::xvExcel40) return false;
    const auto records = biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(copy.File)));
    return std::any_of(records.begin(), records.end(),
                       [](const biffbuild::Record& r) { return r.Id == 0x0221; });
}

// The code page a binary file's CODEPAGE record names.
int CodePageOf(const std::string& file) {
    for (const biffbuild::Record& r : biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(file))))
        if (r.Id == 0x0042 && r.Body.size() >= 2) return r.Body[0] | r.Body[1] << 8;
    return 1252;
}

// Copies every file in every version and judges the copies.
class TWalk {
public:
    explicit TWalk(const std::string& dir) : dir(dir) {}

    void Add(const std::string& file) {
        // Files built to exhaust a reader's memory: the bomb tests judge them.
        if (fs::path(file).filename().string().rfind("poc-", 0) == 0) return;
        TTabrix4 book;
        book.SetFilename(Utf8ToWide(file));
        try {
            book.Read();
        } catch (const XLSError&) {
            return; // the reading tests judge the files our reader refuses
        }
        const size_t index = sources.size();
        sources.push_back(file);
        read.push_back(ReadSource(book));
        for (const TVersion& v : Versions) {
            TCopy copy{index, v.Version, dir + "/" + std::to_string(index) + v.Extension, {}};
            SCOPED_TRACE(file + " -> " + v.Extension);
            TTabrix4 again;
            again.SetFilename(Utf8ToWide(file));
            again.Read();
            again.SetVersion(v.Version);
            again.SetFilename(Utf8ToWide(copy.File));
            try {
                again.Write();
            } catch (const XLSError& e) {
                // A refusal says why, and leaves no file.
                EXPECT_GT(std::string(e.what()).size(), 10u) << e.what();
                EXPECT_FALSE(fs::exists(copy.File));
                continue;
            }
            copy.Warnings = again.Warnings();
            TTabrix4 back;
            back.SetFilename(Utf8ToWide(copy.File));
            EXPECT_NO_THROW(back.Read());
            copies.push_back(std::move(copy));
        }
    }

    // Runs the oracles over the sources and the copies and judges each copy.
    void Judge() {
        RunGnumeric();
        std::vector<std::string> binaries, packages;
        for (const std::string& f : sources) (IsPackage(f) ? packages : binaries).push_back(f);
        for (const TCopy& c : copies) (IsPackage(c.File) ? packages : binaries).push_back(c.File);
        std::vector<std::string> converted;
        for (const auto& [file, package] : gnumeric)
            if (testfiles::Exists(package)) converted.push_back(package);
        // One python process for each oracle.
        const std::string xlrd = "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("xlrd_cells.py")),
                          openpyxl =
                              "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("openpyxl_cells.py"));
        Keep(binaries, oracle::RunPerFile(xlrd, binaries, 400));
        Keep(packages, oracle::RunPerFile(openpyxl + " --values", packages, 400));
        Keep(converted, oracle::RunPerFile(xlrd, converted, 600));
        std::vector<size_t> byLibreOffice;
        for (size_t k = 0; k < copies.size(); ++k) {
            const TCopy& copy = copies[k];
            const std::string& source = sources[copy.Source];
            SCOPED_TRACE(source + " -> " + fs::path(copy.File).filename().string());
            const bool binary = !IsPackage(copy.File), sameFormat = binary == !IsPackage(source);
            // The oracle of the copy's own format reads it as it reads the source.
            const oracle::TOracleFile& own = views.at(copy.File);
            if (!own.Ok && own.NoVerdict.empty()) {
                if (binary && HoldsOldArrays(copy)) {
                    byLibreOffice.push_back(k);
                } else {
                    const bool sourceRefused = sameFormat && !views.at(source).Ok;
                    EXPECT_TRUE(sourceRefused) << (binary ? "xlrd: " : "openpyxl: ") << own.Error;
                }
            } else if (sameFormat && own.Ok) {
                const std::optional<TCells> got = CellsOf(copy.File, copy.Source, false),
                                            theirs = CellsOf(source, copy.Source, false);
                TViews v;
                v.Oracle = binary ? "xlrd" : "openpyxl";
                v.Got = &*got;
                v.Theirs = theirs ? &*theirs : nullptr;
                Report(v, k);
            }
            // gnumeric: the file it writes of each, with the escapes of a package as read.
            const std::optional<TCells> got = CellsOf(gnumeric[copy.File], copy.Source, !binary);
            if (!got) continue;
            const std::optional<TCells> theirs = CellsOf(gnumeric[source], copy.Source, IsPackage(source)),
                                        recomputed = CellsOf(gnumeric[source + "/recalc"], copy.Source,
                                                             IsPackage(source));
            TViews v;
            v.Oracle = "gnumeric";
            v.Got = &*got;
            v.Theirs = theirs ? &*theirs : nullptr;
            v.Recomputed = recomputed ? &*recomputed : nullptr;
            v.EndsAtNul = true;
            if (copy.Version == TExcelVersion::xvExcel40) v.ReadAs1252 = CodePageOf(copy.File);
            Report(v, k);
        }
        JudgeByLibreOffice(byLibreOffice);
        JudgeDisputed();
    }

    size_t Workbooks() const { return sources.size(); }
    size_t Judged() const { return judged; }
    // Excel 4 copies that xlrd does not read (their arrays), judged by LibreOffice.
    size_t JudgedByLibreOffice() const { return judgedByLibreOffice; }
    // The cells each oracle found alike in a copy and its source.
    const std::map<std::string, size_t>& Compared() const { return compared; }

private:
    void Keep(const std::vector<std::string>& files, const std::vector<oracle::TOracleFile>& seen) {
        for (size_t i = 0; i < files.size() && i < seen.size(); ++i) views[files[i]] = seen[i];
    }

    // The cells an oracle read of a file (a source's, a copy's, one gnumeric
    // wrote), its sheets numbered as ours of the source; none where it did
    // not read it.
    std::optional<TCells> CellsOf(const std::string& file, size_t source, bool escapes) const {
        const auto found = views.find(file);
        if (found == views.end()) return std::nullopt;
        const std::optional<TOracleBook> book = OracleBook(found->second, escapes);
        if (!book) return std::nullopt;
        return InOurSheets(*book, read[source].Sheets);
    }

    // gnumeric reads every source (as it is, and computing every formula
    // anew) and every copy: no damage in a copy it does not see in the
    // source; the files it writes of them, which xlrd reads, hold the
    // values it reads.
    void RunGnumeric() {
        std::vector<std::set<std::string>> damage(sources.size());
        for (size_t i = 0; i < sources.size(); ++i) {
            bool ran = false;
            gnumeric[sources[i]] = dir + "/gn-source" + std::to_string(i) + ".xls";
            damage[i] = Gnumeric(sources[i], gnumeric[sources[i]], ran, false);
            gnumeric[sources[i] + "/recalc"] = dir + "/gn-recalc" + std::to_string(i) + ".xls";
            Gnumeric(sources[i], gnumeric[sources[i] + "/recalc"], ran, true);
        }
        for (size_t k = 0; k < copies.size(); ++k) {
            bool ran = false;
            gnumeric[copies[k].File] = dir + "/gn-copy" + std::to_string(k) + ".xls";
            for (const std::string& m : Gnumeric(copies[k].File, gnumeric[copies[k].File], ran, false))
                if (!damage[copies[k].Source].count(m))
                    ADD_FAILURE() << sources[copies[k].Source] << " -> " << copies[k].File
                                  << ": gnumeric: " << m;
            judged += ran;
        }
    }

    // The faults an oracle finds in a copy; gnumeric's, where it computes a
    // formula, LibreOffice judges again.
    void Report(const TViews& views, size_t k) {
        const TCopy& copy = copies[k];
        TFaults faults = ::Judge(views, read[copy.Source], copy, compared[views.Oracle]);
        if (std::string(views.Oracle) == "gnumeric" && !faults.empty()) {
            disputed[k] = std::move(faults);
            return;
        }
        size_t n = 0;
        for (const auto& [at, fault] : faults)
            if (++n <= 3) ADD_FAILURE() << views.Oracle << ": " << fault;
        if (n > 3) ADD_FAILURE() << views.Oracle << ": " << n - 3 << " more cells differ";
    }

    // LibreOffice's packages (read by openpyxl) of files, computing every
    // formula anew when asked; each file's cells by ours of its source's
    // sheets, none where it did not read it.
    std::vector<std::optional<TCells>> ByLibreOffice(const std::vector<std::pair<std::string, size_t>>& files,
                                                     bool recalc) {
        const std::string out = dir + (recalc ? "/lo-recalc" : "/lo");
        std::vector<std::string> named, packages;
        for (size_t i = 0; i < files.size(); ++i) {
            // Names of their own: sources of different folders share names.
            named.push_back(dir + "/lo-" + std::to_string(i) + fs::path(files[i].first).extension().string());
            fs::create_symlink(files[i].first, named.back());
            packages.push_back(out + "/lo-" + std::to_string(i) + ".xlsx");
        }
        if (recalc)
            testfiles::LibreOfficeRecalculate(named, out, "xlsx");
        else
            testfiles::LibreOfficeConvert(named, out, "xlsx");
        const auto seen = oracle::RunPerFile(
            "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("openpyxl_cells.py")) + " --values",
            packages, 400);
        std::vector<std::optional<TCells>> cells;
        for (size_t i = 0; i < files.size(); ++i) {
            const std::optional<TOracleBook> book = OracleBook(seen.at(i));
            cells.push_back(book ? std::optional(InOurSheets(*book, read[files[i].second].Sheets))
                                 : std::nullopt);
        }
        for (const std::string& n : named) fs::remove(n);
        return cells;
    }

    // The cells gnumeric reads otherwise in a copy than in its source, where
    // it computes a formula (where it lacks a function, or reads a table
    // reference of the source as none): a fault only where LibreOffice,
    // computing every formula of both, reads them otherwise too, and reads
    // the source's formula.
    void JudgeDisputed() {
        if (disputed.empty()) return;
        std::vector<std::pair<std::string, size_t>> files;
        for (const auto& [k, faults] : disputed) files.emplace_back(copies[k].File, copies[k].Source);
        for (const auto& [k, faults] : disputed)
            files.emplace_back(sources[copies[k].Source], copies[k].Source);
        const std::vector<std::optional<TCells>> seen = ByLibreOffice(files, true);
        size_t i = 0;
        for (const auto& [k, faults] : disputed) {
            SCOPED_TRACE(sources[copies[k].Source] + " -> " + fs::path(copies[k].File).filename().string());
            const std::optional<TCells>&got = seen[i], &before = seen[disputed.size() + i];
            ++i;
            size_t n = 0;
            for (const auto& [at, fault] : faults) {
                const auto copied = got ? got->find(at) : TCells::const_iterator();
                const auto theirs = before ? before->find(at) : TCells::const_iterator();
                const bool hasCopied = got && copied != got->end(),
                           hasTheirs = before && theirs != before->end();
                if (got && before && hasCopied == hasTheirs &&
                    (!hasCopied || SameValue(copied->second, theirs->second)))
                    continue;
                // LibreOffice does not read the source's formula (a table's
                // column named alone), and computes the copy's.
                if (hasCopied && hasTheirs && theirs->second.Kind == 'e' && theirs->second.Text == "#NAME?" &&
                    copied->second.Kind != 'e')
                    continue;
                if (++n <= 3)
                    ADD_FAILURE() << "gnumeric: " << fault << "; LibreOffice reads it "
                                  << Shown(hasCopied ? &copied->second : nullptr) << ", the source's "
                                  << Shown(hasTheirs ? &theirs->second : nullptr);
            }
            if (n > 3) ADD_FAILURE() << "gnumeric and LibreOffice: " << n - 3 << " more cells differ";
        }
    }

    // Copies xlrd does not read for a fault of its own: LibreOffice reads
    // them with the values it reads from the source.
    void JudgeByLibreOffice(const std::vector<size_t>& which) {
        if (which.empty()) return;
        std::vector<std::pair<std::string, size_t>> files;
        for (size_t k : which) files.emplace_back(copies[k].File, copies[k].Source);
        for (size_t k : which) files.emplace_back(sources[copies[k].Source], copies[k].Source);
        const std::vector<std::optional<TCells>> seen = ByLibreOffice(files, false);
        judgedByLibreOffice += which.size();
        for (size_t i = 0; i < which.size(); ++i) {
            const TCopy& copy = copies[which[i]];
            SCOPED_TRACE(sources[copy.Source] + " -> " + fs::path(copy.File).filename().string() +
                         ": xlrd reads an Excel 4 ARRAY in the later layout");
            ASSERT_TRUE(seen[i].has_value()) << "LibreOffice did not read the copy";
            TViews v;
            v.Oracle = "LibreOffice";
            v.Got = &*seen[i];
            v.Theirs = seen[which.size() + i] ? &*seen[which.size() + i] : nullptr;
            Report(v, which[i]);
        }
    }

    std::string dir;
    std::vector<std::string> sources;
    std::vector<TSourceBook> read;
    std::vector<TCopy> copies;
    std::map<std::string, oracle::TOracleFile> views;
    // The file gnumeric wrote of each file (a source's recomputed one under
    // "<source>/recalc").
    std::map<std::string, std::string> gnumeric;
    size_t judged = 0, judgedByLibreOffice = 0;
    std::map<std::string, size_t> compared;
    // gnumeric's faults of each copy, for LibreOffice to judge.
    std::map<size_t, TFaults> disputed;
};

class CorpusWalk : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(CorpusWalk, EveryCopyReadsWithTheSourcesValues) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    TWalk walk(dir.Path());
    for (const fs::path& file : ShardFiles(GetParam())) walk.Add(file.string());
    walk.Judge();
    std::cout << "shard " << GetParam() << ": " << walk.Workbooks() << " workbooks, " << walk.Judged()
              << " copies read by gnumeric, " << walk.JudgedByLibreOffice()
              << " by LibreOffice; cells alike:";
    for (const auto& [oracle, n] : walk.Compared()) std::cout << " " << oracle << " " << n;
    std::cout << "\n";
    // Every oracle judged the copies' cells, not just their files.
    for (const char* oracle : {"xlrd", "openpyxl", "gnumeric"})
        EXPECT_GT(walk.Compared().count(oracle), 0u) << oracle;
}

INSTANTIATE_TEST_SUITE_P(Shard, CorpusWalk, ::testing::Range(0, Shards));

namespace {

// A workbook made through the library: texts (Cyrillic too), numbers,
// booleans, errors and formulas without results over three sheets, and a
// defined name.
void MakeOwn(const std::string& dir) {
    TTabrix4 book;
    TSheet& goods = book.GetSheet(0);
    goods.SetName(u"Товари");
    TSheet& more = book.Sheets().Add(0);
    more.SetName(u"Other sheet");
    book.Sheets().Add(0).SetName(u"Empty");
    for (int r = 0; r < 40; ++r) {
        goods.SetAsString(0, r, u"Товар №" + Utf8ToWide(std::to_string(r)));
        goods.SetAsFloat(1, r, r * 1.25 - 3);
        goods.SetAsInteger(2, r, r * 1000);
        goods.SetAsBoolean(3, r, r % 3 == 0);
        more.SetAsFloat(r % 5, r, 1.0 / (r + 1));
    }
    goods.PutError(4, 0, 15, 2);
    TInternalName& name = book.GetInternalNames().Add();
    name.SetName(u"Prices");
    name.FormulaText = u"'Товари'!$B$1:$B$40";
    const char16_t* formulas[] = {u"SUM(B1:B40)",           u"'Other sheet'!A1*2",
                                  u"SUM(Prices)",           u"CONCATENATE(A1,\" \",A2)",
                                  u"IF(D1,\"так\",\"ні\")", u"1/0"};
    TFormulaHandler& handler = book.FormulaHandler();
    for (int i = 0; i < int(std::size(formulas)); ++i) {
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Sheet = 0;
        const TEncodedFormula f = handler.EncodeFormula(formulas[i], how);
        goods.PutFormula(ctNumberFormula, 6, i, 15, int(f.TokenLength), f.Data, {});
    }
    for (const TVersion& v : Versions) {
        book.SetVersion(v.Version);
        book.SetFilename(Utf8ToWide(dir + "/own" + v.Extension));
        book.Write();
    }
}

} // namespace

// Files this library and other writers make (openpyxl, XlsxWriter, xlwt,
// LibreOffice, gnumeric), walked as the corpus is.
TEST(CorpusWalkMade, EveryCopyReadsWithTheSourcesValues) {
    testfiles::ScratchDir made, work;
    const std::string python = "/usr/bin/python3 ";
    for (const char* script : {"formula_conversions.py", "convert_oracle.py"}) {
        const std::string dir = made.File(fs::path(script).stem().string());
        fs::create_directories(dir);
        const oracle::TRun r =
            oracle::Run(python + oracle::Quote(oracle::ScriptPath(script)) + " make " + oracle::Quote(dir));
        ASSERT_EQ(r.Status, 0) << script << ": " << r.Output;
    }
    const std::string libre = made.File("libre"), gnumeric = made.File("gnumeric"), own = made.File("own");
    for (const std::string& d : {libre, gnumeric, own}) fs::create_directories(d);
    const std::string openpyxl = made.File("formula_conversions/openpyxl.xlsx");
    testfiles::LibreOfficeConvert({made.File("formula_conversions/libre.fods"), openpyxl}, libre,
                                  "xls:MS Excel 97");
    testfiles::LibreOfficeConvert({made.File("formula_conversions/libre.fods")}, libre, "xlsx");
    for (const auto& [kind, file] : {std::pair{"Gnumeric_Excel:excel_dsf", "/gnumeric.xls"},
                                     std::pair{"Gnumeric_Excel:excel_biff7", "/gnumeric5.xls"},
                                     std::pair{"Gnumeric_Excel:xlsx", "/gnumeric.xlsx"}})
        oracle::Run("ssconvert --export-type=" + std::string(kind) + " " + oracle::Quote(openpyxl) + " " +
                    oracle::Quote(gnumeric + file));
    MakeOwn(own);
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(made.Path()))
        if (entry.is_regular_file() &&
            (IsPackage(entry.path().string()) || entry.path().extension() == ".xls"))
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    // Each writer's files are there.
    for (const std::string& file :
         {made.File("formula_conversions/values.xls"), made.File("libre/libre.xls"),
          made.File("libre/libre.xlsx"), made.File("libre/openpyxl.xls"), gnumeric + "/gnumeric.xls",
          gnumeric + "/gnumeric5.xls", gnumeric + "/gnumeric.xlsx", own + "/own.v4.xls"})
        EXPECT_TRUE(testfiles::Exists(file)) << file;
    TWalk walk(work.Path());
    for (const std::string& file : files) walk.Add(file);
    walk.Judge();
    std::cout << walk.Workbooks() << " workbooks, " << walk.Judged() << " copies read by gnumeric\n";
    for (const char* oracle : {"xlrd", "openpyxl", "gnumeric"})
        EXPECT_GT(walk.Compared().count(oracle), 0u) << oracle;
}

// Importing a full goods base (5269 goods) from XML, XLS, CSV and DBF files
// that the program's own report export wrote: the file read and checked, the
// records built, the duplicate-PLU log written; an XML document far beyond
// the reader's limit of items, one whose items are followed by ten million
// other elements, an item with a great many attributes, and hostile
// packages. The register is not asked (the size of its table is given), so
// the time is the program's own.
// The workbook headers before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/Tabrix4.h"
#include "bench/xls_bombs.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "console/ConsoleState.h"
#include "exchange/Dispatcher.h"
#include "exchange/DuplicatePluLog.h"
#include "exchange/GoodsImport.h"
#include "exchange/GroupsImport.h"
#include "exchange/JobWorkbook.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "platform/ui/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;
constexpr int kGoods = 5269;

class NoWindow : public exchange::JobProgress {
public:
    void SetMaximum(int32_t) override {}
    bool Step() override { return false; }
};

std::vector<GoodsStruct> GoodsBase() {
    std::vector<GoodsStruct> base(kGoods);
    for (int n = 0; n < kGoods; ++n) {
        GoodsStruct& g = base[static_cast<std::size_t>(n)];
        g.number = static_cast<uint16_t>(n);
        g.plu = n + 1;
        g.barcode = 4820000000000LL + int64_t{n} * 17;
        g.SetName(platform::Utf8ToAnsi("Товар номер ") + std::to_string(n));
        g.price = 50 + static_cast<uint32_t>(n * 37 % 49950);
        g.group = static_cast<uint8_t>(1 + n % 100);
        g.tax = static_cast<uint8_t>(n % 5);
        g.weighed = n % 7 == 3 ? -1 : 0;
        g.presenceControl = n % 3 == 0 ? -1 : 0;
        g.remainder = static_cast<uint32_t>(n * 311 % 200000);
    }
    return base;
}

// The files, written once by the report exports.
struct Files {
    Files() {
        folder = fs::temp_directory_path() / ("q710imports-" + std::to_string(getpid()));
        fs::create_directories(folder);
        platform::SetRegional(platform::RegionalSettings{});
        console::ConsoleState state;
        SharedArrays arrays;
        NoWindow progress;
        exchange::JobContext job{state, arrays, exchange::Side(), progress};
        for (int format = 0; format < exchange::FormatCount; ++format) {
            arrays.GoodsReport = GoodsBase();
            paths[format] =
                (folder / ("goods." + std::string(exchange::DialogTextOf(format)->defaultExt))).string();
            ui.QueueFile(paths[format]);
            exchange::Dispatch(job, format, 5);
        }
    }
    ~Files() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    fs::path folder;
    platform::ScriptedUi ui;
    std::string paths[exchange::FormatCount];
};

Files& TheFiles() {
    static Files files;
    return files;
}

void Import(benchmark::State& s, int format) {
    Files& files = TheFiles();
    const std::string& path = files.paths[format];
    console::CsvOptionsRecord options;
    exchange::JobSide& side = exchange::Side();
    std::size_t imported = 0;
    for (auto _ : s) {
        std::vector<GoodsProg> goods;
        std::vector<exchange::GoodsDupCheckRecord> dupCheck;
        exchange::GoodsImportRun run(
            kGoods, false, goods, dupCheck,
            [](const std::string&, const std::string&, unsigned) { return 0; }, [] { return false; });
        bool done = false;
        switch (format) {
        case exchange::FormatXml:
            done = exchange::ReadGoodsXmlFile(run, path);
            break;
        case exchange::FormatXls:
            done = exchange::ReadGoodsXlsFile(run, exchange::JobWorkbook(side), path);
            break;
        case exchange::FormatCsv:
            done = exchange::ReadGoodsCsvFile(run, path, options);
            break;
        default:
            done = exchange::ReadGoodsDbfFile(run, path);
        }
        exchange::WriteDuplicatePluLog(path, dupCheck);
        imported = goods.size();
        if (!done || imported != kGoods) s.SkipWithError("the file did not import whole");
    }
    s.counters["goods"] = static_cast<double>(imported);
    s.counters["file_kb"] = double(fs::file_size(path)) / 1024.0;
}

void BM_GoodsImportXml(benchmark::State& s) {
    Import(s, exchange::FormatXml);
}
void BM_GoodsImportXls(benchmark::State& s) {
    Import(s, exchange::FormatXls);
}
void BM_GoodsImportCsv(benchmark::State& s) {
    Import(s, exchange::FormatCsv);
}
void BM_GoodsImportDbf(benchmark::State& s) {
    Import(s, exchange::FormatDbf);
}
// The packages of millions of small elements of bench_xls_bombs through the
// goods import, each in a child process under an address limit of 2 GiB:
// the import reads the workbook whole before it looks for goods (there are
// none).
void BM_GoodsImportHostilePackage(benchmark::State& s) {
    const bombs::TElementPackage& package = bombs::ElementPackages[s.range(0)];
    const fs::path path = TheFiles().folder / package.Name;
    if (!fs::exists(path)) package.Make(path);
    bombs::TLimitedRun last;
    for (auto _ : s) {
        last = bombs::RunLimited(size_t(2) << 30, [&path] {
            std::vector<GoodsProg> goods;
            std::vector<exchange::GoodsDupCheckRecord> dupCheck;
            exchange::GoodsImportRun run(
                kGoods, false, goods, dupCheck,
                [](const std::string&, const std::string&, unsigned) { return 0; }, [] { return false; });
            exchange::ReadGoodsXlsFile(run, exchange::JobWorkbook(exchange::Side()), path.string());
        });
        s.SetIterationTime(last.Seconds);
    }
    s.SetLabel(package.Name);
    s.counters["file_KB"] = double(fs::file_size(path)) / 1024.0;
    s.counters["peak_MB"] = last.PeakMB;
    s.counters["failed"] = last.Ok ? 0 : 1;
}

// A report document of a million items (about 155 MB) the way a big shop's
// own system writes one: the first 5269 are imported, the rest counted and
// told. Each run is a child process, so its peak memory is its own.
constexpr int kMillion = 1000000;

const std::string& MillionItems() {
    static const std::string path = [] {
        std::string file = (TheFiles().folder / "million.xml").string();
        std::ofstream out(file, std::ios::binary);
        out << "<?xml version=\"1.0\" "
               "encoding=\"UTF-8\"?>\r\n<REPORT><HEADER><REPORT_ID>{XMLREP2}</REPORT_ID>"
               "</HEADER><FIELDS_NAME/><DATA>\r\n";
        for (int n = 0; n < kMillion; ++n)
            out << "<Item Number=\"" << n % kGoods << "\" PLU=\"" << n + 1 << "\" Barcode=\""
                << 4820000000000LL + n << "\" Name=\"Товар" << n
                << "\" Price=\"9,5\" VAT=\"1\" Weight=\"0\" Presence=\"1\" Blocking=\"0\" "
                   "PaymentType=\"0\"/>\n";
        out << "</DATA></REPORT>\r\n";
        return file;
    }();
    return path;
}

struct ChildFigures {
    bool ok = false;
    double seconds = 0;
    double peakMB = 0;
};

// Runs `body` in a child process: whether it returned true, its wall time and its peak resident memory.
ChildFigures InChild(const std::function<bool()>& body) {
    ChildFigures figures;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return figures;
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    figures.peakMB = double(usage.ru_maxrss) / 1024.0;
    return figures;
}

// Judges the goods an XML import took and what the user was told (UTF-8, empty when nothing).
using XmlVerdict = std::function<bool(const std::vector<GoodsProg>& goods, const std::string& told)>;

// Runs `import` in a child process (InChild) each iteration: its time, peak memory and the file's size.
void MeasureInChild(benchmark::State& s, const std::string& path, const std::function<bool()>& import,
                    const char* failure) {
    ChildFigures figures;
    for (auto _ : s) {
        figures = InChild(import);
        if (!figures.ok) s.SkipWithError(failure);
    }
    s.counters["seconds"] = figures.seconds;
    s.counters["peak_mb"] = figures.peakMB;
    s.counters["file_mb"] = double(fs::file_size(path)) / 1e6;
}

// Imports the XML file in a child process and judges what it took.
void ImportXmlInChild(benchmark::State& s, const std::string& path, const XmlVerdict& verdict,
                      const char* failure) {
    MeasureInChild(
        s, path,
        [&] {
            std::vector<GoodsProg> goods;
            std::vector<exchange::GoodsDupCheckRecord> dupCheck;
            std::string told;
            exchange::GoodsImportRun run(
                kGoods, false, goods, dupCheck,
                [&told](const std::string& text, const std::string&, unsigned) {
                    told = platform::AnsiToUtf8(text);
                    return 0;
                },
                [] { return false; });
            return exchange::ReadGoodsXmlFile(run, path) && verdict(goods, told);
        },
        failure);
}

// The head of a goods report document up to its DATA.
const char* const kDocumentHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<REPORT><HEADER><REPORT_ID>{XMLREP2}"
    "</REPORT_ID></HEADER><FIELDS_NAME/><DATA>\r\n";

void BM_GoodsImportXmlMillionItems(benchmark::State& s) {
    ImportXmlInChild(
        s, MillionItems(),
        [](const std::vector<GoodsProg>& goods, const std::string& told) {
            return goods.size() == kGoods &&
                   told == "Імпортовано перші 5269 товарів документа. Не імпортовано товарів: 994731.";
        },
        "the first 5269 items were not imported and the rest told");
}

// A document's text in one of the forms the readers take: UTF-8 as it
// stands, after a document type line, in UTF-16 (little-endian, with its
// byte-order mark and a declaration that names it) or in UCS-4 (big-endian,
// with a declaration that names it).
enum class Form { Utf8, Doctype, Utf16, Ucs4 };

std::string InForm(const std::string& utf8, Form form) {
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const std::string body = utf8.substr(utf8.find("?>") + 2);
    switch (form) {
    case Form::Utf8:
        return utf8;
    case Form::Doctype:
        return declaration + "\r\n<!DOCTYPE REPORT>" + body;
    case Form::Utf16:
        break;
    case Form::Ucs4: {
        std::string out;
        for (char16_t c : platform::Utf8ToUtf16("<?xml version=\"1.0\" encoding=\"UCS-4\"?>" + body))
            out += {'\0', '\0', static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
        return out;
    }
    }
    std::string out = "\xFF\xFE";
    for (char16_t c : platform::Utf8ToUtf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + body))
        out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
}

const char* const kForms[] = {"utf8", "doctype", "utf16", "ucs4"};

// One item with a great many attributes besides its own twelve, in each
// form: read in time that grows with their number, not with its square.
void BM_GoodsImportXmlManyAttributes(benchmark::State& s) {
    const auto count = static_cast<int>(s.range(0));
    const auto form = static_cast<Form>(s.range(1));
    const std::string path = (TheFiles().folder / "attributes-form.xml").string();
    {
        std::ostringstream text;
        text << kDocumentHead
             << "<Item Number=\"1\" PLU=\"1\" Barcode=\"4820000000017\" Name=\"Чай\" Price=\"9,5\" VAT=\"1\" "
                "Weight=\"0\" Presence=\"1\" Blocking=\"0\" PaymentType=\"0\"";
        for (int n = 0; n < count; ++n) text << (n % 16 == 0 ? "\n" : " ") << "a" << n << "=\"" << n << "\"";
        text << "/>\r\n</DATA></REPORT>\r\n";
        std::ofstream(path, std::ios::binary) << InForm(text.str(), form);
    }
    ImportXmlInChild(
        s, path,
        [](const std::vector<GoodsProg>& goods, const std::string&) {
            return goods.size() == 1 && goods[0].price == 950;
        },
        "the item was not imported");
    s.SetLabel(kForms[s.range(1)]);
    fs::remove(path);
}

// The goods-group import of a document in a child process: its figures, and
// whether it took `groups` groups.
void ImportGroupsInChild(benchmark::State& s, const std::string& path, std::size_t groups) {
    MeasureInChild(
        s, path,
        [&] {
            console::ConsoleState state;
            SharedArrays arrays;
            NoWindow progress;
            platform::ScriptedUi ui;
            state.MakeMetod.FileName = path;
            exchange::JobContext job{state, arrays, exchange::Side(), progress};
            exchange::ImportGroupsXml(job);
            return state.MakeMetod.Done == 1 && UsedGroupEntries(arrays.GoodsGroupTable) == groups;
        },
        "the groups were not imported");
}

const char* const kGroupsHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<REPORT><HEADER><REPORT_ID>{XMLREP1}"
    "</REPORT_ID></HEADER><FIELDS_NAME/><DATA>\r\n";

// One group item with a great many attributes besides its own two.
void BM_GroupsImportXmlManyAttributes(benchmark::State& s) {
    const auto count = static_cast<int>(s.range(0));
    const auto form = static_cast<Form>(s.range(1));
    const std::string path = (TheFiles().folder / "group-attributes.xml").string();
    {
        std::ostringstream text;
        text << kGroupsHead << "<Item Id=\"1\" Name=\"Напої\"";
        for (int n = 0; n < count; ++n) text << (n % 16 == 0 ? "\n" : " ") << "a" << n << "=\"" << n << "\"";
        text << "/>\r\n</DATA></REPORT>\r\n";
        std::ofstream(path, std::ios::binary) << InForm(text.str(), form);
    }
    ImportGroupsInChild(s, path, 1);
    s.SetLabel(kForms[s.range(1)]);
    fs::remove(path);
}

// A hundred groups, then ten million empty elements (about 40 MB).
void BM_GroupsImportXmlElementsPastTheTable(benchmark::State& s) {
    const std::string path = (TheFiles().folder / "groups-other.xml").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << kGroupsHead;
        for (int n = 1; n <= 100; ++n) out << "<Item Id=\"" << n << "\" Name=\"Група " << n << "\"/>\n";
        for (int n = 0; n < 10000000; ++n) out << "<z/>";
        out << "</DATA></REPORT>\r\n";
    }
    ImportGroupsInChild(s, path, 100);
    fs::remove(path);
}

// The reader's limit of items, then ten million elements that are no items:
// nothing is told, since every item was imported.
void BM_GoodsImportXmlOtherElementsPastTheLimit(benchmark::State& s) {
    const std::string path = (TheFiles().folder / "other.xml").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << kDocumentHead;
        for (int n = 0; n < kGoods; ++n)
            out << "<Item Number=\"" << n << "\" PLU=\"" << n + 1 << "\" Barcode=\"" << 4820000000000LL + n
                << "\" Name=\"Товар" << n
                << "\" Price=\"9,5\" VAT=\"1\" Weight=\"0\" Presence=\"1\" Blocking=\"0\" "
                   "PaymentType=\"0\"/>\n";
        for (int n = 0; n < 10000000; ++n) out << "<z/>";
        out << "</DATA></REPORT>\r\n";
    }
    ImportXmlInChild(
        s, path,
        [](const std::vector<GoodsProg>& goods, const std::string& told) {
            return goods.size() == kGoods && told.empty();
        },
        "the items were not imported, or items not there were told");
    fs::remove(path);
}

BENCHMARK(BM_GoodsImportXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsImportXmlMillionItems)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GoodsImportXmlManyAttributes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->ArgsProduct({{100000, 200000}, {0, 1, 2, 3}});
BENCHMARK(BM_GoodsImportXmlOtherElementsPastTheLimit)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GroupsImportXmlManyAttributes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->ArgsProduct({{50000, 100000, 200000}, {0}})
    ->ArgsProduct({{200000}, {1, 2, 3}});
BENCHMARK(BM_GroupsImportXmlElementsPastTheTable)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GoodsImportXls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsImportCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsImportDbf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsImportHostilePackage)
    ->DenseRange(0, int(std::size(bombs::ElementPackages)) - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

#include "support_exchange.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace exchange_test {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "exchange_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        static QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
}

ScratchDir::ScratchDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/q710exchange.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path = buf.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

void FakeProgress::SetMaximum(int32_t value) {
    maximum = value;
}

bool FakeProgress::Step() {
    ++steps;
    if (cancelAfter >= 0 && steps >= cancelAfter) state.JobCancelled = 1;
    return state.JobCancelled != 0;
}

void ResetSide() {
    exchange::JobSide& side = exchange::Side();
    side.Main = {};
    side.FormatIndex = exchange::FormatXml;
    side.GoodsDupCheck.clear();
    side.XmlDocument.reset();
    side.FileWritten = false;
}

Job::Job() {
    ResetSide();
}
Job::~Job() {
    ResetSide();
}

GoodsStruct Goods(uint16_t number, int32_t plu, int64_t barcode, const std::string& ansiName) {
    GoodsStruct g;
    g.number = number;
    g.plu = plu;
    g.barcode = barcode;
    g.group = 1;
    g.SetName(ansiName);
    return g;
}

RegionalProfile::RegionalProfile(const platform::RegionalSettings& settings) : previous(platform::Regional()) {
    platform::SetRegional(settings);
}
RegionalProfile::~RegionalProfile() {
    platform::SetRegional(previous);
}

platform::RegionalSettings UkrainianProfile() {
    platform::RegionalSettings rs;
    rs.decimalSeparator = ',';
    rs.thousandsSeparator = "\xA0";
    rs.currency = "\xE3\xF0\xED.";
    return rs;
}

platform::RegionalSettings DotProfile() {
    platform::RegionalSettings rs;
    rs.decimalSeparator = '.';
    rs.thousandsSeparator = ",";
    rs.currency = "$";
    rs.currencyFormat = 0;
    rs.negativeCurrencyFormat = 1;
    return rs;
}

bool XmllintAccepts(const std::string& path) {
    std::string cmd = "xmllint --noout '" + path + "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
}

std::vector<std::string> PythonXmlOutline(const std::string& path) {
    static const char* script = R"PY(
import sys, xml.etree.ElementTree as ET
def walk(e, prefix):
    p = prefix + "/" + e.tag if prefix else e.tag
    t = (e.text or "")
    print(p + ("=" + t if t else ""))
    for k, v in e.attrib.items():
        print(p + "@" + k + "=" + v)
    for c in e:
        walk(c, p)
sys.stdout.reconfigure(encoding="utf-8")
walk(ET.parse(sys.argv[1]).getroot(), "")
)PY";
    std::string scriptFile = path + ".outline.py";
    WriteFile(scriptFile, script);
    std::string cmd = "/usr/bin/python3 '" + scriptFile + "' '" + path + "'";
    struct Closer {
        void operator()(FILE* f) const { pclose(f); }
    };
    std::unique_ptr<FILE, Closer> pipe(popen(cmd.c_str(), "r"));
    std::vector<std::string> lines;
    if (!pipe) return lines;
    std::string current;
    for (int c; (c = std::fgetc(pipe.get())) != EOF;) {
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(c);
        }
    }
    std::filesystem::remove(scriptFile);
    return lines;
}

} // namespace exchange_test

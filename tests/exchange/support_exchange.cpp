#include "support_exchange.h"

#include <QApplication>
#include <memory>

namespace exchange_test {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "exchange_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        // Never destroyed: the keyboard that key events create is a global of
        // Qt's that goes before a static application would at exit.
        std::make_unique<QApplication>(argc, argv).release();
        QApplication::setQuitOnLastWindowClosed(false);
    }
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

RegionalProfile::RegionalProfile(const platform::RegionalSettings& settings)
    : previous(platform::Regional()) {
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

} // namespace exchange_test

#include "exchange/GoodsImport.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "console/NumberText.h"
#include "exchange/NumberTexts.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "platform/ui/Ui.h"

namespace exchange {

namespace {

void ReplaceAll(std::string& text, std::string_view what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

} // namespace

GoodsImportRun::GoodsImportRun(uint16_t maximum, bool skipNumber, std::vector<GoodsProg>& goods,
                               std::vector<GoodsDupCheckRecord>& dupCheck, Ask ask, Step step)
    : maximum(maximum), skipNumber(skipNumber), goods(goods), dupCheck(dupCheck), ask(std::move(ask)),
      step(std::move(step)) {}

RowEnd GoodsImportRun::Refuse(const ImportMessage& message, int64_t n) {
    std::string text = message.text;
    ReplaceAll(text, "%n", std::to_string(n));
    ReplaceAll(text, "%m", std::to_string(int{maximum} - 1));
    return Show(message.box, message.caption, text);
}

RowEnd GoodsImportRun::Show(ImportBox box, const char* caption, const std::string& text) {
    int answer = ask(platform::Utf8ToAnsi(text), platform::Utf8ToAnsi(caption), ImportBoxStyle(box));
    if (box == ImportBox::Error) return RowEnd::Ended;
    return answer == platform::IdYes ? RowEnd::Dropped : RowEnd::Ended;
}

void GoodsImportRun::Inform(const char* text) {
    ask(platform::Utf8ToAnsi(text), platform::Utf8ToAnsi("Повідомлення"),
        platform::MbTaskModal | platform::MbIconInformation);
}

std::optional<RowEnd> GoodsImportRun::CheckNumber(std::optional<int64_t> value, int64_t n,
                                                  const ImportMessage& notConverted,
                                                  const ImportMessage& outOfRange, int32_t& number) {
    if (value &&
        (*value < std::numeric_limits<int32_t>::min() || *value > std::numeric_limits<int32_t>::max()))
        value.reset();
    if (skipNumber) {
        // Updating by code: the number only names the row in the log.
        if (!value) return RowEnd::Dropped;
        number = static_cast<int32_t>(*value);
        return std::nullopt;
    }
    if (!value) return Refuse(notConverted, n);
    if (*value < 0 || *value >= maximum) {
        if (ignoreAll) return RowEnd::Dropped;
        RowEnd end = Refuse(outOfRange, n);
        ignoreAll = end == RowEnd::Dropped;
        return end;
    }
    number = static_cast<int32_t>(*value);
    return std::nullopt;
}

RowEnd GoodsImportRun::Accept(GoodsProg record, int32_t number) {
    dupCheck.push_back({static_cast<uint16_t>(number), record.plu, record.barcode, 0});
    goods.push_back(std::move(record));
    return step && step() ? RowEnd::Ended : RowEnd::Accepted;
}

unsigned ImportBoxStyle(ImportBox box) {
    switch (box) {
    case ImportBox::Error:
        return platform::MbTaskModal | platform::MbIconError;
    case ImportBox::Question:
        return platform::MbTaskModal | platform::MbIconError | platform::MbYesNo;
    case ImportBox::Warning:
        return platform::MbTaskModal | platform::MbIconWarning | platform::MbYesNo;
    }
    return platform::MbTaskModal | platform::MbIconError;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

std::optional<int64_t> IntegerOf(std::string_view text) {
    return console::Int32Of(std::string(text));
}

std::optional<int64_t> Integer64Of(std::string_view text) {
    return console::Int64Of(std::string(text));
}

std::optional<int32_t> ScaledOf(double value, int scale) {
    if (!std::isfinite(value)) return std::nullopt;
    double scaled = std::nearbyint(value * scale);
    if (scaled < std::numeric_limits<int32_t>::min() || scaled > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(scaled);
}

std::optional<int32_t> AmountOf(double value, int scale) {
    if (value < 0) return std::nullopt;
    return ScaledOf(value, scale);
}

std::optional<int32_t> AmountOf(std::u16string_view text, int scale) {
    std::optional<double> value = NumberTextValue(text);
    if (!value) return std::nullopt;
    return AmountOf(*value, scale);
}

std::optional<bool> TruthOf(std::string_view text) {
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
        return true;
    };
    if (same(text, "true")) return true;
    if (same(text, "false")) return false;
    std::optional<double> number = platform::ParseDecimal(text);
    if (!number) return std::nullopt;
    return *number != 0;
}

} // namespace exchange

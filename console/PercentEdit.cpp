#include "console/PercentEdit.h"

namespace console {
namespace {

constexpr char kBlank = '?';

} // namespace

PercentEdit::PercentEdit(QWidget* parent) : QLineEdit(parent) {
    // "9" digits, "." kept as a literal, '?' shown in an empty position.
    setInputMask(QStringLiteral("99.99;?"));
    setText(QStringLiteral("00.00"));
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange) OnChange();
    });
}

std::string PercentEdit::MaskText() const {
    return displayText().toStdString();
}

void PercentEdit::SetMaskText(const std::string& text) {
    std::string masked = "??.??";
    for (std::size_t i = 0; i < masked.size() && i < text.size(); ++i)
        if (i != 2 && text[i] >= '0' && text[i] <= '9') masked[i] = text[i];
    int cursor = cursorPosition();
    setText(QString::fromStdString(masked));
    setCursorPosition(cursor);
}

std::string FillMaskBlanks(std::string text) {
    for (std::size_t at = text.find(kBlank); at != std::string::npos; at = text.find(kBlank)) text[at] = '0';
    return text;
}

} // namespace console

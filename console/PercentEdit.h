// A percentage typed into a fixed mask of two digits, a point and two digits,
// where an empty position shows '?' and stays part of the text: the text is
// always five characters ("05.50", "1?.34"). Qt's own input mask hides the
// empty positions from text(), so the mask text is kept here.
#pragma once

#include <QLineEdit>
#include <functional>
#include <string>

namespace console {

class PercentEdit : public QLineEdit {
public:
    explicit PercentEdit(QWidget* parent = nullptr);

    // The text with '?' in its empty positions.
    std::string MaskText() const;
    // Sets the text (missing or wrong positions become '?'); the cursor
    // stays where it was.
    void SetMaskText(const std::string& text);

    // Runs after every change of the text, typed or set.
    std::function<void()> OnChange;
};

// The text with its first '?' replaced by '0' until none is left: the change
// handler of the percentage edits, so a cleared position reads as 0.
std::string FillMaskBlanks(std::string text);

} // namespace console

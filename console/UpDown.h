// The spin button of an address edit: up and down arrows that step the
// number in the edit within a range. The edit itself stays free text, so its
// own checks run when it is left.
#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;

namespace console {

class UpDown : public QWidget {
public:
    UpDown(QLineEdit* associate, int min, int max, QWidget* parent = nullptr);
    void SetMin(int value) { min = value; }
    // A maximum below the minimum counts as the minimum.
    void SetMax(int value) { max = value < min ? min : value; }
    int Min() const { return min; }
    int Max() const { return max; }
    // Sets the position within the range and shows it in the edit.
    void SetPosition(int value);
    int Position() const { return position; }
    void Step(int delta);
    // Runs after each click of an arrow.
    std::function<void()> OnClick;

private:
    QLineEdit* associate;
    int min;
    int max;
    int position;
};

// The edit with its spin button on its right, in one row.
QWidget* EditWithUpDown(QWidget* parent, QLineEdit* edit, UpDown* upDown);

} // namespace console

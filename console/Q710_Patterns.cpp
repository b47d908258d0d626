// The main window's text-pattern page: one pattern read and written by
// number with its cursor position, and all 20 patterns read into one box.
#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>

#include "console/ActionButton.h"
#include "console/Connection.h"
#include "console/ContextHelp.h"
#include "console/EditExit.h"
#include "console/FieldEdit.h"
#include "console/GroupBatches.h"
#include "console/Guarded.h"
#include "console/MainBatch.h"
#include "console/MessageBoxes.h"
#include "console/Q710_Form.h"
#include "console/UpDown.h"
#include "platform/ui/AnsiText.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

constexpr int kPatternPageHelp = 3;

// While all patterns are read no button turns into a stop button; the
// reading button says so in its caption instead.
class PatternsBatchWindow final : public BatchWindow {
public:
    PatternsBatchWindow(TForm1& form, QPushButton* button) : batch(form, nullptr), button(button) {}
    void Repaint() override { batch.Repaint(); }
    void ShowPage(int index) override { batch.ShowPage(index); }
    void Lock() override {
        batch.Lock();
        saved = button->text();
        button->setText(UiText("Зачекайте!"));
    }
    void Unlock() override {
        batch.Unlock();
        button->setText(saved);
    }

private:
    MainBatchWindow batch;
    QPushButton* button;
    QString saved;
};

int32_t NumberOf(const QLineEdit* edit) {
    return IntegerValue(platform::FromQString(edit->text()));
}

} // namespace

void TForm1::CreatePatternsPage() {
    QWidget* sheet = TabSheets[PatternsPage];
    ActionReadTextPattern->setText(UiText("Прочитати"));
    ActionWriteTextPattern->setText(UiText("Записати"));
    ActionReadAllTextPatterns->setText(UiText("Прочитати всі шаблони"));

    auto numberEdit = [sheet](const char* name, int max, UpDown*& upDown, const char* upDownName) {
        auto* edit = MakeChild<QLineEdit>(sheet);
        edit->setObjectName(name);
        edit->setMaxLength(2);
        edit->setFixedWidth(60);
        SetHelpContext(edit, kPatternPageHelp);
        upDown = MakeChild<UpDown>(edit, 1, max, sheet);
        upDown->setObjectName(upDownName);
        upDown->SetPosition(1);
        return edit;
    };
    PatternNumber = numberEdit("PatternNumber", TextPatternCount, UpDownPatternNumber, "UpDownPatternNumber");
    CursorPosition =
        numberEdit("CursorPosition", CursorPositionMax, UpDownCursorPosition, "UpDownCursorPosition");
    CursorPosition->setToolTip(UiText("Поточна позиція \r\nкурсора в назві \r\nтовару (1..28)"));
    PatternText = MakeChild<QLineEdit>(sheet);
    PatternText->setObjectName("PatternText");
    PatternText->setMaxLength(static_cast<int>(PatternTextSize));
    SetHelpContext(PatternText, kPatternPageHelp);

    auto button = [sheet](QAction* action, const char* name) {
        return MakeActionButton(action, name, sheet);
    };
    BitBtnReadTextPattern = button(ActionReadTextPattern, "BitBtnReadTextPattern");
    BitBtnWriteTextPattern = button(ActionWriteTextPattern, "BitBtnWriteTextPattern");
    BitBtnReadAllTextPatterns = button(ActionReadAllTextPatterns, "BitBtnReadAllTextPatterns");

    auto* grid = MakeChild<QGridLayout>(sheet);
    auto pair = [](QLineEdit* edit, UpDown* upDown) {
        auto* row = MakeChild<QHBoxLayout>();
        row->addWidget(edit);
        row->addWidget(upDown);
        row->addStretch();
        return row;
    };
    grid->addWidget(MakeChild<QLabel>(UiText("Номер шаблону:"), sheet), 0, 0);
    grid->addLayout(pair(PatternNumber, UpDownPatternNumber), 0, 1);
    grid->addWidget(MakeChild<QLabel>(UiText("Позиція курсора:"), sheet), 1, 0);
    grid->addLayout(pair(CursorPosition, UpDownCursorPosition), 1, 1);
    grid->addWidget(MakeChild<QLabel>(UiText("Текст шаблону:"), sheet), 2, 0);
    grid->addWidget(PatternText, 2, 1);
    auto* buttons = MakeChild<QHBoxLayout>();
    for (QWidget* w : std::initializer_list<QWidget*>{BitBtnReadTextPattern, BitBtnWriteTextPattern,
                                                      BitBtnReadAllTextPatterns})
        buttons->addWidget(w);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);

    OnExit(PatternNumber, [this] { return PatternNumberExit(); });
    OnExit(CursorPosition, [this] { return CursorPositionExit(); });
    connect(ActionReadTextPattern, &QAction::triggered, this, [this] { ActionReadTextPatternExecute(); });
    connect(ActionWriteTextPattern, &QAction::triggered, this, [this] { ActionWriteTextPatternExecute(); });
    connect(ActionReadAllTextPatterns, &QAction::triggered, this,
            [this] { ActionReadAllTextPatternsExecute(); });
}

bool TForm1::PatternNumberExit() {
    return ApplyCheck(PatternNumber, CheckPatternNumber(TextOf(PatternNumber)), PatternNumberMessage);
}

bool TForm1::CursorPositionExit() {
    return ApplyCheck(CursorPosition, CheckCursorPosition(TextOf(CursorPosition)), CursorPositionMessage);
}

void TForm1::ActionReadTextPatternExecute() {
    if (state.Busy != 0 || !PatternNumberExit()) return;
    Guarded([this] {
        uint8_t cursor = 0;
        const char* text = nullptr;
        const char* err = nullptr;
        if (state.Api().GetTextPattern(NumberOf(PatternNumber), &cursor, &text, &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        CursorPosition->setText(QString::number(cursor));
        PatternText->setText(platform::ToQString(BoundedLibraryText(text, PatternTextSize)));
        PageControl1->setCurrentIndex(PatternsPage);
        PatternText->setFocus();
    });
}

void TForm1::ActionWriteTextPatternExecute() {
    if (state.Busy != 0 || !PatternNumberExit() || !CursorPositionExit()) return;
    Guarded([this] {
        std::string text = platform::FromQString(PatternText->text()).substr(0, PatternTextSize);
        const char* err = nullptr;
        if (state.Api().SetTextPattern(NumberOf(PatternNumber), NumberOf(CursorPosition), text.c_str(),
                                       &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        ShowInfoText(Ansi("Записаний текстовий шаблон №") + platform::FromQString(PatternNumber->text()) +
                     ".");
    });
}

void TForm1::ActionReadAllTextPatternsExecute() {
    if (state.Busy != 0) return;
    PatternsBatchWindow window(*this, BitBtnReadAllTextPatterns);
    ReadAllTextPatterns(state, window);
}

} // namespace console

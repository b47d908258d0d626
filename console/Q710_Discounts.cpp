// The main window's page of the discount groups: the chosen group's controls
// kept in step with its entry, reading one or all groups from the register
// (all of them into the coloured listing), writing one or all, and saving
// and loading "\Discount.ini".
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "console/ActionButton.h"
#include "console/ContextHelp.h"
#include "console/DeviceCalls.h"
#include "console/DiscountGroups.h"
#include "console/EditExit.h"
#include "console/FieldEdit.h"
#include "console/Guarded.h"
#include "console/MainBatch.h"
#include "console/MessageBoxes.h"
#include "console/PercentEdit.h"
#include "console/Q710_Form.h"
#include "console/UInt64Lib.h"
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "platform/ui/AnsiText.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

constexpr int kDiscountPage = 6;
constexpr int kDiscountHelp = 5;
constexpr int kMaxPercent = 9999;
// The listing beside the controls is at least this wide.
constexpr int kListingMinimumWidth = 240;

enum : uint8_t { ByDate = 1, ByTime = 2, ByDayOfWeek = 4 };

const char* const kDayBoxes[7][2] = {{"CBMonday", "Пн"},   {"CBTuesday", "Вв"}, {"CBWednesday", "Ср"},
                                     {"CBThursday", "Чт"}, {"CBFriday", "Пт"},  {"CBSaturday", "Сб"},
                                     {"CBSunday", "Нд"}};

QDate DateOfDays(double days) {
    platform::CivilDateTime t = platform::DaysToCivil(days);
    return {t.year, t.month, t.day};
}

double DaysOfDate(const QDate& date) {
    platform::CivilDateTime t;
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    return platform::CivilToDays(t);
}

QTime TimeOfDays(double days) {
    platform::CivilDateTime t = platform::DaysToCivil(days);
    return {t.hour, t.minute, t.second};
}

double DaysOfTime(const QTime& time) {
    return time.msecsSinceStartOfDay() / 86400000.0;
}

QColor ColourOf(ListingColour colour, const QTextEdit& edit) {
    switch (colour) {
    case ListingColour::Blue:
        return QColor(0, 0, 255);
    case ListingColour::Red:
        return QColor(255, 0, 0);
    case ListingColour::Maroon:
        return QColor(128, 0, 0);
    case ListingColour::Green:
        return QColor(0, 128, 0);
    case ListingColour::WindowText:
        break;
    }
    return edit.palette().color(QPalette::WindowText);
}

// The listing of all groups in the rich edit: every line bold, in its colour.
class RichListing final : public DiscountListing {
public:
    explicit RichListing(QTextEdit& edit) : edit(edit) {}
    void Add(const ListingLine& line) override {
        QTextCursor cursor(edit.document());
        cursor.movePosition(QTextCursor::End);
        if (!edit.document()->isEmpty()) cursor.insertBlock();
        QTextCharFormat format;
        format.setFontWeight(QFont::Bold);
        format.setForeground(ColourOf(line.colour, edit));
        cursor.insertText(platform::ToQString(line.text), format);
    }
    void ShowError(const std::string& text) override { ShowErrorText(text); }
    void ProcessMessages() override { platform::ProcessMessages(); }

private:
    QTextEdit& edit;
};

// The pickers show dates in the user's short date format ('/' stands for
// the date separator, as in the regional patterns).
QString PickerDateFormat() {
    const platform::RegionalSettings& rs = platform::Regional();
    std::string pattern = rs.shortDateFormat;
    std::replace(pattern.begin(), pattern.end(), '/', rs.dateSeparator);
    return platform::ToQString(pattern);
}

std::string DiscountIniPath() {
    return platform::ProgramFile(DiscountIniName);
}

} // namespace

void TForm1::CreateDiscountGroupsPage() {
    QWidget* sheet = TabSheets[kDiscountPage];
    auto* column = MakeChild<QVBoxLayout>(sheet);
    auto* box = MakeChild<QGroupBox>(UiText(" Дисконтні групи: "), sheet);
    SetHelpContext(box, kDiscountHelp);
    discountBox = box;
    // The listing stands beside the group's controls when the page is wide
    // enough for both, below them when it is not (ArrangeDiscountPage).
    discountRow = MakeChild<QBoxLayout>(QBoxLayout::LeftToRight, box);
    auto* left = MakeChild<QVBoxLayout>();
    discountControls = left;
    discountRow->addLayout(left);

    auto* fields = MakeChild<QGridLayout>();
    CBDiscountGroup = MakeChild<QComboBox>(box);
    CBDiscountGroup->setObjectName("CBDiscountGroup");
    for (int n = 1; n <= DiscountGroupCount; ++n) CBDiscountGroup->addItem(QString::number(n));
    MEDiscountValueByGroup = MakeChild<PercentEdit>(box);
    MEDiscountValueByGroup->setObjectName("MEDiscountValueByGroup");
    MEDiscountValueByGroup->setToolTip(UiText("Значення знижки\r\n(0...99,99) %"));
    MEDiscountValueByGroup->setFixedWidth(70);
    auto card = [box](const char* name) {
        auto* edit = MakeChild<QLineEdit>(QStringLiteral("1"), box);
        edit->setObjectName(name);
        // Nineteen digits typed; every 64-bit card code read is shown whole.
        LimitTyping(edit, 19, 20);
        edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QString(21, QChar('0'))));
        return edit;
    };
    FirstCardCodeByDiscountGroup = card("FirstCardCodeByDiscountGroup");
    LastCardCodeByDiscountGroup = card("LastCardCodeByDiscountGroup");
    fields->addWidget(MakeChild<QLabel>(UiText("Дисконтна група:"), box), 0, 0);
    fields->addWidget(CBDiscountGroup, 0, 1);
    fields->addWidget(MakeChild<QLabel>(UiText("Знижка, %:"), box), 0, 2);
    fields->addWidget(MEDiscountValueByGroup, 0, 3);
    fields->addWidget(MakeChild<QLabel>(UiText("Початковий код картки:"), box), 1, 0);
    fields->addWidget(FirstCardCodeByDiscountGroup, 1, 1, 1, 3);
    fields->addWidget(MakeChild<QLabel>(UiText("Кінцевий код картки:"), box), 2, 0);
    fields->addWidget(LastCardCodeByDiscountGroup, 2, 1, 1, 3);
    fields->setColumnStretch(4, 1);
    left->addLayout(fields);
    left->addWidget(CreateDiscountTermBox(box));

    ActionReadDiscountGroup->setText(UiText("Прочитати дисконтну групу"));
    ActionWriteDiscountGroup->setText(UiText("Записати дисконтну групу"));
    ActionReadAllDiscountGroups->setText(UiText("Прочитати параметри всіх груп"));
    ActionWriteAllDiscountGroups->setText(UiText("Записати параметри всіх груп"));
    auto* buttons = MakeChild<QGridLayout>();
    BitBtnReadDiscountGroup = MakeActionButton(ActionReadDiscountGroup, "BitBtnReadDiscountGroup", box);
    BitBtnWriteDiscountGroup = MakeActionButton(ActionWriteDiscountGroup, "BitBtnWriteDiscountGroup", box);
    BitBtnReadAllDiscountGroups =
        MakeActionButton(ActionReadAllDiscountGroups, "BitBtnReadAllDiscountGroups", box);
    BitBtnWriteAllDiscountGroups =
        MakeActionButton(ActionWriteAllDiscountGroups, "BitBtnWriteAllDiscountGroups", box);
    buttons->addWidget(BitBtnReadDiscountGroup, 0, 0);
    buttons->addWidget(BitBtnWriteDiscountGroup, 0, 1);
    buttons->addWidget(BitBtnReadAllDiscountGroups, 1, 0);
    buttons->addWidget(BitBtnWriteAllDiscountGroups, 1, 1);
    buttons->setColumnStretch(2, 1);
    SpeedButton2 = MakeChild<QPushButton>(box);
    SpeedButton2->setObjectName("SpeedButton2");
    SpeedButton2->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    SpeedButton2->setToolTip(UiText("Зберегти у файл налаштунки \r\nдисконтних груп"));
    BitBtn1 = MakeChild<QPushButton>(box);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    BitBtn1->setToolTip(UiText("Завантажити з файла\r\nналаштунки дисконтних груп"));
    // The file buttons at the end of the group's first row.
    fields->addWidget(SpeedButton2, 0, 5);
    fields->addWidget(BitBtn1, 0, 6);
    left->addLayout(buttons);
    left->addStretch();

    RichEdit1 = MakeChild<QTextEdit>(box);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    RichEdit1->setMinimumSize(kListingMinimumWidth, 4 * RichEdit1->fontMetrics().lineSpacing());
    discountRow->addWidget(RichEdit1, 1);
    column->addWidget(box);
    box->installEventFilter(this);

    connect(CBDiscountGroup, &QComboBox::currentIndexChanged, this, [this] { CBDiscountGroupChange(); });
    MEDiscountValueByGroup->OnChange = [this] { MEDiscountValueByGroupChange(); };
    OnExit(FirstCardCodeByDiscountGroup, [this] { return FirstCardCodeByDiscountGroupExit(); });
    OnExit(LastCardCodeByDiscountGroup, [this] { return LastCardCodeByDiscountGroupExit(); });
    connect(ActionReadDiscountGroup, &QAction::triggered, this, [this] { ActionReadDiscountGroupExecute(); });
    connect(ActionWriteDiscountGroup, &QAction::triggered, this,
            [this] { ActionWriteDiscountGroupExecute(); });
    connect(ActionReadAllDiscountGroups, &QAction::triggered, this,
            [this] { ActionReadAllDiscountGroupsExecute(); });
    connect(ActionWriteAllDiscountGroups, &QAction::triggered, this,
            [this] { ActionWriteAllDiscountGroupsExecute(); });
    connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

QWidget* TForm1::CreateDiscountTermBox(QWidget* parent) {
    auto* term = MakeChild<QGroupBox>(UiText(" Термін дії знижок для кожної дисконтної групи: "), parent);
    auto* grid = MakeChild<QGridLayout>(term);
    auto check = [term](const char* name, const char* text) {
        auto* box = MakeChild<QCheckBox>(UiText(text), term);
        box->setObjectName(name);
        return box;
    };
    CBDiscountByDate = check("CBDiscountByDate", "За датою");
    CBDiscountByTime = check("CBDiscountByTime", "За часом");
    CBDiscountByDayOfWeek = check("CBDiscountByDayOfWeek", "По днях тижня");
    auto date = [term](const char* name) {
        auto* edit = MakeChild<QDateEdit>(QDate::currentDate(), term);
        edit->setObjectName(name);
        edit->setDisplayFormat(PickerDateFormat());
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
        return edit;
    };
    auto time = [term](const char* name) {
        auto* edit = MakeChild<QTimeEdit>(QTime(0, 0), term);
        edit->setObjectName(name);
        edit->setDisplayFormat(QStringLiteral("H:mm"));
        edit->setEnabled(false);
        return edit;
    };
    BeginDate = date("BeginDate");
    EndDate = date("EndDate");
    BeginTime = time("BeginTime");
    EndTime = time("EndTime");
    grid->addWidget(CBDiscountByDate, 0, 0);
    grid->addWidget(BeginDate, 0, 1);
    grid->addWidget(EndDate, 0, 2);
    grid->addWidget(CBDiscountByTime, 1, 0);
    grid->addWidget(BeginTime, 1, 1);
    grid->addWidget(EndTime, 1, 2);
    grid->addWidget(CBDiscountByDayOfWeek, 2, 0);
    auto* days = MakeChild<QHBoxLayout>();
    QCheckBox** dayBoxes[7] = {&CBMonday, &CBTuesday,  &CBWednesday, &CBThursday,
                               &CBFriday, &CBSaturday, &CBSunday};
    for (int d = 0; d < 7; ++d) {
        *dayBoxes[d] = check(kDayBoxes[d][0], kDayBoxes[d][1]);
        (*dayBoxes[d])->setEnabled(false);
        days->addWidget(*dayBoxes[d]);
        connect(*dayBoxes[d], &QCheckBox::toggled, this, [this, d] { DayOfWeekClick(d); });
    }
    days->addStretch();
    grid->addLayout(days, 3, 0, 1, 3);

    connect(CBDiscountByDate, &QCheckBox::toggled, this, [this] { CBDiscountByDateClick(); });
    connect(CBDiscountByTime, &QCheckBox::toggled, this, [this] { CBDiscountByTimeClick(); });
    connect(CBDiscountByDayOfWeek, &QCheckBox::toggled, this, [this] { CBDiscountByDayOfWeekClick(); });
    connect(BeginDate, &QDateEdit::dateChanged, this, [this] { BeginDateChange(); });
    connect(EndDate, &QDateEdit::dateChanged, this, [this] { EndDateChange(); });
    connect(BeginTime, &QTimeEdit::timeChanged, this, [this] { BeginTimeChange(); });
    connect(EndTime, &QTimeEdit::timeChanged, this, [this] { EndTimeChange(); });
    return term;
}

void TForm1::ArrangeDiscountPage() {
    const int spacing = std::max(discountRow->spacing(), 0);
    const QMargins margins = discountBox->contentsMargins() + discountRow->contentsMargins();
    const int sideBySide = margins.left() + discountControls->minimumSize().width() + spacing +
                           kListingMinimumWidth + margins.right();
    const auto direction =
        discountBox->width() >= sideBySide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (discountRow->direction() != direction) discountRow->setDirection(direction);
}

QCheckBox* TForm1::DayBox(int day) const {
    QCheckBox* const boxes[7] = {CBMonday, CBTuesday,  CBWednesday, CBThursday,
                                 CBFriday, CBSaturday, CBSunday};
    return boxes[day];
}

void TForm1::DefaultDiscountGroupsFromPickers() {
    state.DiscountGroups = DefaultDiscountGroups(DaysOfDate(BeginDate->date()), DaysOfDate(EndDate->date()));
}

Q710DiscountGroupRecord& TForm1::ChosenGroup() {
    int index = std::clamp(CBDiscountGroup->currentIndex(), 0, DiscountGroupCount - 1);
    return state.DiscountGroups[static_cast<std::size_t>(index)];
}

void TForm1::ShowDiscountGroup() {
    // The handlers the controls run keep the entry in step, so it is read as
    // each control is set.
    Q710DiscountGroupRecord& g = ChosenGroup();
    MEDiscountValueByGroup->SetMaskText(PercentText(std::min<uint32_t>(g.value, kMaxPercent)));
    FirstCardCodeByDiscountGroup->setText(QString::fromStdString(UInt64ToStr(g.firstCard)));
    LastCardCodeByDiscountGroup->setText(QString::fromStdString(UInt64ToStr(g.lastCard)));
    CBDiscountByDate->setChecked(g.terms & ByDate);
    CBDiscountByTime->setChecked(g.terms & ByTime);
    CBDiscountByDayOfWeek->setChecked(g.terms & ByDayOfWeek);
    const double beginDate = g.beginDate, endDate = g.endDate, beginTime = g.beginTime, endTime = g.endTime;
    BeginDate->setDate(DateOfDays(beginDate));
    EndDate->setDate(DateOfDays(endDate));
    BeginTime->setTime(TimeOfDays(beginTime));
    EndTime->setTime(TimeOfDays(endTime));
    for (int d = 0; d < 7; ++d) DayBox(d)->setChecked(g.days[d] != 0);
}

void TForm1::CBDiscountGroupChange() {
    ShowDiscountGroup();
}

void TForm1::MEDiscountValueByGroupChange() {
    std::string text = MEDiscountValueByGroup->MaskText();
    if (text.find('?') != std::string::npos) {
        MEDiscountValueByGroup->SetMaskText(FillMaskBlanks(text));
        return; // the new text runs this handler again
    }
    ChosenGroup().value = PercentValue(text).value_or(0);
}

bool TForm1::CheckCardEdit(QLineEdit* edit, bool first) {
    CardCheck check = CheckCardCode(platform::FromQString(edit->text()));
    if (check.refused) ShowErrorText(CardCodeMessage(first));
    edit->setText(platform::ToQString(check.text));
    (first ? ChosenGroup().firstCard : ChosenGroup().lastCard) = check.value;
    return !check.refused;
}

bool TForm1::FirstCardCodeByDiscountGroupExit() {
    return CheckCardEdit(FirstCardCodeByDiscountGroup, true);
}

bool TForm1::LastCardCodeByDiscountGroupExit() {
    return CheckCardEdit(LastCardCodeByDiscountGroup, false);
}

void TForm1::CBDiscountByDateClick() {
    bool on = CBDiscountByDate->isChecked();
    BeginDate->setEnabled(on);
    EndDate->setEnabled(on);
    Q710DiscountGroupRecord& g = ChosenGroup();
    g.terms = static_cast<uint8_t>(on ? g.terms | ByDate : g.terms & ~ByDate);
}

void TForm1::CBDiscountByTimeClick() {
    bool on = CBDiscountByTime->isChecked();
    BeginTime->setEnabled(on);
    EndTime->setEnabled(on);
    Q710DiscountGroupRecord& g = ChosenGroup();
    g.terms = static_cast<uint8_t>(on ? g.terms | ByTime : g.terms & ~ByTime);
}

void TForm1::CBDiscountByDayOfWeekClick() {
    bool on = CBDiscountByDayOfWeek->isChecked();
    for (int d = 0; d < 7; ++d) {
        if (!on) DayBox(d)->setChecked(false);
        DayBox(d)->setEnabled(on);
    }
    Q710DiscountGroupRecord& g = ChosenGroup();
    g.terms = static_cast<uint8_t>(on ? g.terms | ByDayOfWeek : g.terms & ~ByDayOfWeek);
}

void TForm1::BeginDateChange() {
    ChosenGroup().beginDate = DaysOfDate(BeginDate->date());
}
void TForm1::EndDateChange() {
    ChosenGroup().endDate = DaysOfDate(EndDate->date());
}
void TForm1::BeginTimeChange() {
    ChosenGroup().beginTime = DaysOfTime(BeginTime->time());
}
void TForm1::EndTimeChange() {
    ChosenGroup().endTime = DaysOfTime(EndTime->time());
}

void TForm1::DayOfWeekClick(int day) {
    ChosenGroup().days[day] = DayBox(day)->isChecked() ? -1 : 0;
}

void TForm1::ActionReadDiscountGroupExecute() {
    Q710DiscountGroupRecord r{};
    const char* err = nullptr;
    const int group = CBDiscountGroup->currentIndex() + 1;
    if (!Succeeded(state.Api().GetDiscountGroupParameters103(group, &r, &err), &err)) return;
    PageControl1->setCurrentIndex(kDiscountPage);
    MEDiscountValueByGroup->SetMaskText(PercentText(std::min<uint32_t>(r.value, kMaxPercent)));
    FirstCardCodeByDiscountGroup->setText(QString::fromStdString(UInt64ToStr(r.firstCard)));
    LastCardCodeByDiscountGroup->setText(QString::fromStdString(UInt64ToStr(r.lastCard)));
    CBDiscountByDate->setChecked(false);
    CBDiscountByTime->setChecked(false);
    CBDiscountByDayOfWeek->setChecked(false);
    auto times = [&] {
        BeginTime->setTime(TimeOfDays(r.beginTime));
        EndTime->setTime(TimeOfDays(r.endTime));
    };
    if (r.terms & ByDate) {
        CBDiscountByDate->setChecked(true);
        BeginDate->setDate(DateOfDays(r.beginDate));
        EndDate->setDate(DateOfDays(r.endDate));
        times();
    }
    if (r.terms & ByTime) {
        CBDiscountByTime->setChecked(true);
        times();
    }
    if (r.terms & ByDayOfWeek) {
        CBDiscountByDayOfWeek->setChecked(true);
        for (int d = 0; d < 7; ++d) DayBox(d)->setChecked(r.days[d] != 0);
    }
}

void TForm1::ActionReadAllDiscountGroupsExecute() {
    // Reading lets the message loop run: no other register operation may start meanwhile.
    MainBatchWindow window(*this, nullptr);
    window.Lock();
    state.Busy = 1;
    RichEdit1->clear();
    platform::ProcessMessages();
    PageControl1->setCurrentIndex(kDiscountPage);
    RichEdit1->setFocus();
    RichListing listing(*RichEdit1);
    bool ended = ReadAllDiscountGroups(state.Api(), state.DiscountGroups, DaysOfDate(BeginDate->date()),
                                       DaysOfDate(EndDate->date()), TodayDays(), listing);
    state.Busy = 0;
    window.Unlock();
    if (ended) ShowDiscountGroup();
}

void TForm1::ActionWriteDiscountGroupExecute() {
    Guarded([this] {
        Q710DiscountGroupRecord r{};
        r.terms = static_cast<uint8_t>((CBDiscountByDate->isChecked() ? ByDate : 0) |
                                       (CBDiscountByTime->isChecked() ? ByTime : 0) |
                                       (CBDiscountByDayOfWeek->isChecked() ? ByDayOfWeek : 0));
        r.value = PercentValue(MEDiscountValueByGroup->MaskText()).value_or(0);
        // A card text that does not convert ends the action with the conversion message.
        r.firstCard = StrToUInt64(platform::FromQString(FirstCardCodeByDiscountGroup->text()));
        r.lastCard = StrToUInt64(platform::FromQString(LastCardCodeByDiscountGroup->text()));
        if (r.terms & ByDate) {
            r.beginDate = DaysOfDate(BeginDate->date());
            r.endDate = DaysOfDate(EndDate->date());
        }
        if (r.terms & ByTime) {
            r.beginTime = DaysOfTime(BeginTime->time());
            r.endTime = DaysOfTime(EndTime->time());
        }
        if (r.terms & ByDayOfWeek)
            for (int d = 0; d < 7; ++d) r.days[d] = DayBox(d)->isChecked() ? -1 : 0;
        if (CardRangeRefused(r)) {
            ShowErrorText(Ansi("Код початкової картки більший за код кінцевої картки!"));
            return;
        }
        const int group = CBDiscountGroup->currentIndex() + 1;
        const char* err = nullptr;
        if (Succeeded(state.Api().SetDiscountGroupParameters103(group, r, &err), &err))
            ShowInfoText(Ansi("Параметри дисконтної групи №") + std::to_string(group) +
                         Ansi(" успішно записані."));
    });
}

void TForm1::ActionWriteAllDiscountGroupsExecute() {
    if (int refused = FirstRefusedGroup(state.DiscountGroups)) {
        ShowErrorText(Ansi("Група №") + std::to_string(refused) + ".\r\n" +
                      Ansi("Код початкової картки більший за код кінцевої картки!"));
        return;
    }
    for (int n = 1; n <= DiscountGroupCount; ++n) {
        const char* err = nullptr;
        if (!Succeeded(state.Api().SetDiscountGroupParameters103(n, state.DiscountGroups[n - 1], &err), &err))
            return;
    }
    ShowInfoText(Ansi("Параметри всіх дисконтних груп успішно записані."));
}

void TForm1::SpeedButton2Click() {
    bool saved = Guarded(
        [this] {
            platform::IniFile ini(DiscountIniPath());
            SaveDiscountGroups(ini, state.DiscountGroups, [] { platform::ProcessMessages(); });
        },
        ErrorShown::InErrorBox);
    if (saved) ShowInfoText(Ansi("Налаштунки дисконтних груп збережені!"));
}

void TForm1::BitBtn1Click() {
    const std::string path = DiscountIniPath();
    if (!std::filesystem::is_regular_file(path)) {
        ShowErrorText(Ansi("Файл налаштунків дисконтних груп не знайдено!"));
        return;
    }
    // A file that cannot be read is no empty file.
    if (!Guarded([&path] { platform::ReadWholeFile(path); }, ErrorShown::InErrorBox)) return;
    bool loaded = false;
    Guarded([&] {
        // All or nothing: the table changes only once the whole file converted.
        state.DiscountGroups = LoadDiscountGroups(platform::IniFile(path), DaysOfDate(BeginDate->date()),
                                                  DaysOfDate(EndDate->date()));
        loaded = true;
    });
    if (!loaded) return;
    ShowDiscountGroup();
    ShowInfoText(Ansi("Налаштунки дисконтних груп вдало завантажені!"));
}

} // namespace console

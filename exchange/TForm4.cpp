#include "exchange/TForm4.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "console/TQProgressBar.h"
#include "exchange/FormParts.h"
#include "exchange/TForm5.h"
#include "platform/CodePages.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace exchange {

using platform::MakeChild;

TForm4::TForm4(console::ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm4");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(314, 119);

    auto* panel = MakeChild<QFrame>(this);
    panel->setObjectName("Panel1");
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setGeometry(0, 0, 314, 119);

    Label1 = MakeChild<QLabel>(QString::fromUtf8("Подготовка данных . . ."), panel);
    Label1->setObjectName("Label1");
    Label1->setGeometry(16, 10, 281, 18);

    QProgressBar1 = MakeChild<TQProgressBar>(panel);
    QProgressBar1->setObjectName("QProgressBar1");
    QProgressBar1->setGeometry(16, 34, 281, 16);
    QProgressBar1->SetOrientation(boHorizontal);
    QProgressBar1->SetBarKind(bkCylinder);
    QProgressBar1->SetBarLook(blGlass);
    QProgressBar1->SetRoundCorner(true);
    QProgressBar1->SetBackgroundColor(0xFFFFFF);
    QProgressBar1->SetBarColor(0xFF2424);
    QProgressBar1->SetShowInactivePos(true);
    QProgressBar1->SetInactivePosColor(0xDBCFEF);
    QProgressBar1->SetShaped(true);
    QProgressBar1->SetShapeColor(0x743C00);
    QProgressBar1->SetMaximum(100);
    QProgressBar1->SetPosition(0);

    Label2 = MakeChild<QLabel>(QString::fromUtf8("0 %"), panel);
    Label2->setObjectName("Label2");
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setGeometry(16, 54, 281, 18);

    Button1 = MakeButton(panel, "Button1", "Отменить");
    Button1->setGeometry(119, 80, 75, 25);

    Timer1 = MakeChild<QTimer>(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(500);

    XLS = NewJobWorkbook();

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    InstallJobHelpKey(this);
    Side().Form4 = this;
}

TForm4::~TForm4() {
    if (Side().Form4 == this) Side().Form4 = nullptr;
}

void TForm4::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TForm4::FormShow() {
    JobSide& side = Side();
    if (side.Main.ModemLinkUp && side.Main.ModemLinkUp()) {
        int answer =
            platform::MessageBox(platform::Ansi("Розірвати модемне з'єднання?"), platform::Ansi("Модем"),
                                 platform::MbYesNo | platform::MbIconQuestion | platform::MbTaskModal);
        if (answer == platform::IdYes && side.Main.ModemDisconnect) side.Main.ModemDisconnect();
    }
    state.MakeMetod.Done = 0;
    state.MakeMetod.Reserved = 0;
    side.FileWritten = false;
    if (side.Main.Repaint) side.Main.Repaint();
    state.JobCancelled = 0;
    QProgressBar1->SetPosition(0);
    QProgressBar1->SetMaximum(100);
    Label2->setText(QString::fromUtf8("0 %"));
    Timer1->start();
}

void TForm4::Button1Click() {
    state.JobCancelled = 1;
}

void TForm4::Timer1Timer() {
    JobSide& side = Side();
    if (side.Form5 != nullptr) side.Form5->hide();
    Timer1->stop();
    JobContext job{state, Shared(), side, *this};
    jobRunning = true;
    lastResult = Dispatch(job, side.FormatIndex, state.MakeMetod.OperationKind);
    jobRunning = false;
    accept();
}

void TForm4::reject() {
    if (jobRunning) {
        Button1Click();
        return;
    }
    // Nothing started yet: the job is stopped before it begins.
    Timer1->stop();
    state.JobCancelled = 1;
    QDialog::reject();
}

void TForm4::SetMaximum(int32_t maximum) {
    QProgressBar1->SetMaximum(maximum);
    QProgressBar1->SetPosition(0);
}

bool TForm4::Step() {
    int32_t position = QProgressBar1->Position() + 1;
    QProgressBar1->SetPosition(position);
    Label2->setText(QString::fromStdString(QProgBar::PercentText(position, QProgressBar1->Maximum())));
    platform::ProcessMessages();
    return state.JobCancelled != 0;
}

} // namespace exchange

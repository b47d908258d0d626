// The main window's connection pages: the direct connection (port, speed,
// addresses, network mode) and the modem call with its 500 ms poll, their
// settings, and switching the register off.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>

#include "console/ActionButton.h"
#include "console/Connection.h"
#include "console/Guarded.h"
#include "console/MessageBoxes.h"
#include "console/Q710_Form.h"
#include "console/UpDown.h"
#include "platform/ui/AnsiText.h"

namespace console {
namespace {

using platform::MakeChild;
using platform::UiText;

} // namespace

void TForm1::CreateConnectionPages() {
    QWidget* direct = TabSheets[0];
    auto* form = MakeChild<QFormLayout>(direct);
    PortNumber = MakeChild<QComboBox>(direct);
    PortNumber->setObjectName("PortNumber");
    for (int i = 1; i <= 8; ++i) PortNumber->addItem(QString("COM%1").arg(i));
    BRate = MakeChild<QComboBox>(direct);
    BRate->setObjectName("BRate");
    for (const char* rate : {"4800 б/с", "9600 б/с", "19200 б/с", "38400 б/с"}) BRate->addItem(UiText(rate));
    AddrPC = MakeChild<QLineEdit>(direct);
    AddrPC->setObjectName("AddrPC");
    UpDown2 = MakeChild<UpDown>(AddrPC, 1, 255, direct);
    UpDown2->setObjectName("UpDown2");
    AddrECR = MakeChild<QLineEdit>(direct);
    AddrECR->setObjectName("AddrECR");
    UpDown1 = MakeChild<UpDown>(AddrECR, 0, 255, direct);
    UpDown1->setObjectName("UpDown1");
    UpDown2->SetPosition(1);
    UpDown1->SetPosition(0);
    NetMode = MakeChild<QCheckBox>(UiText("Робота в мержі"), direct);
    NetMode->setObjectName("NetMode");
    auto edit = [direct](QLineEdit* e, UpDown* u) {
        auto* pair = MakeChild<QWidget>(direct);
        auto* row = MakeChild<QHBoxLayout>(pair);
        row->setContentsMargins(0, 0, 0, 0);
        e->setMaxLength(3);
        e->setFixedWidth(60);
        row->addWidget(e);
        row->addWidget(u);
        row->addStretch();
        return pair;
    };
    form->addRow(UiText("Порт ПК:"), PortNumber);
    form->addRow(UiText("Швидкість:"), BRate);
    form->addRow(UiText("Адреса ПК:"), edit(AddrPC, UpDown2));
    form->addRow(UiText("Адреса ЕККА:"), edit(AddrECR, UpDown1));
    form->addRow(QString(), NetMode);
    auto* directButtons = MakeChild<QHBoxLayout>();
    for (QAction* a : {Connect, Disconnect, ECRPowerOff}) {
        actionButtons.push_back(MakeChild<ActionButton>(a, direct));
        directButtons->addWidget(actionButtons.back());
    }
    form->addRow(directButtons);
    AddrPC->installEventFilter(this);
    AddrECR->installEventFilter(this);
    connect(NetMode, &QCheckBox::toggled, this, [this] { NetModeClick(); });

    QWidget* modem = TabSheets[1];
    auto* modemForm = MakeChild<QFormLayout>(modem);
    Phone = MakeChild<QLineEdit>(modem);
    Phone->setObjectName("Phone");
    CBDialMode = MakeChild<QCheckBox>(UiText("Тоновий режим набору номера"), modem);
    CBDialMode->setObjectName("CBDialMode");
    CBSelectDialog = MakeChild<QCheckBox>(UiText("Показати діалог вибору модема"), modem);
    CBSelectDialog->setObjectName("CBSelectDialog");
    CBConfigDialog = MakeChild<QCheckBox>(UiText("Показати діалог конфігурації модема"), modem);
    CBConfigDialog->setObjectName("CBConfigDialog");
    CBAttempts = MakeChild<QComboBox>(modem);
    CBAttempts->setObjectName("CBAttempts");
    for (int i = 1; i <= 10; ++i) CBAttempts->addItem(QString::number(i));
    CBAttempts->setCurrentIndex(2);
    modemForm->addRow(UiText("Номер телефону:"), Phone);
    modemForm->addRow(UiText("Кількість спроб:"), CBAttempts);
    modemForm->addRow(QString(), CBDialMode);
    modemForm->addRow(QString(), CBSelectDialog);
    modemForm->addRow(QString(), CBConfigDialog);
    auto* modemButtons = MakeChild<QHBoxLayout>();
    for (QAction* a : {ModemConnect, ModemDisconnect, ModemECRPowerOff}) {
        actionButtons.push_back(MakeChild<ActionButton>(a, modem));
        modemButtons->addWidget(actionButtons.back());
    }
    modemForm->addRow(modemButtons);
}

void TForm1::ApplySettings(const StoredSettings& stored) {
    const ConnectionSettings& c = stored.connection;
    PortNumber->setCurrentIndex(c.portIndex);
    BRate->setCurrentIndex(c.baudIndex);
    UpDown2->SetPosition(QString::fromStdString(c.pcAddress).toInt());
    UpDown1->SetPosition(QString::fromStdString(c.ecrAddress).toInt());
    state.EcrAddress = stored.ecrAddress;
    NetMode->setChecked(c.netMode); // runs NetModeClick when it changes
    CBDialMode->setChecked(c.dialMode);
    CBSelectDialog->setChecked(c.selectDevice);
    CBConfigDialog->setChecked(c.configDevice);
    Phone->setText(platform::ToQString(c.phone));
    CBAttempts->setCurrentIndex(c.attemptsIndex);
    state.CsvOptions = stored.csv;
}

ConnectionSettings TForm1::CurrentSettings() const {
    ConnectionSettings c;
    c.portIndex = PortNumber->currentIndex();
    c.baudIndex = BRate->currentIndex();
    c.pcAddress = platform::FromQString(AddrPC->text());
    c.ecrAddress = platform::FromQString(AddrECR->text());
    c.netMode = NetMode->isChecked();
    c.dialMode = CBDialMode->isChecked();
    c.selectDevice = CBSelectDialog->isChecked();
    c.configDevice = CBConfigDialog->isChecked();
    c.phone = platform::FromQString(Phone->text());
    c.attemptsIndex = CBAttempts->currentIndex();
    return c;
}

void TForm1::SetSessionControlsEnabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{PortNumber, BRate, CBDialMode, CBSelectDialog,
                                                      CBConfigDialog, Phone, CBAttempts})
        w->setEnabled(on);
}

void TForm1::SetModemSessionControlsEnabled(bool on) {
    SetSessionControlsEnabled(on);
    AddrPC->setEnabled(on);
    UpDown2->setEnabled(on);
    NetMode->setEnabled(on);
    // The register address stays locked while network mode is off.
    AddrECR->setEnabled(on && NetMode->isChecked());
    UpDown1->setEnabled(on && NetMode->isChecked());
}

void TForm1::ConnectExecute() {
    Guarded([this] {
        DirectLink link;
        link.pcAddress = IntegerValue(platform::FromQString(AddrPC->text()));
        link.ecrAddress = IntegerValue(platform::FromQString(AddrECR->text()));
        link.port = PortOfIndex(PortNumber->currentIndex());
        link.baud = BaudOfIndex(BRate->currentIndex());
        SetStatusText(ConnectingStatusText());
        StatusBar1->repaint();
        connectionFreed = false;
        DirectOutcome outcome = OpenDirectSession(state.Api(), link);
        if (outcome.result == DirectResult::ConnectFailed) {
            SetStatusText("");
            ShowErrorText(outcome.errorText);
            return;
        }
        state.DirectSession = 1;
        if (outcome.result == DirectResult::NoLink) {
            SetStatusText("");
            ShowErrorText(NoLinkText());
            return;
        }
        SetSessionControlsEnabled(false);
        Connect->setEnabled(false);
        Disconnect->setEnabled(true);
        // A modem call cannot start while the port is held.
        ModemConnect->setEnabled(false);
        state.ModemSession = 0;
        ModemDisconnect->setEnabled(false);
        EnableDeviceActions();
        SetStatusText(DirectStatusText(platform::FromQString(PortNumber->currentText()),
                                       platform::FromQString(BRate->currentText())));
    });
}

void TForm1::DisconnectExecute() {
    if (state.Busy != 0) return; // a running loop still uses the connection
    state.Api().HostDisconnect();
    SetSessionControlsEnabled(true);
    Connect->setEnabled(true);
    Disconnect->setEnabled(false);
    ModemConnect->setEnabled(true);
    ModemDisconnect->setEnabled(false);
    SetStatusText("");
    DisableDeviceActions();
    FreeConnection();
}

void TForm1::NetModeClick() {
    if (!NetMode->isChecked()) {
        UpDown1->SetMin(0);
        bool ok = false;
        int value = AddrECR->text().trimmed().toInt(&ok);
        if (ok && value >= 0 && value <= 255) state.EcrAddress = static_cast<uint8_t>(value);
        AddrECR->setText("0");
        AddrECR->setEnabled(false);
        UpDown1->setEnabled(false);
    } else {
        UpDown1->SetMin(1);
        AddrECR->setText(QString::number(state.EcrAddress));
        AddrECR->setEnabled(true);
        UpDown1->setEnabled(true);
    }
}

void TForm1::AddrPCExit() {
    CheckAddressEdit(AddressEdit::Pc, AddrPC, AddrECR);
}
void TForm1::AddrECRExit() {
    CheckAddressEdit(AddressEdit::Ecr, AddrECR, AddrPC);
}

void TForm1::CheckAddressEdit(AddressEdit which, QLineEdit* edit, QLineEdit* other) {
    AddressCheck check =
        CheckAddress(which, platform::FromQString(edit->text()), platform::FromQString(other->text()));
    edit->setText(platform::ToQString(check.text));
    if (!check.message.empty()) ShowErrorText(check.message);
    if (check.refocus) edit->setFocus();
}

void TForm1::ModemConnectExecute() {
    Guarded([this] {
        ModemCall call;
        call.phone = platform::FromQString(Phone->text());
        call.attempts = IntegerValue(platform::FromQString(CBAttempts->currentText()));
        call.tone = CBDialMode->isChecked();
        call.showChoice = CBSelectDialog->isChecked();
        call.showConfig = CBConfigDialog->isChecked();
        connectionFreed = false; // the call creates the library's connection object
        StartModemCall(state.Api(), call);
        SetModemSessionControlsEnabled(false);
        Connect->setEnabled(false);
        Disconnect->setEnabled(false);
        ModemConnect->setEnabled(false);
        ModemDisconnect->setEnabled(true);
        state.ModemSession = 1;
        modemLinkUp = false;
        Timer1->setInterval(500);
        Timer1->start();
    });
}

void TForm1::EndModemSession() {
    heldModemDisconnect = false;
    SetModemSessionControlsEnabled(true);
    Timer1->stop();
    Connect->setEnabled(true);
    Disconnect->setEnabled(false);
    ModemConnect->setEnabled(true);
    ModemDisconnect->setEnabled(false);
    modemLinkUp = false;
    DisableDeviceActions();
    SetStatusText("");
}

void TForm1::Timer1Timer() {
    if (!Timer1->isActive()) return;
    // Off while the library is asked, so a slow answer never meets a second tick.
    Timer1->stop();
    Guarded([this] {
        ModemPoll poll = PollModem(state.Api(), platform::FromQString(Phone->text()));
        switch (poll.kind) {
        case ModemPollKind::GiveUp:
            EndModemSession();
            return;
        case ModemPollKind::Connected:
            SetStatusText(poll.status);
            modemLinkUp = true;
            if (state.Busy == 0) EnableDeviceActions();
            break;
        case ModemPollKind::Status:
            SetStatusText(poll.status);
            break;
        case ModemPollKind::Unchanged:
            break;
        }
        Timer1->start();
    });
}

void TForm1::ModemDisconnectExecute() {
    Guarded([this] {
        CancelModemCall(state.Api());
        EndModemSession();
        FreeConnection();
    });
}

void TForm1::ECRPowerOffExecute() {
    ConfirmPowerOff(state.Api());
}
void TForm1::ModemECRPowerOffExecute() {
    ConfirmPowerOff(state.Api());
}

} // namespace console

#include "console/TAboutBox.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "console/ContextHelp.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::MakeChild;
using platform::UiText;

QFrame* Line(QWidget* parent) {
    auto* line = MakeChild<QFrame>(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

TAboutBox::TAboutBox(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TAboutBox");
    setWindowTitle(UiText("Про програму"));
    auto* column = MakeChild<QVBoxLayout>(this);
    auto* panel = MakeChild<QFrame>(this);
    panel->setFrameShape(QFrame::StyledPanel);
    auto* inner = MakeChild<QVBoxLayout>(panel);

    auto* head = MakeChild<QHBoxLayout>();
    Image1 = MakeChild<QLabel>(panel);
    Image1->setObjectName("Image1");
    Image1->setPixmap(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    ProductName = MakeChild<QLabel>(UiText("Програма обслуговування таблиці \n"
                                           "  товарів ЕККА серії \"ЗРВ-Q710\"\n"
                                           "                 з версією 2-01"),
                                    panel);
    ProductName->setObjectName("ProductName");
    head->addWidget(Image1);
    head->addWidget(ProductName, 1);
    inner->addLayout(head);
    inner->addWidget(Line(panel));
    Version = MakeChild<QLabel>(UiText("Версія: 3.0.4"), panel);
    Version->setObjectName("Version");
    inner->addWidget(Version);
    inner->addWidget(Line(panel));
    Copyright = MakeChild<QLabel>(UiText("Програмування та читання ЕККА з персонального комп'ютера."), panel);
    Copyright->setObjectName("Copyright");
    Comments = MakeChild<QLabel>(UiText("Усі права застережено."), panel);
    Comments->setObjectName("Comments");
    inner->addWidget(Copyright);
    inner->addWidget(Comments);
    column->addWidget(panel);

    auto* buttons = MakeChild<QHBoxLayout>();
    OKButton = MakeChild<QPushButton>(UiText("OK"), this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addStretch();
    column->addLayout(buttons);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    SetHelpContext(this, 1);
    for (QWidget* w : findChildren<QWidget*>()) SetHelpContext(w, 1);
    InstallHelpKey(this, HelpNotFoundText());
}

} // namespace console

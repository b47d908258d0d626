#include "console/ActionButton.h"

#include <QAction>

#include "console/ContextHelp.h"
#include "platform/ui/Ui.h"

namespace console {

ActionButton::ActionButton(QAction* action, QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, [this] {
        if (this->action != nullptr && this->action->isEnabled()) this->action->trigger();
    });
    SetAction(action);
}

void ActionButton::SetAction(QAction* newAction) {
    disconnect(changed);
    action = newAction;
    if (action != nullptr) changed = connect(action, &QAction::changed, this, [this] { Mirror(); });
    Mirror();
}

void ActionButton::Mirror() {
    if (action == nullptr) return;
    setText(action->text());
    setToolTip(action->toolTip());
    setEnabled(action->isEnabled());
    SetHelpContext(this, HelpContextOf(action));
}

ActionButton* MakeActionButton(QAction* action, const char* objectName, QWidget* parent) {
    auto* button = platform::MakeChild<ActionButton>(action, parent);
    button->setObjectName(objectName);
    return button;
}

} // namespace console

// A push button that carries an action: it shows the action's caption, hint
// and enabled state and triggers it when clicked. The action can be swapped
// (a starting button becomes a stop button while its operation runs).
#pragma once

#include <QMetaObject>
#include <QPushButton>

class QAction;

namespace console {

class ActionButton : public QPushButton {
public:
    explicit ActionButton(QAction* action, QWidget* parent = nullptr);
    void SetAction(QAction* action);
    QAction* Action() const { return action; }

private:
    void Mirror();

    QAction* action = nullptr;
    QMetaObject::Connection changed;
};

// A button named `name` on `parent` that carries the action.
ActionButton* MakeActionButton(QAction* action, const char* name, QWidget* parent);

} // namespace console

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

// A button of an action, owned by its parent and named for tests and help.
ActionButton* MakeActionButton(QAction* action, const char* objectName, QWidget* parent);

} // namespace console

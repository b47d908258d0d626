// Small helpers of the main window's one-call register operations: the
// starting button's "Зачекайте!" while the call runs, and the library's text
// in an error box when it failed.
#pragma once

#include <cstdint>

namespace console {

class ActionButton;

// The button shows "Зачекайте!" from now until Restore or the end of scope.
class WaitCaption {
public:
    explicit WaitCaption(ActionButton* button);
    ~WaitCaption();
    WaitCaption(const WaitCaption&) = delete;
    WaitCaption& operator=(const WaitCaption&) = delete;
    void Restore();

private:
    ActionButton* button;
};

// True for status 0; otherwise shows the library's text and gives false. The
// text is taken through its pointer's address, so it is read after the call
// whatever the order the arguments were evaluated in.
bool Succeeded(uint8_t status, const char* const* err);

} // namespace console

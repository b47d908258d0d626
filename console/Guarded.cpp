#include "console/Guarded.h"

#include "console/MessageBoxes.h"
#include "platform/CodePages.h"
#include "platform/ui/Ui.h"

namespace console {

void ShowError(const std::exception& error, ErrorShown how) {
    const std::string text = platform::Utf8ToAnsi(error.what());
    if (how == ErrorShown::InErrorBox)
        ShowErrorText(text);
    else
        platform::MessageBox(text, platform::ApplicationTitle(), platform::MbIconError);
}

} // namespace console

#include "console/Guarded.h"

#include "platform/ui/Ui.h"

namespace console {

void ShowError(const std::exception& error) {
    platform::MessageBox(error.what(), platform::ApplicationTitle(), platform::MbIconError);
}

} // namespace console

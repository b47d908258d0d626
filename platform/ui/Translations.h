// The toolkit's own texts (standard buttons, file dialogs) in the user's
// language, as the system's own buttons are.
#pragma once

class QLocale;

namespace platform {

// Installs Qt's translations for `locale` from the system's translation
// folder (replacing those installed before); false when there are none for
// it (the toolkit's English texts stay).
bool LoadToolkitTranslations(const QLocale& locale);

} // namespace platform

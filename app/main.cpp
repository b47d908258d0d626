// Q710b: the register console.
#include <QApplication>
#include <QLocale>
#include <string>

#include "SrcXLS/XLSLibState.h"
#include "app/Program.h"
#include "platform/RegionalSettings.h"
#include "platform/ui/RegionalSettingsQt.h"
#include "platform/ui/Translations.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    platform::LoadToolkitTranslations(QLocale::system());
    // Numbers, money, dates and times in files follow the user's locale; the
    // workbook library takes its separators from the same settings.
    platform::ApplySystemRegionalSettings();
    xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
    // "--grab FILE": save a picture of the main window and close it.
    std::string pictureFile;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--grab") pictureFile = argv[i + 1];
    return app::RunProgram(pictureFile);
}

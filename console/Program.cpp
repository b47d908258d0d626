#include "console/Program.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include "console/ContextHelp.h"
#include "platform/ui/Ui.h"

namespace console {

bool Program::Create() {
    platform::SetApplicationTitle("ZRV-Q710");
    platform::SetApplicationHelpFile(platform::ProgramFile(HelpFileName));
    windows.Form1 = std::make_unique<TForm1>(state, windows);
    if (!windows.Form1->FormCreate()) return false;
    windows.Form4 = std::make_unique<TForm4>(state);
    windows.Form5 = std::make_unique<TForm5>(state);
    windows.Form6 = std::make_unique<TForm6>(state);
    windows.Form7 = std::make_unique<TForm7>(state);
    windows.Form8 = std::make_unique<TForm8>(state);
    windows.Form10 = std::make_unique<TForm10>(state);
    windows.Form9 = std::make_unique<TForm9>(state);
    windows.Form11 = std::make_unique<TForm11>(state);
    windows.AboutBox = std::make_unique<TAboutBox>(state);
    windows.Form12 = std::make_unique<TForm12>(state);
    windows.Form13 = std::make_unique<TForm13>(state);
    return true;
}

int Program::Run(const std::string& pictureFile) {
    windows.Form1->show();
    if (!pictureFile.empty()) {
        QTimer::singleShot(500, windows.Form1.get(), [this, pictureFile] {
            windows.Form1->grab().save(QString::fromStdString(pictureFile), "PNG");
            windows.Form1->close();
        });
    }
    int code = QApplication::exec();
    state.Device.Unload();
    return code;
}

int RunProgram(const std::string& pictureFile) {
    Program program;
    if (!program.Create()) return 1;
    return program.Run(pictureFile);
}

} // namespace console

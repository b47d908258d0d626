#include "app/Program.h"

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTimer>

#include "console/BatchLoop.h"
#include "console/ContextHelp.h"
#include "exchange/ExchangeJob.h"
#include "exchange/JobSide.h"
#include "platform/ui/Ui.h"

namespace app {

using namespace console;

Program::~Program() {
    // The job side outlives the windows it was pointed at.
    exchange::Side().Main = {};
    // Reverse order of creation.
    windows.JournalDialog = nullptr;
    windows.JournalOptionsDialog = nullptr;
    windows.Form13.reset();
    windows.Form12.reset();
    windows.AboutBox.reset();
    windows.Form11.reset();
    windows.Form9.reset();
    windows.Form10.reset();
    windows.Form8.reset();
    windows.Form7.reset();
    windows.Form6.reset();
    windows.Form5.reset();
    windows.Form4.reset();
    windows.Form1.reset();
}

void Program::ConnectExchange() {
    TForm1* form = windows.Form1.get();
    exchange::MainWindowHooks& main = exchange::Side().Main;
    main.OpenDialog1 = &form->OpenDialog1;
    main.SaveDialog1 = &form->SaveDialog1;
    main.ModemLinkUp = [form] { return form->ModemSessionOpen(); };
    main.ModemDisconnect = [form] { form->ModemDisconnectExecute(); };
    main.Repaint = [form] { form->repaint(); };
    main.GoodsBarMaximum = [form](int32_t maximum) { form->GoodsProgress().SetMaximum(maximum); };
    main.AppendMemo2 = [form](const std::string& line) {
        form->Memo2->appendPlainText(QString::fromStdString(line));
    };
    state.RunExchangeJob = exchange::RunExchangeJob;
}

bool Program::Create() {
    platform::SetApplicationTitle("ZRV-Q710");
    platform::SetApplicationHelpFile(platform::ProgramFile(HelpFileName));
    windows.Form1 = std::make_unique<TForm1>(state, windows);
    if (!windows.Form1->FormCreate()) return false;
    windows.Form4 = std::make_unique<exchange::TForm4>(state);
    windows.Form5 = std::make_unique<exchange::TForm5>(state);
    windows.Form6 = std::make_unique<TForm6>(state);
    windows.Form7 = std::make_unique<TForm7>(state);
    windows.Form8 = std::make_unique<exchange::TForm8>(state);
    windows.Form10 = std::make_unique<TForm10>(state);
    windows.Form9 = std::make_unique<TForm9>(state);
    windows.Form11 = std::make_unique<TForm11>(state);
    windows.AboutBox = std::make_unique<TAboutBox>(state);
    windows.Form12 = std::make_unique<exchange::TForm12>(state);
    windows.Form13 = std::make_unique<exchange::TForm13>(state);
    windows.JournalOptionsDialog = windows.Form12.get();
    windows.JournalDialog = windows.Form13.get();
    ConnectExchange();
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

} // namespace app

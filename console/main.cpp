// Q710b: the register console.
#include <QApplication>
#include <string>

#include "console/Program.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // "--grab FILE": save a picture of the main window and close it.
    std::string pictureFile;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--grab") pictureFile = argv[i + 1];
    return console::RunProgram(pictureFile);
}

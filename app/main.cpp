#include "debuglog.h"
#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QPointer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SetUpFolders(QCoreApplication::applicationFilePath());
    if (HasDebugOption(QCoreApplication::arguments()))
        OpenDebugLogFile();

    // The window deletes itself when closed, and its destructor stores the settings.
    QPointer<MainWindow> window = new MainWindow;
    window->show();
    const int exitCode = app.exec();
    delete window; // still alive if the loop ended without a close, e.g. at logout

    DebugLogClose();
    return exitCode;
}

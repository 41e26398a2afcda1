#include "debuglog.h"
#include "mainwindow.h"
#include "startup.h"
#include "termination.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationVersion(QStringLiteral(BLINKDASH_VERSION));
    if (const std::optional<int> answered = AnswerCommandLine(argc, argv))
        return *answered;
    HoldMessagesUntilDisplay();
    QApplication app(argc, argv);
    StartedOnDisplay();
    // A dock matches the window to the menu entry by these.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.flinkprobe.Flinkprobe"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/example.flinkprobe.Flinkprobe.svg")));
    SetUpFolders(QCoreApplication::applicationFilePath());
    if (HasDebugOption(QCoreApplication::arguments()))
        OpenDebugLogFile();

    // Logout, shutdown and Ctrl+C close the program as its window does, so nothing is lost. Every
    // event loop ends, a message's too: quit() would ask the windows first, and a run they stop could
    // raise a message that waits for a person who has logged out.
    bool terminated = false;
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::Received, &app, [&terminated] {
        terminated = true;
        QCoreApplication::exit(0);
    });

    // The window deletes itself when closed, and its destructor ends a run and stores everything.
    QPointer<MainWindow> window = new MainWindow;
    int exitCode = 0;
    if (!terminated) { // a signal during start-up (an error box) came before the loop
        window->show();
        exitCode = app.exec();
    }
    delete window; // still alive if the loop ended without a close: a signal, or the session's end

    DebugLogClose();
    return exitCode;
}

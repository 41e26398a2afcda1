#include "startup.h"

#include "debuglog.h"
#include "folders.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QMutex>

#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace {

QMutex heldLock;
QtMessageHandler passOn = nullptr;
QList<std::tuple<QtMsgType, QByteArray, QString>> held; // type, category, message

QByteArray DisplayVariable(const char *name)
{
    const QByteArray value = qgetenv(name);
    return name + (value.isEmpty() ? QByteArray(" not set") : ' ' + value);
}

void HoldMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) { // nothing is open or unsaved yet; Qt would abort
        std::fprintf(stderr, "blinkdash: no display to open the window on (%s, %s)\n",
            DisplayVariable("DISPLAY").constData(), DisplayVariable("WAYLAND_DISPLAY").constData());
        std::fflush(stderr);
        std::_Exit(1);
    }
    const QMutexLocker locker(&heldLock);
    held.append({type, context.category, message});
}

} // namespace

void SetUpFolders(const QString &programFilePath)
{
    InitFolders(programFilePath);
    SetFolder(DataFolder, ChooseDataFolder());
    SetFolder(ExportFolder, UserFilesFolder()); // not /usr/bin, where saving would fail
}

bool HasDebugOption(const QStringList &arguments)
{
    return arguments.mid(1).contains(QStringLiteral("-d"));
}

QString DebugLogPath()
{
    // An installed program's folder is a system folder the user cannot write; there "-d" would
    // silently log nothing, so the log goes to the data folder instead.
    const QString name = QStringLiteral("blinkdash.dbg");
    QFile beside(DataPath(name, ProgramFolder));
    return beside.open(QIODevice::Append) ? beside.fileName() : DataPath(name, DataFolder);
}

void OpenDebugLogFile()
{
    DebugLogOpen(DebugLogToFile, QFile::encodeName(DebugLogPath()).constData(), nullptr);
}

std::optional<int> AnswerCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    // One dash before a word too: Qt's own options (-platform, -stylesheet) are no letters run together.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("Flinkprobe: measures simple reaction time to a light signal.\n"
                                                    "Qt's options, such as -platform NAME, are taken too."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    parser.addOptions({help, version});
    parser.addOption({QStringLiteral("d"), QStringLiteral("Append a trace of every run to blinkdash.dbg.")});
    parser.parse(arguments); // an option it does not know is Qt's
    if (!parser.isSet(help) && !parser.isSet(version))
        return std::nullopt;
    const QCoreApplication app(argc, argv); // for the program's name
    const QString text = parser.isSet(version)
        ? QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion())
        : parser.helpText();
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

void HoldMessagesUntilDisplay()
{
    passOn = qInstallMessageHandler(HoldMessage);
}

void StartedOnDisplay()
{
    qInstallMessageHandler(passOn);
    const QMutexLocker locker(&heldLock);
    for (const auto &[type, category, message] : std::exchange(held, {}))
        passOn(type, QMessageLogContext(nullptr, 0, nullptr, category.isEmpty() ? nullptr : category.constData()),
            message);
}

#include "startup.h"

#include "debuglog.h"
#include "folders.h"

#include <QFile>

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

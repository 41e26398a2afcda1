#include "startup.h"

#include "debuglog.h"
#include "folders.h"

#include <QFile>

void SetUpFolders(const QString &programFilePath)
{
    InitFolders(programFilePath);
    SetFolder(DataFolder, ChooseDataFolder());
}

bool HasDebugOption(const QStringList &arguments)
{
    return arguments.mid(1).contains(QStringLiteral("-d"));
}

void OpenDebugLogFile()
{
    const QByteArray path = QFile::encodeName(DataPath(QStringLiteral("blinkdash.dbg"), ProgramFolder));
    DebugLogOpen(DebugLogToFile, path.constData(), nullptr);
}

#include "folders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

void FolderTable::Init(const QString &programPath)
{
    const QString folder = NormalizedFolder(QFileInfo(programPath).absolutePath());
    for (int kind = 1; kind <= KindCount; ++kind)
        folders[kind] = folder;
}

void FolderTable::Set(int kind, const QString &folder)
{
    if (kind < 1 || kind > KindCount)
        return;
    folders[kind] = NormalizedFolder(folder);
}

QString FolderTable::Path(int kind) const
{
    if (kind < 1 || kind > KindCount)
        return {};
    return folders[kind];
}

namespace {

FolderTable &Folders()
{
    static FolderTable table;
    return table;
}

} // namespace

void InitFolders(const QString &programPath)
{
    Folders().Init(programPath);
}

void SetFolder(int kind, const QString &folder)
{
    Folders().Set(kind, folder);
}

QString FolderPath(int kind)
{
    return Folders().Path(kind);
}

QString DataPath(const QString &fileName, int kind)
{
    return FolderPath(kind) + fileName;
}

QString NormalizedFolder(const QString &folder)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder;
    return folder + QLatin1Char('/');
}

QString GetSpecialFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {};
    return folder;
}

QString UserFilesFolder()
{
    // An installed program (its data in ../share/blinkdash) never offers its own folder: root may
    // write /usr/bin, but nobody's exports belong there.
    const QString program = FolderPath(ProgramFolder);
    const bool installed = QFileInfo(program + QStringLiteral("../share/blinkdash")).isDir();
    if (!installed && QFileInfo(program).isWritable())
        return program;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return NormalizedFolder(QFileInfo(documents).isDir() ? documents : QDir::homePath());
}

QString ChooseDataFolder()
{
    const QString special = GetSpecialFolder();
    return special.isEmpty() ? QDir::homePath() : special;
}

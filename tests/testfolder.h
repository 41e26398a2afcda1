#pragma once

// Each test's own data folder, a temporary one, so that no test touches the user's files: the
// settings, the high scores, the debug log and exports go there, and the current directory too.

#include "debuglog.h"
#include "folders.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

struct TestFolder
{
    TestFolder()
    {
        SetFolder(ProgramFolder, dir.path());
        SetFolder(DataFolder, dir.path());
        SetFolder(ExportFolder, dir.path());
        QDir::setCurrent(dir.path()); // a relative sound name finds nothing here
        DebugLogOpen(DebugLogToFile | DebugLogTruncate, QFile::encodeName(Path("log")).constData(), nullptr);
    }
    ~TestFolder() { DebugLogClose(); }

    QString Path(const QString &name = {}) const { return name.isEmpty() ? dir.path() : dir.filePath(name); }
    QByteArray Read(const QString &name) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }
    bool Write(const QString &name, const QByteArray &content) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }
    QStringList LogLines() const { return QString::fromLatin1(Read("log")).split('\n', Qt::SkipEmptyParts); }

    QTemporaryDir dir;
};

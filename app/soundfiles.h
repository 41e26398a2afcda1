#pragma once

#include <QString>
#include <QStringList>

// Where a relative sound name is looked for, in order: the current directory, the program's
// folder, and the data folder of an installed program.
QStringList SoundSearchFolders();

// The first existing file for name: an absolute name as it is, a relative one in the folders
// given. Empty when there is none.
QString ResolveSoundFile(const QString &name, const QStringList &folders);

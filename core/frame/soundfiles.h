#pragma once

#include <QString>
#include <QStringList>

// Where a relative sound name is looked for, in order: the current directory, the program's
// folder, and the data folder of an installed program.
QStringList SoundSearchFolders();

// The first existing file for name: an absolute name as it is, a relative one in the folders
// given. Empty when there is none.
QString ResolveSoundFile(const QString &name, const QStringList &folders);

// Whether path holds a whole WAV file: a RIFF/WAVE header, a "fmt " chunk, and a "data" chunk that
// the file holds to its declared end. Qt's decoder waits forever for the rest of a cut file, and
// the program would then hang when it lets go of the sound.
bool IsWholeWavFile(const QString &path);

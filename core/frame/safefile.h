#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with content as a whole, or leaves it as it was. Every write, the flush
// and the sync are checked before the new file takes the old one's place: on a full disk the failure
// shows there, and QSaveFile::commit() would replace the old file with an empty one all the same.
// A device, a pipe, and any file named through /dev or /proc (/dev/stdout) are written directly.
// False, with the system's reason, when the content was not written whole.
bool WriteFileWhole(const QString &path, const QByteArray &content, QString *reason = nullptr);

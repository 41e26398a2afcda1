#pragma once

#include <QString>
#include <QStringList>

// Fills the folder table: every folder is the program's, the data folder the user's.
void SetUpFolders(const QString &programFilePath);

// "-d", matched exactly, anywhere after the program name.
bool HasDebugOption(const QStringList &arguments);

// Where the debug log "blinkdash.dbg" goes: next to the program, or in the data folder when the
// program's folder cannot be written.
QString DebugLogPath();

// Opens the debug log there, appending.
void OpenDebugLogFile();

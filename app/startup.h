#pragma once

#include <QString>
#include <QStringList>

// Fills the folder table: every folder is the program's, the data folder the user's.
void SetUpFolders(const QString &programFilePath);

// "-d", matched exactly, anywhere after the program name.
bool HasDebugOption(const QStringList &arguments);

// Opens the debug log "blinkdash.dbg" in the program folder, appending.
void OpenDebugLogFile();

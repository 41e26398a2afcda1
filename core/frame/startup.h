#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Fills the folder table: every folder is the program's, the data folder the user's.
void SetUpFolders(const QString &programFilePath);

// "-d", matched exactly, anywhere after the program name.
bool HasDebugOption(const QStringList &arguments);

// Where the debug log "blinkdash.dbg" goes: next to the program, or in the data folder when the
// program's folder cannot be written.
QString DebugLogPath();

// Opens the debug log there, appending.
void OpenDebugLogFile();

// --help and --version, answered on standard output before any window is made, so also without a
// display: the exit code, or nothing when the program is to start. Other arguments are left to Qt
// (-platform, -style ...) and, for -d, to HasDebugOption.
std::optional<int> AnswerCommandLine(int argc, char *argv[]);

// Qt aborts (status 134) when it reaches no display. From here until StartedOnDisplay() Qt's
// messages are held back; a fatal one ends the program with one line on standard error, that
// there is no display, and status 1.
void HoldMessagesUntilDisplay();
void StartedOnDisplay(); // passes on what was held back

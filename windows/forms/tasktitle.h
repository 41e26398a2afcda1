#pragma once

#include "task.h"

#include <QString>
#include <QStringList>

// The tasks "Einstellungen" offers, in its order, by their stored names (task.h).
QStringList OfferedTasks();

// A task's German title: "Einfach", "PVT (10 min)", "Wahl: 2 Orte", "Go/No-Go"; a go share other
// than the offered 75 % is named ("Go/No-Go (80 % Go)"), as a hand-edited file may set it.
QString TaskTitle(const Task &task);

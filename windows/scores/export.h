#pragma once

#include <QList>
#include <QString>

// Writes a run's times, one per line, replacing the file as a whole: on failure, with its reason, no
// file is left behind and an existing one keeps its content.
bool ExportTimes(const QString &path, const QList<int> &times, QString *reason = nullptr);

#pragma once

#include "journal.h"

#include <QByteArray>

// The runs as CSV that spreadsheets, R and pandas read without options: UTF-8, a header line, one
// row per trial with its run's columns repeated (a run without trials gets one row), RFC 4180
// quoting, CR LF line ends, ISO 8601 dates with their offset, a decimal point; empty where there is
// no value.
QByteArray JournalCsv(const QList<RunRecord> &runs);

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One high-score entry: a person's name or short sign and a run's result in milliseconds.
struct HighscoreEntry
{
    QString name;
    int time = 0;

    friend bool operator==(const HighscoreEntry &a, const HighscoreEntry &b)
    {
        return a.time == b.time && a.name == b.name;
    }
};

// The high-score file: one "time name" line per entry, fastest first. Free of any file or window,
// so that tests and the fuzzer can feed it bytes.

// The file keeps this many entries; the list in memory has no limit.
constexpr int HighscoreFileEntries = 20;

// Reads a whole file, forgiving hand edits: blank lines, CR LF, runs of blanks and tabs, a time that
// is no number (read as 0), a line without a name, a last line without line end. A line shorter than
// two characters is skipped; a NUL ends a line. Names are UTF-8, or Latin-1 where a line is not valid
// UTF-8 (older files). The result is sorted, fastest first.
QList<HighscoreEntry> ParseHighscores(const QByteArray &content);

// One line as ParseHighscores reads it; false when the line is skipped.
bool ParseHighscoreLine(QByteArray line, HighscoreEntry &entry);

// The file's content for the first HighscoreFileEntries entries, names in UTF-8. Line breaks in a name
// become blanks, so that a name can never make a line of its own.
QByteArray FormatHighscores(const QList<HighscoreEntry> &entries);

// Sorts fastest first; equal times keep their order, so an earlier entry stays ahead.
void SortHighscores(QList<HighscoreEntry> &entries);

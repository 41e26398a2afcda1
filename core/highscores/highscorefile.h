#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class QIODevice;

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

// Only the start of a line counts; the rest of a longer one is passed over, so that no file, however
// it is made, takes more memory than a few such lines.
constexpr int HighscoreLineMax = 64 * 1024;

// Reads a high-score file in one pass, in pieces of any size, keeping only the fastest
// HighscoreFileEntries entries: a huge file loads quickly and in little memory. It forgives hand
// edits: blank lines, CR LF, runs of blanks and tabs, a line without a name, a last line without line
// end, any order. A line is skipped when it is shorter than two characters or when its first field is
// not a whole number above 0 in digits alone (a comment, a signed time, binary junk), so that junk never ranks
// above a real result. A NUL ends a line. Names are UTF-8, or Latin-1 where a line is not valid UTF-8
// (older files).
class HighscoreReader
{
public:
    void Feed(QByteArrayView bytes);
    // The entries kept, fastest first; equal times in the order of the file.
    QList<HighscoreEntry> Finish();

private:
    void AddLine(QByteArrayView line);

    QByteArray partial; // the start of a line whose end has not come yet
    QList<HighscoreEntry> fastest;
};

QList<HighscoreEntry> ReadHighscores(QIODevice &device);
QList<HighscoreEntry> ParseHighscores(const QByteArray &content);

// One line as the reader takes it; false when the line is skipped.
bool ParseHighscoreLine(QByteArrayView line, HighscoreEntry &entry);

// The file's content for the first HighscoreFileEntries entries, names in UTF-8. Line breaks in a name
// become blanks, so that a name can never make a line of its own.
QByteArray FormatHighscores(const QList<HighscoreEntry> &entries);

// Sorts fastest first; equal times keep their order, so an earlier entry stays ahead.
void SortHighscores(QList<HighscoreEntry> &entries);

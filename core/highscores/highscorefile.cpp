#include "highscorefile.h"

#include <QIODevice>
#include <QStringDecoder>

#include <algorithm>
#include <climits>
#include <utility>

namespace {

QString DecodeLine(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

bool Faster(const HighscoreEntry &a, const HighscoreEntry &b)
{
    return a.time < b.time;
}

bool IsAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsAscii(char c)
{
    return static_cast<unsigned char>(c) < 0x80;
}

// What the bytes alone tell of a line's time, so that most lines of a long file need no decoding:
// -1 when the line is certainly skipped, 0 when only the decoded text can tell (a byte beyond ASCII,
// which may be a blank of another script, next to the number), else the time.
qint64 QuickTime(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && IsAsciiSpace(line[i]))
        ++i;
    qint64 time = 0;
    const qsizetype digits = i;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        time = qMin<qint64>(time * 10 + (line[i] - '0'), qint64 {INT_MAX} + 1);
    if (i < line.size() && !IsAscii(line[i]))
        return 0;
    if (i == digits || (i < line.size() && !IsAsciiSpace(line[i])))
        return -1; // the first field is no number
    return time > 0 && time <= INT_MAX ? time : -1;
}

} // namespace

bool ParseHighscoreLine(QByteArrayView line, HighscoreEntry &entry)
{
    if (const qsizetype nul = line.indexOf('\0'); nul >= 0)
        line.truncate(nul);
    const QString text = DecodeLine(line).simplified();
    if (text.size() < 2)
        return false;

    const qsizetype space = text.indexOf(QLatin1Char(' '));
    bool ok = false;
    const QStringView first = space < 0 ? QStringView(text) : QStringView(text).left(space);
    entry.time = first.toInt(&ok, 10);
    if (!ok || entry.time <= 0 || !first.front().isDigit()) // a sign is no time: "+3" would rank first
        return false;
    // The name is the rest of the line, so that names of several words survive.
    entry.name = space < 0 ? QString() : text.mid(space + 1);
    return true;
}

void HighscoreReader::Feed(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
        const qsizetype room = HighscoreLineMax - partial.size();
        if (end >= 0 && partial.isEmpty()) {
            AddLine(piece.first(qMin(piece.size(), room))); // the common case: a whole line, not copied
        } else {
            partial.append(piece.first(qMin(piece.size(), room)));
            if (end >= 0) {
                AddLine(partial);
                partial.clear();
            }
        }
        bytes = end < 0 ? QByteArrayView() : bytes.sliced(end + 1);
    }
}

QList<HighscoreEntry> HighscoreReader::Finish()
{
    if (!partial.isEmpty())
        AddLine(partial);
    partial.clear();
    return std::exchange(fastest, {});
}

void HighscoreReader::AddLine(QByteArrayView line)
{
    if (const qsizetype nul = line.indexOf('\0'); nul >= 0)
        line.truncate(nul);
    const qint64 quick = QuickTime(line);
    const bool full = fastest.size() >= HighscoreFileEntries;
    if (quick < 0 || (quick > 0 && full && quick >= fastest.last().time))
        return;
    HighscoreEntry entry;
    if (!ParseHighscoreLine(line, entry))
        return;
    const auto place = std::upper_bound(fastest.begin(), fastest.end(), entry, Faster);
    if (full && place == fastest.end())
        return;
    fastest.insert(place, entry);
    if (fastest.size() > HighscoreFileEntries)
        fastest.removeLast();
}

QList<HighscoreEntry> ReadHighscores(QIODevice &device)
{
    HighscoreReader reader;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 n; (n = device.read(chunk.data(), chunk.size())) > 0;)
        reader.Feed(QByteArrayView(chunk.constData(), n));
    return reader.Finish();
}

QList<HighscoreEntry> ParseHighscores(const QByteArray &content)
{
    HighscoreReader reader;
    reader.Feed(content);
    return reader.Finish();
}

QByteArray FormatHighscores(const QList<HighscoreEntry> &entries)
{
    QByteArray content;
    for (const HighscoreEntry &entry : entries.mid(0, HighscoreFileEntries)) {
        QString name = entry.name;
        name.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        name.replace(QChar(u'\0'), QLatin1Char(' '));
        content += QByteArray::number(entry.time) + ' ' + name.toUtf8() + '\n';
    }
    return content;
}

void SortHighscores(QList<HighscoreEntry> &entries)
{
    std::stable_sort(entries.begin(), entries.end(), Faster);
}

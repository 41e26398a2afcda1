#include "highscorefile.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

QString DecodeLine(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

bool Faster(const HighscoreEntry &a, const HighscoreEntry &b)
{
    return a.time < b.time;
}

} // namespace

bool ParseHighscoreLine(QByteArray line, HighscoreEntry &entry)
{
    const qsizetype nul = line.indexOf('\0');
    if (nul >= 0)
        line.truncate(nul);
    const QString text = DecodeLine(line).simplified();
    if (text.size() < 2)
        return false;

    const qsizetype space = text.indexOf(QLatin1Char(' '));
    bool ok = false;
    const QStringView time = space < 0 ? QStringView(text) : QStringView(text).left(space);
    entry.time = time.toInt(&ok, 10);
    if (!ok)
        entry.time = 0;
    // The name is the rest of the line, so that names of several words survive.
    entry.name = space < 0 ? QString() : text.mid(space + 1);
    return true;
}

QList<HighscoreEntry> ParseHighscores(const QByteArray &content)
{
    QList<HighscoreEntry> entries;
    for (const QByteArray &line : content.split('\n')) {
        HighscoreEntry entry;
        if (ParseHighscoreLine(line, entry))
            entries.append(entry);
    }
    SortHighscores(entries);
    return entries;
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

// libFuzzer target: any bytes as a high-score file must load the same fastest entries as reading
// every line on its own would, never rank a line without a time above 0, and, written and read
// again, come back unchanged.

#include "highscorefile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<HighscoreEntry> entries = ParseHighscores(content);
    if (entries.size() > HighscoreFileEntries)
        std::abort();
    for (const HighscoreEntry &entry : entries)
        if (entry.time <= 0 || entry.name != entry.name.simplified())
            std::abort();

    // Every line alone, all kept, sorted: the reader's shortcuts must not change which come first.
    QList<HighscoreEntry> each;
    for (const QByteArray &line : content.split('\n')) {
        HighscoreEntry entry;
        if (ParseHighscoreLine(line.left(HighscoreLineMax), entry))
            each.append(entry);
    }
    SortHighscores(each);
    if (each.mid(0, HighscoreFileEntries) != entries)
        std::abort();

    // A one-digit time without a name is a line of one character when read back, which the reader
    // skips, as it skips such lines anywhere.
    QList<HighscoreEntry> kept = entries;
    kept.removeIf([](const HighscoreEntry &e) { return e.name.isEmpty() && e.time <= 9; });
    if (ParseHighscores(FormatHighscores(entries)) != kept)
        std::abort();
    return 0;
}

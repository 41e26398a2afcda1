// libFuzzer target: any bytes as a high-score file must load into a sorted list that, written and
// read again, comes back unchanged (for the entries the file keeps).

#include "highscorefile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<HighscoreEntry> entries = ParseHighscores(content);
    for (qsizetype i = 1; i < entries.size(); ++i)
        if (entries.at(i - 1).time > entries.at(i).time)
            std::abort();
    for (const HighscoreEntry &entry : entries)
        if (entry.name != entry.name.simplified())
            std::abort();
    // A one-digit time without a name is a line of one character when read back, which the loader
    // skips, as it skips such lines anywhere.
    QList<HighscoreEntry> kept = entries.mid(0, HighscoreFileEntries);
    kept.removeIf([](const HighscoreEntry &e) { return e.name.isEmpty() && e.time >= 0 && e.time <= 9; });
    if (ParseHighscores(FormatHighscores(entries)) != kept)
        std::abort();
    return 0;
}

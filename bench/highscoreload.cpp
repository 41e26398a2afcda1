// How long the program takes to start on a huge high-score file, and how much memory that takes:
// writes files of the given size (default 100 MB), one with entries in random order and some junk,
// one slowest first (every line a new fastest, the reader's worst case), loads each as the program
// does at start, and prints the figures.
//   build/bench/blinkdash-highscore-load [MEGABYTES]

#include "highscorefile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>

namespace {

double PeakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Writes lines from next() until the file has the size; returns the number of lines.
qint64 WriteFile(QFile &file, qint64 bytes, const std::function<QByteArray(qint64)> &next)
{
    qint64 lines = 0;
    QByteArray block;
    while (file.size() + block.size() < bytes) {
        block += next(lines++);
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    file.close();
    return lines;
}

void Measure(const char *what, QFile &file, qint64 lines)
{
    QElapsedTimer clock;
    clock.start();
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<HighscoreEntry> entries = ReadHighscores(file);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("%-22s %5.0f MB, %9lld lines: %6.2f s, %6.0f MB/s; %lld entries kept, fastest %d ms\n", what,
        static_cast<double>(file.size()) / 1e6, static_cast<long long>(lines), seconds,
        static_cast<double>(file.size()) / 1e6 / seconds, static_cast<long long>(entries.size()),
        entries.isEmpty() ? 0 : entries.first().time);
    file.close();
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 bytes = (argc > 1 ? std::atoll(argv[1]) : 100) * 1000 * 1000;
    QTemporaryDir dir;
    QRandomGenerator random(42);

    QFile shuffled(dir.filePath("random.txt"));
    if (!shuffled.open(QIODevice::WriteOnly))
        return 1;
    const qint64 shuffledLines = WriteFile(shuffled, bytes, [&](qint64) {
        const quint32 draw = random.bounded(1000u);
        return draw < 5
            ? QByteArray("# junk line \xc3\x9c"
                         "n\xc3\xaf"
                         "c\xc3\xb6"
                         "d\xc3\xa9\n")
            : QByteArray::number(150 + random.bounded(900000)) + " Person_" + QByteArray::number(draw) + '\n';
    });
    Measure("random order, junk:", shuffled, shuffledLines);
    shuffled.remove();

    QFile descending(dir.filePath("descending.txt"));
    if (!descending.open(QIODevice::WriteOnly))
        return 1;
    const qint64 descendingLines = WriteFile(descending, bytes, [](qint64 line) {
        return QByteArray::number(2000000000 - line)
            + " J\xfc"
              "rgen_"
            + QByteArray::number(line % 1000) + '\n';
    });
    Measure("slowest first, Latin-1:", descending, descendingLines);

    std::printf("peak memory of the whole process (files written in 1 MB blocks): %.1f MB\n", PeakMegabytes());
    return 0;
}

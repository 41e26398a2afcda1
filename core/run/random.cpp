#include "random.h"

#include <QTime>

namespace {

quint32 state = 1;

} // namespace

void SeedRandom()
{
    SeedRandom(static_cast<quint32>(QTime::currentTime().msec()));
}

void SeedRandom(quint32 seed)
{
    state = seed;
}

int NextRandom15()
{
    // The classic C-library linear congruential generator; unsigned arithmetic wraps by design.
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

qint64 ScaleRandom(qint64 n, int r)
{
    return n * r / 32767;
}

qint64 RandomUpTo(qint64 n)
{
    return ScaleRandom(n, NextRandom15());
}

int RandomBelow(int n)
{
    return NextRandom15() * n / 32768;
}

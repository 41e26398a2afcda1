#pragma once

#include <QtGlobal>

// The random numbers of a run (waits, warning leads, signal positions) come from one small
// 15-bit generator, so that every platform draws the same 0..32767 values for the same seed.

// Seeds from the millisecond part of the current time; called once at every run start.
void SeedRandom();
void SeedRandom(quint32 seed);

// The next raw value, 0..32767.
int NextRandom15();

// n * r / 32767, truncated toward zero: 0..n for r in 0..32767 (n..0 for a negative n), n only
// for r = 32767. Computed in 64 bits, so any |n| up to 2^47 is safe.
qint64 ScaleRandom(qint64 n, int r);

// ScaleRandom(n, NextRandom15()).
qint64 RandomUpTo(qint64 n);

// 0..n-1, each as often as the 15 bits allow (exactly so for a power of two).
int RandomBelow(int n);

// What the timing robots share: the figures of their errors, and the times the program exported.

#pragma once

#include <chrono>
#include <cmath>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

inline double Mean(const std::vector<double> &v)
{
    double sum = 0;
    for (const double x : v)
        sum += x;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

inline double Sd(const std::vector<double> &v)
{
    const double m = Mean(v);
    double sum = 0;
    for (const double x : v)
        sum += (x - m) * (x - m);
    return v.size() < 2 ? 0 : std::sqrt(sum / static_cast<double>(v.size() - 1));
}

// The times "Ergebnisse Speichern" wrote to path, once the file holds any (at most 10 s).
inline std::vector<int> ExportedTimes(const std::string &path)
{
    std::vector<int> reported;
    for (int i = 0; i < 100 && reported.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::ifstream file(path);
        for (int ms; file >> ms;)
            reported.push_back(ms);
    }
    return reported;
}

// Synthesises the program's default sound, a short bell-like "ding", as a 16-bit mono WAV file.
// The output is the same byte for byte on every build, so it can be checked.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int SampleRate = 44100;
constexpr double Seconds = 0.35;
constexpr double Pi = 3.14159265358979323846;

void PutLE(std::vector<unsigned char> &out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xFF));
}

void PutTag(std::vector<unsigned char> &out, const char *tag)
{
    out.insert(out.end(), tag, tag + 4);
}

std::vector<int16_t> Samples()
{
    const int count = static_cast<int>(SampleRate * Seconds);
    std::vector<int16_t> samples(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        const double attack = std::fmin(1.0, t / 0.004); // no click at the start
        const double decay = std::exp(-t * 12.0);
        const double tone = 0.75 * std::sin(2 * Pi * 1320.0 * t) + 0.25 * std::sin(2 * Pi * 2640.0 * t);
        samples[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(tone * attack * decay * 0.6 * 32767.0));
    }
    return samples;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const std::vector<int16_t> samples = Samples();
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);

    std::vector<unsigned char> wav;
    PutTag(wav, "RIFF");
    PutLE(wav, 36 + dataBytes, 4);
    PutTag(wav, "WAVE");
    PutTag(wav, "fmt ");
    PutLE(wav, 16, 4); // size of the format chunk
    PutLE(wav, 1, 2);  // PCM
    PutLE(wav, 1, 2);  // mono
    PutLE(wav, SampleRate, 4);
    PutLE(wav, SampleRate * 2, 4); // bytes per second
    PutLE(wav, 2, 2);              // bytes per frame
    PutLE(wav, 16, 2);             // bits per sample
    PutTag(wav, "data");
    PutLE(wav, dataBytes, 4);
    for (int16_t sample : samples)
        PutLE(wav, static_cast<uint16_t>(sample), 2);

    FILE *file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(wav.data(), 1, wav.size(), file) == wav.size();
    if (std::fclose(file) != 0 || !ok) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}

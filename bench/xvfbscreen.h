#pragma once

// Xvfb's screen as it keeps it (-fbdir): an XWD file, mapped so that every read sees the server's
// pixels the moment it drew them. The timing robot and the real-display tests read it.

#include <X11/XWDFile.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

class XvfbScreen
{
public:
    explicit XvfbScreen(const std::string &path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY);
        struct stat info
        {
        };
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        size = static_cast<size_t>(info.st_size);
        void *mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        if (mapped == MAP_FAILED || size < sizeof(XWDFileHeader))
            return;
        base = static_cast<const uint8_t *>(mapped);
        XWDFileHeader header;
        std::memcpy(&header, base, sizeof header);
        const auto field = [](CARD32 v) { return ntohl(v); };
        width = static_cast<int>(field(header.pixmap_width));
        height = static_cast<int>(field(header.pixmap_height));
        stride = field(header.bytes_per_line);
        pixels = base + field(header.header_size) + field(header.ncolors) * sizeof(XWDColor);
        if (field(header.bits_per_pixel) != 32 || pixels + static_cast<size_t>(stride) * height > base + size)
            pixels = nullptr; // only 24-bit colour, 32 bits a pixel, is read
    }
    ~XvfbScreen()
    {
        if (base)
            ::munmap(const_cast<uint8_t *>(base), size);
    }
    XvfbScreen(const XvfbScreen &) = delete;
    XvfbScreen &operator=(const XvfbScreen &) = delete;

    bool Valid() const { return pixels != nullptr; }

    uint32_t Pixel(int x, int y) const
    {
        uint32_t value;
        std::memcpy(&value, pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, 4);
        return value & 0xFFFFFF;
    }

    // What the screen shows on a grid finer than the disc (a 40th of the width): the yellow discs,
    // a disc being the yellow points within two disc widths of its first, and how many points show
    // anything else but black.
    struct Sight
    {
        int discs = 0;
        int x = 0, y = 0; // the first disc
        int lit = 0;
        int middleLit = 0; // of those, in the middle fifth of the height
        int centreLit = 0; // pixels but black in the square a disc wide at the centre (a ring there)
    };
    Sight Look() const
    {
        Sight sight;
        const int step = width / 120 > 2 ? width / 120 : 2;
        const int reach = width / 20;
        int xs[8], ys[8];
        for (int y = step / 2; y < height; y += step)
            for (int x = step / 2; x < width; x += step) {
                const uint32_t pixel = Pixel(x, y);
                if (pixel != 0xFFFF00) {
                    sight.lit += pixel != 0;
                    sight.middleLit += pixel != 0 && std::abs(2 * y - height) < height / 5;
                    continue;
                }
                bool known = false;
                for (int i = 0; i < sight.discs && !known; ++i)
                    known = std::abs(xs[i] - x) <= reach && std::abs(ys[i] - y) <= reach;
                if (!known && sight.discs < 8) {
                    xs[sight.discs] = x;
                    ys[sight.discs] = y;
                    ++sight.discs;
                }
            }
        if (sight.discs > 0)
            sight.x = xs[0], sight.y = ys[0];
        const int half = width / 40;
        for (int y = height / 2 - half; y < height / 2 + half; ++y)
            for (int x = width / 2 - half; x < width / 2 + half; ++x)
                sight.centreLit += Pixel(x, y) != 0;
        return sight;
    }

    int width = 0, height = 0;

private:
    const uint8_t *base = nullptr;
    const uint8_t *pixels = nullptr;
    size_t size = 0;
    uint32_t stride = 0;
};

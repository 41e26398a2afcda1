#pragma once

// A screen an X server keeps in a file (Xvfb -fbdir): an XWD image, mapped so that every read sees
// the server's pixels the moment it drew them. The box simulator's light sensor looks at it, and so
// do the timing robot and the real-display tests.

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

class XwdScreen
{
public:
    explicit XwdScreen(const std::string &path)
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
        if (mapped == MAP_FAILED) {
            size = 0;
            return;
        }
        base = static_cast<const uint8_t *>(mapped);
        // The header: big-endian 32-bit fields; the colour table (12 bytes an entry) follows it.
        constexpr size_t HeaderFields = 25;
        if (size < HeaderFields * 4)
            return;
        const auto field = [this](size_t index) {
            uint32_t value;
            std::memcpy(&value, base + index * 4, 4);
            return ntohl(value);
        };
        width = static_cast<int>(field(4));
        height = static_cast<int>(field(5));
        stride = field(12);
        const size_t offset = static_cast<size_t>(field(0)) + static_cast<size_t>(field(19)) * 12;
        // Only 24-bit colour, 32 bits a pixel, is read.
        if (field(11) == 32 && width > 0 && height > 0 && stride >= static_cast<uint32_t>(width) * 4
            && offset + static_cast<size_t>(stride) * static_cast<size_t>(height) <= size)
            pixels = base + offset;
    }
    ~XwdScreen()
    {
        if (base)
            ::munmap(const_cast<uint8_t *>(base), size);
    }
    XwdScreen(const XwdScreen &) = delete;
    XwdScreen &operator=(const XwdScreen &) = delete;

    bool Valid() const { return pixels != nullptr; }

    uint32_t Pixel(int x, int y) const // 0xRRGGBB
    {
        uint32_t value;
        std::memcpy(&value, pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, 4);
        return value & 0xFFFFFF;
    }

    int width = 0, height = 0;

private:
    const uint8_t *base = nullptr;
    const uint8_t *pixels = nullptr;
    size_t size = 0;
    uint32_t stride = 0;
};

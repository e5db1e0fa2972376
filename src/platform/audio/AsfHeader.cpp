#include "platform/audio/AsfHeader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillet {

namespace {

constexpr unsigned char kHeaderObject[16] = {0x30, 0x26, 0xb2, 0x75, 0x8e, 0x66, 0xcf, 0x11,
                                             0xa6, 0xd9, 0x00, 0xaa, 0x00, 0x62, 0xce, 0x6c};
constexpr unsigned char kFilePropertiesObject[16] = {
    0xa1, 0xdc, 0xab, 0x8c, 0x47, 0xa9, 0xcf, 0x11, 0x8e, 0xe4, 0x00, 0xc0, 0x0c, 0x20, 0x53, 0x65};
// GUID, size, file id, file size, creation date, data packets, play and send duration,
// preroll, flags.
constexpr int kPlayDurationAt = 16 + 8 + 16 + 8 + 8 + 8;
constexpr int kFilePropertiesSize = kPlayDurationAt + 8 + 8 + 8 + 4;
// A header of more objects than this is not a real one.
constexpr uint32_t kMaxObjects = 1024;

int64_t Le(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return static_cast<int64_t>(v);
}

bool ReadAt(int fd, int64_t at, void* dst, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t got =
            ::pread(fd, static_cast<char*>(dst) + done, n - done, at + static_cast<int64_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

std::optional<AsfDuration> ReadAsfDuration(int fd) {
    unsigned char header[30];
    if (!ReadAt(fd, 0, header, sizeof header) || std::memcmp(header, kHeaderObject, 16) != 0)
        return std::nullopt;
    const int64_t headerEnd = Le(header + 16, 8);
    const int64_t objects = Le(header + 24, 4);
    int64_t at = sizeof header;
    for (int64_t i = 0; i < objects && i < kMaxObjects && at + 24 <= headerEnd; ++i) {
        unsigned char object[kFilePropertiesSize];
        if (!ReadAt(fd, at, object, 24)) return std::nullopt;
        const int64_t size = Le(object + 16, 8);
        if (size < 24) return std::nullopt;
        if (std::memcmp(object, kFilePropertiesObject, 16) == 0) {
            if (size < kFilePropertiesSize || !ReadAt(fd, at, object, sizeof object))
                return std::nullopt;
            AsfDuration d;
            d.playDuration = Le(object + kPlayDurationAt, 8);
            d.prerollMs = Le(object + kPlayDurationAt + 16, 8);
            d.broadcast = (object[kPlayDurationAt + 24] & 1) != 0;
            d.fieldOffset = at + kPlayDurationAt;
            return d;
        }
        at += size;
    }
    return std::nullopt;
}

bool WriteAsfPlayDuration(int fd, const AsfDuration& where, int64_t playDuration) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(uint64_t(playDuration) >> (8 * i));
    for (size_t done = 0; done < sizeof bytes;) {
        const ssize_t n = ::pwrite(fd, bytes + done, sizeof bytes - done,
                                   where.fieldOffset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace quillet

#include "platform/audio/CheckedTagStream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace quillet {

namespace {

// What one step of moving the rest of a file holds in memory.
constexpr int64_t kMoveBytes = 1 << 20;

}  // namespace

void CheckedTagStream::Fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

int64_t CheckedTagStream::ReadAt(int64_t at, char* data, int64_t size) {
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, data + done, static_cast<size_t>(size - done), at + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(errno);
        if (n <= 0) break;
        done += n;
    }
    return done;
}

bool CheckedTagStream::WriteAt(int64_t at, const char* data, int64_t size) {
    if (error_ != 0) return false;  // after one failure the file's content is unknown
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, data + done, static_cast<size_t>(size - done), at + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : EIO);
            return false;
        }
        done += n;
    }
    return true;
}

TagLib::ByteVector CheckedTagStream::readBlock(unsigned long length) {
    TagLib::ByteVector data(static_cast<unsigned int>(length), '\0');
    const int64_t got = ReadAt(pos_, data.data(), static_cast<int64_t>(length));
    data.resize(static_cast<unsigned int>(got));
    pos_ += got;
    return data;
}

void CheckedTagStream::writeBlock(const TagLib::ByteVector& data) {
    if (WriteAt(pos_, data.data(), data.size())) pos_ += data.size();
}

void CheckedTagStream::insert(const TagLib::ByteVector& data, unsigned long start,
                              unsigned long replace) {
    const auto size = static_cast<int64_t>(data.size());
    const auto from = static_cast<int64_t>(start);
    const auto gap = static_cast<int64_t>(replace);
    if (size < gap) {
        WriteAt(from, data.data(), size);
        removeBlock(static_cast<unsigned long>(from + size),
                    static_cast<unsigned long>(gap - size));
    } else {
        // The rest moves towards the end, the last part first so nothing is overwritten unread.
        const int64_t shift = size - gap;
        std::vector<char> buffer;
        for (int64_t end = length(); shift > 0 && end > from + gap && error_ == 0;) {
            const int64_t n = std::min(kMoveBytes, end - (from + gap));
            buffer.resize(static_cast<size_t>(n));
            if (ReadAt(end - n, buffer.data(), n) != n) Fail(EIO);
            WriteAt(end - n + shift, buffer.data(), n);
            end -= n;
        }
        WriteAt(from, data.data(), size);
    }
    pos_ = from + size;
}

void CheckedTagStream::removeBlock(unsigned long start, unsigned long length) {
    if (length == 0) return;
    const int64_t end = this->length();
    int64_t readAt = static_cast<int64_t>(start + length);
    int64_t writeAt = static_cast<int64_t>(start);
    std::vector<char> buffer;
    while (readAt < end && error_ == 0) {
        const int64_t n = std::min(kMoveBytes, end - readAt);
        buffer.resize(static_cast<size_t>(n));
        if (ReadAt(readAt, buffer.data(), n) != n) Fail(EIO);
        WriteAt(writeAt, buffer.data(), n);
        readAt += n;
        writeAt += n;
    }
    truncate(static_cast<long>(writeAt));
}

void CheckedTagStream::seek(long offset, Position p) {
    switch (p) {
        case Beginning:
            pos_ = offset;
            break;
        case Current:
            pos_ += offset;
            break;
        case End:
            pos_ = length() + offset;
            break;
    }
    pos_ = std::max<int64_t>(pos_, 0);
}

long CheckedTagStream::length() {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        Fail(errno);
        return 0;
    }
    return static_cast<long>(info.st_size);
}

void CheckedTagStream::truncate(long length) {
    if (error_ != 0) return;
    if (::ftruncate(fd_, length) != 0) Fail(errno);
}

}  // namespace quillet

#include "platform/audio/PendingFileWriter.h"

#include <unistd.h>

#include <cerrno>

#include "platform/audio/FfmpegError.h"

namespace quillet {

namespace {

void WriteAll(const PendingFile& file, int64_t offset, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::pwrite(file.Handle(), data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw SystemError(QStringLiteral("write"), file.Target(), n < 0 ? errno : EIO);
        data += n;
        offset += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

void PendingFileWriter::Append(const uint8_t* data, size_t size) {
    WriteAll(file_, size_, data, size);
    size_ += static_cast<int64_t>(size);
}

void PendingFileWriter::WriteAt(int64_t offset, const std::vector<uint8_t>& bytes) {
    WriteAll(file_, offset, bytes.data(), bytes.size());
}

}  // namespace quillet

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio/PendingFile.h"

namespace quillet {

// Appends bytes to a pending file and patches bytes already written; a failure (a full disk)
// throws AudioError naming the file's target.
class PendingFileWriter {
  public:
    explicit PendingFileWriter(PendingFile& file) : file_(file) {}

    void Append(const uint8_t* data, size_t size);
    void Append(const std::vector<uint8_t>& bytes) { Append(bytes.data(), bytes.size()); }
    void WriteAt(int64_t offset, const std::vector<uint8_t>& bytes);
    int64_t Size() const { return size_; }

  private:
    PendingFile& file_;
    int64_t size_ = 0;
};

}  // namespace quillet

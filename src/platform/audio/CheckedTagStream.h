#pragma once

#include <taglib/tiostream.h>

#include <QByteArray>
#include <cstdint>

namespace quillet {

// TagLib's view of an open file that remembers the first failed read or write. TagLib's own
// file stream drops write errors, so a full disk would leave a half-written tag that reports
// success. The descriptor stays its owner's.
class CheckedTagStream : public TagLib::IOStream {
  public:
    CheckedTagStream(int fd, QByteArray name) : fd_(fd), name_(std::move(name)) {}

    // The errno of the first failure, 0 while every read and write went through.
    int Error() const { return error_; }

    TagLib::FileName name() const override { return name_.constData(); }
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector& data) override;
    void insert(const TagLib::ByteVector& data, unsigned long start = 0,
                unsigned long replace = 0) override;
    void removeBlock(unsigned long start = 0, unsigned long length = 0) override;
    bool readOnly() const override { return false; }
    bool isOpen() const override { return fd_ >= 0; }
    void seek(long offset, Position p = Beginning) override;
    long tell() const override { return static_cast<long>(pos_); }
    long length() override;
    void truncate(long length) override;

  private:
    int64_t ReadAt(int64_t at, char* data, int64_t size);
    bool WriteAt(int64_t at, const char* data, int64_t size);
    void Fail(int error);

    int fd_;
    QByteArray name_;
    int64_t pos_ = 0;
    int error_ = 0;
};

}  // namespace quillet

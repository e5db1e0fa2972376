#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace quillet {

// Reads short runs of samples of one file for drawing them one by one, on a thread of its own
// with the engine's decoder. Requests replace each other: only the newest waiting one is read.
// A file that is gone or has changed since Open gives Failed with a message and no more reads.
class SampleReader : public QObject {
    Q_OBJECT
  public:
    // The longest run one request reads: 4 MB of stereo floats.
    static constexpr int64_t kMaxFrames = 1 << 19;

    explicit SampleReader(QObject* parent = nullptr);
    ~SampleReader() override;

    // Opens the file on first request; Close (and the destructor) stop the thread and wait.
    void Open(const QString& path);
    void Close();
    // Frames [first, first + count), count at most kMaxFrames; cut at the end of the file.
    void Request(int64_t first, int64_t count);

    bool IsOpen() const { return thread_.joinable(); }
    // The run last read: interleaved samples of Channels() channels from First().
    int64_t First() const { return first_; }
    int64_t Count() const {
        return channels_ > 0 ? static_cast<int64_t>(samples_.size()) / channels_ : 0;
    }
    int Channels() const { return channels_; }
    const std::vector<float>& Samples() const { return samples_; }
    bool Covers(int64_t first, int64_t last) const {
        return Count() > 0 && first >= first_ && last <= first_ + Count();
    }

  signals:
    void Ready();
    void Failed(const QString& message);

  private:
    struct Shared;
    static void Work(const std::shared_ptr<Shared>& shared);
    void Deliver(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    int64_t first_ = 0;
    int channels_ = 0;
    std::vector<float> samples_;
};

}  // namespace quillet

#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <thread>

#include "editor/WaveformPeaks.h"

namespace quillet {

// Computes the peaks of one file on a thread of its own, decoding with the engine's decoder,
// or reads them from the peak cache when it holds this state of the file; complete peaks are
// written to the cache. The peaks arrive in order, in pieces, on the thread that owns the
// builder, which never decodes.
//
// A file that disappears or changes while it is read ends the job with Failed and a message;
// so does a file the decoder refuses. Cancel (and the destructor) stops the thread at once and
// waits for it, and no signal of the cancelled job follows.
class PeakBuilder : public QObject {
    Q_OBJECT
  public:
    explicit PeakBuilder(QObject* parent = nullptr);
    ~PeakBuilder() override;

    // The cache folder for the next Start (the XDG cache's by default).
    void SetCacheDir(const QString& dir) { cacheDir_ = dir; }

    // Starts on a file, stopping any job before. expectedFrames, when 0 or more, is the length
    // the program knows: stored peaks of another length are not used.
    void Start(const QString& path, int64_t expectedFrames = -1);
    void Cancel();

    bool IsRunning() const { return thread_.joinable(); }
    const QString& Path() const { return path_; }
    // What has arrived so far; empty until Started.
    const WaveformPeaks& Peaks() const { return peaks_; }
    bool FromCache() const { return fromCache_; }

  signals:
    // The file is open: Peaks() knows its channels, rate and length.
    void Started();
    void Progress(qint64 readyFrames, qint64 frames);
    void Finished();
    void Failed(const QString& message);

  private:
    struct Job;
    static void Work(const std::shared_ptr<Job>& job);
    static void Post(const std::shared_ptr<Job>& job);
    void Drain(const std::shared_ptr<Job>& job);
    void EndJob();

    QString cacheDir_;
    QString path_;
    std::shared_ptr<Job> job_;
    std::thread thread_;
    WaveformPeaks peaks_;
    bool fromCache_ = false;
    bool started_ = false;
};

}  // namespace quillet

#include "editor/PeakBuilder.h"

#include <QDir>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

#include "editor/PeakCache.h"
#include "platform/audio/AudioDecoder.h"

namespace quillet {

namespace {

// Frames per read: a whole number of buckets, and short enough (1.5 s at 44.1 kHz, a few ms
// of decoding) that a cancel is seen at once.
constexpr int64_t kChunkFrames = 256 * WaveformPeaks::kBaseFrames;
// How often the window's thread hears of new peaks while they are computed.
constexpr auto kPostEvery = std::chrono::milliseconds(25);

QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

QString Missing(const QString& path) {
    return QStringLiteral("The waveform cannot be shown: the file \"%1\" is not there.")
        .arg(Shown(path));
}
QString Removed(const QString& path) {
    return QStringLiteral(
               "The waveform of \"%1\" was not finished: the file was removed while it was read.")
        .arg(Shown(path));
}
QString Changed(const QString& path) {
    return QStringLiteral(
               "The waveform of \"%1\" was not finished: the file changed while it was read.")
        .arg(Shown(path));
}

// Turns interleaved samples into finest buckets: per channel the minimum, maximum and RMS of
// 256 frames (the last bucket of a file may hold fewer).
class BucketMaker {
  public:
    explicit BucketMaker(int channels)
        : channels_(channels), lo_(channels), hi_(channels), squares_(channels) {
        Reset();
    }

    void Add(const float* s, int64_t frames, std::vector<int16_t>& out) {
        while (frames > 0) {
            const int64_t take = std::min<int64_t>(WaveformPeaks::kBaseFrames - filled_, frames);
            if (filled_ == 0 && take == WaveformPeaks::kBaseFrames && kLanes % channels_ == 0)
                AddWholeBucket(s);
            else
                AddFrames(s, take);
            s += take * channels_;
            frames -= take;
            filled_ += static_cast<int>(take);
            if (filled_ == WaveformPeaks::kBaseFrames) Emit(out);
        }
    }

    void Flush(std::vector<int16_t>& out) {
        if (filled_ > 0) Emit(out);
    }

  private:
    static constexpr int kLanes = 8;
    static constexpr float kInfinity = std::numeric_limits<float>::infinity();

    // A whole bucket of 1, 2, 4 or 8 channels: eight independent lanes that the compiler can
    // keep in vector registers, each lane always holding the same channel.
    void AddWholeBucket(const float* s) {
        float lo[kLanes], hi[kLanes], sq[kLanes];
        for (int k = 0; k < kLanes; ++k) {
            lo[k] = kInfinity;
            hi[k] = -kInfinity;
            sq[k] = 0.0f;
        }
        const int count = WaveformPeaks::kBaseFrames * channels_;
        for (int i = 0; i < count; i += kLanes) {
            for (int k = 0; k < kLanes; ++k) {
                const float v = s[i + k];
                lo[k] = v < lo[k] ? v : lo[k];
                hi[k] = v > hi[k] ? v : hi[k];
                sq[k] += v * v;
            }
        }
        for (int k = 0; k < kLanes; ++k) {
            const int c = k % channels_;
            lo_[c] = std::min(lo_[c], lo[k]);
            hi_[c] = std::max(hi_[c], hi[k]);
            squares_[c] += sq[k];
        }
    }

    void AddFrames(const float* s, int64_t frames) {
        for (int c = 0; c < channels_; ++c) {
            float lo = lo_[c], hi = hi_[c], sq = squares_[c];
            for (int64_t i = 0; i < frames; ++i) {
                const float v = s[i * channels_ + c];
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
                sq += v * v;
            }
            lo_[c] = lo;
            hi_[c] = hi;
            squares_[c] = sq;
        }
    }

    void Emit(std::vector<int16_t>& out) {
        for (int c = 0; c < channels_; ++c) {
            out.push_back(WaveformPeaks::Quantise(lo_[c]));
            out.push_back(WaveformPeaks::Quantise(hi_[c]));
            out.push_back(WaveformPeaks::Quantise(std::sqrt(squares_[c] / filled_)));
        }
        Reset();
    }

    void Reset() {
        filled_ = 0;
        for (int c = 0; c < channels_; ++c) {
            lo_[c] = kInfinity;
            hi_[c] = -kInfinity;
            squares_[c] = 0.0f;
        }
    }

    int channels_;
    int filled_ = 0;
    std::vector<float> lo_, hi_, squares_;
};

}  // namespace

struct PeakBuilder::Job {
    PeakBuilder* owner = nullptr;  // lives until the thread has been joined
    QString path;
    int64_t expectedFrames = -1;
    PeakCache cache;
    std::atomic<bool> cancel{false};

    std::mutex mutex;
    // Guarded by mutex: what the thread has made, and whether a Drain is already on its way.
    bool opened = false;
    WaveformPeaks peaks;
    bool fromCache = false;
    enum class End { Running, Done, Failed } end = End::Running;
    QString message;
    bool posted = false;
};

PeakBuilder::PeakBuilder(QObject* parent) : QObject(parent), cacheDir_(PeakCache::DefaultDir()) {}

PeakBuilder::~PeakBuilder() { Cancel(); }

void PeakBuilder::Start(const QString& path, int64_t expectedFrames) {
    Cancel();
    path_ = path;
    peaks_ = WaveformPeaks();
    fromCache_ = false;
    started_ = false;
    auto job = std::make_shared<Job>();
    job->owner = this;
    job->path = path;
    job->expectedFrames = expectedFrames;
    job->cache = PeakCache(cacheDir_);
    job_ = job;
    thread_ = std::thread([job] { Work(job); });
}

void PeakBuilder::Cancel() {
    if (job_) job_->cancel = true;
    if (thread_.joinable()) thread_.join();
    // Drains of this job still queued find another job (or none) and do nothing.
    job_.reset();
}

void PeakBuilder::Post(const std::shared_ptr<Job>& job) {
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        if (job->posted) return;
        job->posted = true;
    }
    PeakBuilder* owner = job->owner;
    QMetaObject::invokeMethod(
        owner, [owner, job] { owner->Drain(job); }, Qt::QueuedConnection);
}

void PeakBuilder::Work(const std::shared_ptr<Job>& job) {
    Job& j = *job;
    const auto finish = [&](Job::End end, const QString& message) {
        {
            std::lock_guard<std::mutex> lock(j.mutex);
            j.end = end;
            j.message = message;
        }
        Post(job);
    };
    try {
        const std::optional<SourceStamp> stamp = SourceStamp::Of(j.path);
        if (!stamp) return finish(Job::End::Failed, Missing(j.path));
        if (std::optional<WaveformPeaks> stored = j.cache.Load(*stamp);
            stored && (j.expectedFrames < 0 || stored->Frames() == j.expectedFrames)) {
            {
                std::lock_guard<std::mutex> lock(j.mutex);
                j.peaks = std::move(*stored);
                j.fromCache = true;
                j.opened = true;
            }
            return finish(Job::End::Done, {});
        }

        AudioDecoder decoder(j.path);
        const int channels = decoder.Channels();
        if (channels <= 0 || channels > WaveformPeaks::kMaxChannels) {
            return finish(Job::End::Failed,
                          QStringLiteral("The waveform of \"%1\" cannot be shown: it has %2 "
                                         "channels.")
                              .arg(Shown(j.path))
                              .arg(channels));
        }
        {
            std::lock_guard<std::mutex> lock(j.mutex);
            j.peaks = WaveformPeaks(channels, decoder.SampleRate(), decoder.Length());
            j.opened = true;
        }
        Post(job);

        BucketMaker maker(channels);
        std::vector<float> samples;
        samples.reserve(static_cast<size_t>(kChunkFrames * channels));
        std::vector<int16_t> values;
        const int stride = channels * WaveformPeaks::kValues;
        const auto hand = [&] {
            std::lock_guard<std::mutex> lock(j.mutex);
            j.peaks.Append(values.data(), static_cast<int64_t>(values.size()) / stride);
        };
        auto posted = std::chrono::steady_clock::now();
        for (;;) {
            if (j.cancel) return;
            samples.clear();
            values.clear();
            const int64_t n = decoder.Read(samples, kChunkFrames);
            if (n == 0) break;
            maker.Add(samples.data(), n, values);
            const std::optional<SourceStamp> now = SourceStamp::Of(j.path);
            if (!now) return finish(Job::End::Failed, Removed(j.path));
            if (*now != *stamp) return finish(Job::End::Failed, Changed(j.path));
            hand();
            if (std::chrono::steady_clock::now() - posted >= kPostEvery) {
                Post(job);
                posted = std::chrono::steady_clock::now();
            }
        }
        values.clear();
        maker.Flush(values);
        hand();
        // Nothing else writes the peaks now, so the cache reads them without the lock.
        j.cache.Store(*stamp, j.peaks);
        finish(Job::End::Done, {});
    } catch (const std::exception& e) {
        finish(Job::End::Failed,
               QStringLiteral("The waveform cannot be shown: %1").arg(QString::fromUtf8(e.what())));
    }
}

void PeakBuilder::Drain(const std::shared_ptr<Job>& job) {
    if (job != job_) return;
    std::vector<int16_t> fresh;
    Job::End end = Job::End::Running;
    QString message;
    bool open = false;
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->posted = false;
        end = job->end;
        message = job->message;
        open = job->opened;
        if (end == Job::End::Done) {
            // Complete: take the thread's peaks over instead of copying the rest.
            peaks_ = std::move(job->peaks);
            fromCache_ = job->fromCache;
        } else if (open) {
            if (!started_)
                peaks_ = WaveformPeaks(job->peaks.Channels(), job->peaks.SampleRate(),
                                       job->peaks.Frames());
            const int64_t stride = peaks_.Channels() * WaveformPeaks::kValues;
            const std::vector<int16_t>& all = job->peaks.BaseValues();
            const auto from = all.begin() + peaks_.ReadyBuckets() * stride;
            const auto to = all.begin() + job->peaks.ReadyBuckets() * stride;
            fresh.assign(from, to);
        }
    }
    if (open && !started_) {
        started_ = true;
        emit Started();
        if (job != job_) return;
    }
    if (!fresh.empty()) {
        peaks_.Append(fresh.data(), static_cast<int64_t>(fresh.size()) /
                                        (peaks_.Channels() * WaveformPeaks::kValues));
    }
    if (end == Job::End::Failed) {
        EndJob();
        peaks_ = WaveformPeaks();
        emit Failed(message);
        return;
    }
    if (!fresh.empty() || end == Job::End::Done) {
        emit Progress(peaks_.ReadyFrames(), peaks_.Frames());
        if (job != job_) return;
    }
    if (end == Job::End::Done) {
        EndJob();
        emit Finished();
    }
}

void PeakBuilder::EndJob() {
    // The thread has set its end and only posts now: the join is short.
    if (thread_.joinable()) thread_.join();
    job_.reset();
}

}  // namespace quillet

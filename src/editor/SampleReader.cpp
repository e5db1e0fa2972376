#include "editor/SampleReader.h"

#include <QDir>
#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>

#include "editor/PeakCache.h"
#include "platform/audio/AudioDecoder.h"

namespace quillet {

struct SampleReader::Shared {
    SampleReader* owner = nullptr;  // lives until the thread has been joined
    QString path;

    std::mutex mutex;
    std::condition_variable wake;
    // Guarded by mutex.
    bool stop = false;
    bool wanted = false;
    int64_t first = 0;
    int64_t count = 0;
    bool ready = false;
    int64_t readFirst = 0;
    int channels = 0;
    std::vector<float> samples;
    QString failure;
};

SampleReader::SampleReader(QObject* parent) : QObject(parent) {}

SampleReader::~SampleReader() { Close(); }

void SampleReader::Open(const QString& path) {
    Close();
    auto shared = std::make_shared<Shared>();
    shared->owner = this;
    shared->path = path;
    shared_ = shared;
    thread_ = std::thread([shared] { Work(shared); });
}

void SampleReader::Close() {
    if (shared_) {
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            shared_->stop = true;
        }
        shared_->wake.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    shared_.reset();
    first_ = 0;
    channels_ = 0;
    samples_.clear();
}

void SampleReader::Request(int64_t first, int64_t count) {
    if (!shared_) return;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->wanted = true;
        shared_->first = std::max<int64_t>(first, 0);
        shared_->count = std::clamp<int64_t>(count, 0, kMaxFrames);
    }
    shared_->wake.notify_all();
}

void SampleReader::Work(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    const auto post = [&] {
        SampleReader* owner = s.owner;
        QMetaObject::invokeMethod(
            owner, [owner, shared] { owner->Deliver(shared); }, Qt::QueuedConnection);
    };
    const auto fail = [&](const QString& message) {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.failure = message;
        }
        post();
    };
    const QString shown = QDir::toNativeSeparators(s.path);
    std::unique_ptr<AudioDecoder> decoder;
    std::optional<SourceStamp> stamp;
    std::vector<float> buffer;
    try {
        for (;;) {
            int64_t first = 0;
            int64_t count = 0;
            {
                std::unique_lock<std::mutex> lock(s.mutex);
                s.wake.wait(lock, [&] { return s.stop || s.wanted; });
                if (s.stop) return;
                s.wanted = false;
                first = s.first;
                count = s.count;
            }
            const std::optional<SourceStamp> now = SourceStamp::Of(s.path);
            if (!now) {
                return fail(QStringLiteral("The samples of \"%1\" cannot be shown: the file is "
                                           "not there any more.")
                                .arg(shown));
            }
            if (stamp && *now != *stamp) {
                return fail(QStringLiteral("The samples of \"%1\" cannot be shown: the file has "
                                           "changed since it was opened.")
                                .arg(shown));
            }
            if (!decoder) {
                stamp = now;
                decoder = std::make_unique<AudioDecoder>(s.path);
            }
            buffer.clear();
            decoder->Seek(first);
            decoder->Read(buffer, count);
            {
                std::lock_guard<std::mutex> lock(s.mutex);
                // A newer request makes this one useless: read that one first.
                if (s.wanted) continue;
                s.ready = true;
                s.readFirst = first;
                s.channels = decoder->Channels();
                s.samples.swap(buffer);
            }
            post();
        }
    } catch (const std::exception& e) {
        fail(QStringLiteral("The samples of \"%1\" cannot be shown: %2")
                 .arg(shown, QString::fromUtf8(e.what())));
    }
}

void SampleReader::Deliver(const std::shared_ptr<Shared>& shared) {
    if (shared != shared_) return;
    QString failure;
    bool ready = false;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        failure = shared->failure;
        if (shared->ready) {
            ready = true;
            shared->ready = false;
            first_ = shared->readFirst;
            channels_ = shared->channels;
            samples_.swap(shared->samples);
        }
    }
    if (ready) emit Ready();
    if (!failure.isEmpty() && shared == shared_) {
        // The thread has ended; a later Open starts anew.
        if (thread_.joinable()) thread_.join();
        shared_.reset();
        emit Failed(failure);
    }
}

}  // namespace quillet

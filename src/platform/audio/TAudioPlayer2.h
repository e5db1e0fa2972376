#pragma once

#include <QObject>
#include <memory>

#include "platform/audio/SampleArray.h"

namespace quillet {

class PlayerStream;

// Streams queued sample arrays to the sound device. Play is called before any data is queued;
// the player then asks for data with its events. Events are delivered through the event loop,
// never from inside Play, QueueSamples or Stop.
class TAudioPlayer2 : public QObject {
    Q_OBJECT
public:
    explicit TAudioPlayer2(QObject* parent = nullptr);
    ~TAudioPlayer2() override;

    void SetFormat(int sampleRate, int channels);
    void Play();
    void QueueSamples(const SampleArray& samples);
    // Stops at once and drops what is queued.
    void Stop();

signals:
    void OnEndArrayPlay();
    void OnTimer(int currentSamples, int levelLeft, int levelRight);
    void OnRequestOnLoadArray();
    void OnEndPlay();

private:
    std::unique_ptr<PlayerStream> stream_;
};

}  // namespace quillet

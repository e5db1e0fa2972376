#pragma once

#include <QtMultimedia/qaudio.h>

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/IAudioPlayer2.h"
#include "platform/audio/SampleArray.h"

class QAudioSink;

namespace quillet {

class PlayerStream;

// Streams queued sample arrays to the sound device. Play is called before any data is queued;
// the player then asks for data with its events. Events are delivered through the event loop,
// never from inside Play, QueueSamples or Stop.
class TAudioPlayer2 : public QObject, public IAudioPlayer2 {
    Q_OBJECT
public:
    explicit TAudioPlayer2(QObject* parent = nullptr);
    ~TAudioPlayer2() override;

    void SetFormat(int sampleRate, int channels) override;
    void Play() override;
    void QueueSamples(const SampleArray& samples) override;
    // Stops at once and drops what is queued.
    void Stop() override;

signals:
    void OnEndArrayPlay();
    void OnTimer(int currentSamples, int levelLeft, int levelRight);
    void OnRequestOnLoadArray();
    void OnEndPlay();

private:
    void StopOutput();
    void Tick();
    void Finish();
    void AskForData(void (TAudioPlayer2::*event)());
    void RequestIfLow();
    void SinkStateChanged(QAudio::State state);
    void Retire(std::unique_ptr<QAudioSink> sink);
    void DeleteRetired();

    std::unique_ptr<PlayerStream> stream_;
    // Declared after the stream they read from, so they go first.
    std::unique_ptr<QAudioSink> sink_;
    // Stopped sinks, deleted from the event loop: a sink's destructor processes events, which
    // must not happen inside Play or Stop.
    std::vector<std::unique_ptr<QAudioSink>> retired_;
    QTimer timer_;
    int sampleRate_ = 44100;
    int channels_ = 2;
    bool playing_ = false;
    // Counts runs (Play to Stop or end); an event posted in an earlier run is dropped.
    uint64_t run_ = 0;
    // Requests for data sent and not yet answered by QueueSamples.
    int unanswered_ = 0;
    int starvedTicks_ = 0;
};

}  // namespace quillet

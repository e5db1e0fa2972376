#pragma once

#include <QtMultimedia/qaudio.h>

#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/audio/IAudioPlayer2.h"
#include "platform/audio/SampleArray.h"

namespace quillet {

class PlayerStream;

// Streams queued sample arrays to the sound device. Play is called before any data is queued;
// the player then asks for data with its events. Events are delivered through the event loop,
// never from inside Play, QueueSamples or Stop.
//
// The device is fed on a sound thread of the player's own, from a queue that is kept some
// hundreds of milliseconds ahead: the window's thread answers the requests and follows the
// position, and a while in which it does not get to its events (a dialog opening, a busy
// machine) is not heard.
class TAudioPlayer2 : public QObject, public IAudioPlayer2 {
    Q_OBJECT
  public:
    explicit TAudioPlayer2(QObject* parent = nullptr);
    ~TAudioPlayer2() override;

    void SetFormat(int sampleRate, int channels) override;
    void Play() override;
    void QueueSamples(const SampleArray& samples) override;
    void EndAfter(int64_t frames) override;
    // Stops at once and drops what is queued.
    void Stop() override;

  signals:
    void OnEndArrayPlay();
    void OnTimer(int currentSamples, int levelLeft, int levelRight);
    void OnRequestOnLoadArray();
    void OnEndPlay();

  protected:
    void customEvent(QEvent* event) override;

  private:
    class Output;

    void StopOutput();
    void Tick();
    void Finish();
    // What the sound thread reported: arrays played, a queue that ran dry, a device lost.
    void Service();
    // Any thread: Service runs soon on the window's thread.
    void PostService();
    void AskForData(void (TAudioPlayer2::*event)());
    void RequestIfLow();

    std::unique_ptr<PlayerStream> stream_;
    QThread soundThread_;
    std::unique_ptr<Output> output_;  // lives on the sound thread
    QTimer timer_;
    int sampleRate_ = 44100;
    int channels_ = 2;
    bool playing_ = false;
    // Counts runs (Play to Stop or end); an event posted in an earlier run is dropped.
    uint64_t run_ = 0;
    // Requests for data sent and not yet answered by QueueSamples.
    int unanswered_ = 0;
    int starvedTicks_ = 0;
    // Arrays played of this run that OnEndArrayPlay has told.
    int64_t arraysTold_ = 0;
    // Set by the sound thread when it has something for Service, cleared when Service runs.
    std::atomic<bool> servicePosted_{false};
};

}  // namespace quillet

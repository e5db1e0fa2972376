#pragma once

#include "convert/ConversionHost.h"

namespace quillet {

class PlaybackSession;
class TrackList;

// What the core already holds for a conversion: the run-state, the list's rows, whether
// something plays, the settings file and the engine objects. The window adds the rest.
class ListConversionHost : public ConversionHost {
  public:
    struct Engine {
        TAudioFile2& reader;
        TAudioFile2& writer;
        TAudioFile2LameEnc& encoder;
        TAudioInformation2& information;
    };

    ListConversionHost(RunState& run, TrackList& tracks, const PlaybackSession& playback,
                       SettingsFile& settings, Engine engine)
        : run_(run), tracks_(tracks), playback_(playback), settings_(settings), engine_(engine) {}

    RunState& Run() override { return run_; }
    bool IsPlaying() const override;
    int RowCount() const override;
    QString RowCaption(int row) const override;
    ConversionRow Row(int row) const override;
    void SetRowStatus(int row, const QString& status) override;
    SettingsFile& Settings() override { return settings_; }
    TAudioFile2& Reader() override { return engine_.reader; }
    TAudioFile2& Writer() override { return engine_.writer; }
    TAudioFile2LameEnc& Mp3Encoder() override { return engine_.encoder; }
    TAudioInformation2& Information() override { return engine_.information; }

  private:
    RunState& run_;
    TrackList& tracks_;
    const PlaybackSession& playback_;
    SettingsFile& settings_;
    Engine engine_;
};

}  // namespace quillet

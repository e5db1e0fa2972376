#include "convert/ListConversionHost.h"

#include "editor/PlaybackSession.h"
#include "tracks/TrackList.h"

namespace quillet {

bool ListConversionHost::IsPlaying() const { return playback_.IsPlaying(); }

int ListConversionHost::RowCount() const { return tracks_.Rows(); }

QString ListConversionHost::RowCaption(int row) const { return tracks_.Caption(row); }

ConversionRow ListConversionHost::Row(int row) const {
    const TrackInfo& track = tracks_.Record(row);
    return {track.FilePath, track.StartPos, track.EndPos};
}

void ListConversionHost::SetRowStatus(int row, const QString& status) {
    tracks_.SetStatus(row, status);
}

}  // namespace quillet

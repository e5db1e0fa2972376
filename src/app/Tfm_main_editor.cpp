// Segment selection and playback: the bars, the one-second steps, the marks and the player.
#include "app/Tfm_main.h"

namespace quillet {

void Tfm_main::StartPlayback() {}

void Tfm_main::PausePlayback() {}

void Tfm_main::StopPlayback() {}

void Tfm_main::QueueNextBlock() {}

void Tfm_main::MarkBegin() {}

void Tfm_main::MarkEnd() {}

void Tfm_main::IncreaseTime(int) {}

void Tfm_main::DecreaseTime(int) {}

void Tfm_main::CurrentBarScrollTrack(int) {}

void Tfm_main::SegmentScrollTrack(const QString&, int) {}

void Tfm_main::AudioPlayerEndArrayPlay() {}

void Tfm_main::AudioPlayerRequestOnLoadArray() {}

void Tfm_main::AudioPlayerEndPlay() {}

void Tfm_main::AudioPlayerTimer(int, int, int) {}

}  // namespace quillet

#pragma once

#include <QString>

#include "platform/audio/StretchCopy.h"

namespace quillet {

class ConversionHost;

// Join's road when the sources' audio is kept: every row's stretch of `keeps` audio joined into
// outputPath without re-encoding it (MP3: only the frames around each join are), with the rows'
// statuses and the progress over all rows as the re-encoding road shows them, and the stop
// command obeyed between parts. True once the output is in place. False when the join must be
// re-encoded, with `why` saying why (empty when there is no audio to join at all).
bool JoinKeepingAudio(ConversionHost& host, StreamCoding keeps, const QString& outputPath,
                      QString& why);

}  // namespace quillet

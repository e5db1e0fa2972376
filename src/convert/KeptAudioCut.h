#pragma once

#include <QString>

#include "platform/audio/StretchCopy.h"

namespace quillet {

class ConversionHost;
struct ConversionRow;

// Cut's road for an input whose audio is kept: its stretch copied without re-encoding and its
// tags carried, as the re-encoding road carries them (into the pending file, before its one
// rename). True once the output is in place. False when the stretch must be re-encoded: `why`
// then says why when the input holds `keeps` audio, and is empty when it holds other audio.
bool CutKeepingAudio(ConversionHost& host, const ConversionRow& row, StreamCoding keeps,
                     const QString& outputPath, QString& why);

// A row's status once it is done: "finish", or, after a copy that could not be made, that its
// stretch was re-encoded and why.
QString FinishedStatus(const QString& reencodedBecause);

}  // namespace quillet

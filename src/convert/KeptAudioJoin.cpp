#include "convert/KeptAudioJoin.h"

#include <QFileInfo>
#include <vector>

#include "common/MulDiv.h"
#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "platform/audio/Mp3SpliceJoin.h"

namespace quillet {

namespace {

QString KindName(StreamCoding coding) {
    return coding == StreamCoding::Mp3 ? QStringLiteral("MP3") : QStringLiteral("Ogg Vorbis");
}

// Follows the join on the window: rows "Converting" then "finish" as their stretches are
// written, the bar over all rows, the messages pumped between parts.
class JoinView {
  public:
    JoinView(ConversionHost& host, int64_t grandTotal) : host_(host), grandTotal_(grandTotal) {}

    bool StillGoing() {
        host_.PumpMessages();
        host_.PumpMessages();
        return host_.Run().IsConverting;
    }

    void Progress(int rowsDone, int64_t positions) {
        const int rows = host_.RowCount();
        for (; shownDone_ < rowsDone && shownDone_ < rows; ++shownDone_) Finish(shownDone_);
        if (shownDone_ < rows && converting_ != shownDone_) {
            converting_ = shownDone_;
            host_.SetRowStatus(converting_, QStringLiteral("Converting"));
        }
        host_.SetProgress(MulDiv(Low32(positions), 100, Low32(grandTotal_)));
    }

    // The row being joined when the stop came is done with what was joined of it.
    void Stopped() {
        if (converting_ >= shownDone_ && converting_ >= 0) Finish(converting_);
    }

  private:
    void Finish(int row) {
        if (converting_ != row) host_.SetRowStatus(row, QStringLiteral("Converting"));
        host_.SetRowStatus(row, QStringLiteral("finish"));
    }

    ConversionHost& host_;
    int64_t grandTotal_;
    int shownDone_ = 0;
    int converting_ = -1;
};

}  // namespace

bool JoinKeepingAudio(ConversionHost& host, StreamCoding keeps, const QString& outputPath,
                      QString& why) {
    why.clear();
    std::vector<Mp3Stretch> stretches;
    int64_t grandTotal = 0;
    int withAudio = 0;
    const int rows = host.RowCount();
    for (int row = 0; row < rows; ++row) {
        const ConversionRow r = host.Row(row);
        stretches.push_back({r.filePath, r.startPos, r.endPos});
        grandTotal += r.endPos - r.startPos;
        if (r.endPos <= r.startPos) continue;
        ++withAudio;
        if (CodingOf(r.filePath) != keeps) {
            why = QStringLiteral("%1 is not %2")
                      .arg(QFileInfo(r.filePath).fileName(), KindName(keeps));
            return false;
        }
    }
    if (withAudio == 0) return false;
    if (keeps == StreamCoding::OggVorbis && withAudio > 1) {
        // Packets re-encoded at a join would need the source's codebooks and block sizes, and a
        // chain of streams stops FFmpeg (and this program) at the first.
        why = QStringLiteral("Ogg Vorbis stretches are joined by re-encoding");
        return false;
    }

    JoinView view(host, grandTotal);
    if (keeps == StreamCoding::OggVorbis) {
        for (const Mp3Stretch& s : stretches) {
            if (s.end <= s.start) continue;
            view.Progress(0, 0);
            StretchCopy copy = CopyStretch(s.path, keeps, s.start, s.end, outputPath);
            why = copy.refusal;
            if (!why.isEmpty()) return false;
            copy.file.Commit();
        }
        view.Progress(rows, grandTotal);
        return true;
    }

    PendingFile output = PendingFile::Create(outputPath);
    Mp3SpliceJoin::Hooks hooks;
    hooks.stillGoing = [&view] { return view.StillGoing(); };
    hooks.progress = [&view](int done, int64_t positions) { view.Progress(done, positions); };
    view.Progress(0, 0);
    why = Mp3SpliceJoin::Join(stretches, output, hooks);
    if (!why.isEmpty()) return false;
    output.Commit();
    if (!host.Run().IsConverting) view.Stopped();
    return true;
}

}  // namespace quillet

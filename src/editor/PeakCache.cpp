#include "editor/PeakCache.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtEndian>
#include <cstring>

#include "common/FileNames.h"

namespace quillet {

namespace {

constexpr char kMagic[8] = {'Q', 'L', 'T', 'P', 'E', 'A', 'K', 'S'};
constexpr int kChecksumBytes = 8;
// A path longer than this is no path this cache wrote.
constexpr uint32_t kMaxPathBytes = 1 << 16;

// FNV-1a over 64-bit words: cheap enough for a 10 MB file and enough to see a damaged one.
uint64_t Checksum(const char* data, size_t size) {
    uint64_t h = 14695981039346656037ULL;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w = 0;
        std::memcpy(&w, data + i, 8);
        h = (h ^ qFromLittleEndian(w)) * 1099511628211ULL;
    }
    for (; i < size; ++i) h = (h ^ static_cast<uint8_t>(data[i])) * 1099511628211ULL;
    return h;
}

}  // namespace

std::optional<SourceStamp> SourceStamp::Of(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(EncodeFileName(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    SourceStamp s;
    s.path = AbsoluteFilePath(path);
    s.size = static_cast<int64_t>(st.st_size);
    s.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return s;
}

PeakCache::PeakCache(QString dir) : dir_(std::move(dir)) {}

QString PeakCache::DefaultDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/quillet/peaks");
}

QString PeakCache::FileFor(const QString& audioPath) const {
    // Named after the path alone, so a file that changes replaces its old entry.
    // The name's own bytes: two names that differ only in bytes UTF-8 cannot hold stay apart.
    const QByteArray key = QCryptographicHash::hash(EncodeFileName(AbsoluteFilePath(audioPath)),
                                                    QCryptographicHash::Sha1);
    return dir_ + QLatin1Char('/') + QString::fromLatin1(key.toHex()) + QStringLiteral(".peaks");
}

std::optional<WaveformPeaks> PeakCache::Load(const SourceStamp& stamp) const {
    QFile file(FileFor(stamp.path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < static_cast<qsizetype>(sizeof kMagic) + kChecksumBytes ||
        std::memcmp(bytes.constData(), kMagic, sizeof kMagic) != 0) {
        return std::nullopt;
    }
    const qsizetype body = bytes.size() - kChecksumBytes;
    if (Checksum(bytes.constData(), static_cast<size_t>(body)) !=
        qFromLittleEndian<quint64>(bytes.constData() + body)) {
        return std::nullopt;
    }

    QDataStream in(bytes);
    in.setByteOrder(QDataStream::LittleEndian);
    in.skipRawData(sizeof kMagic);
    quint32 version = 0, bucketFrames = 0, pathBytes = 0;
    in >> version >> bucketFrames;
    if (version != kVersion || bucketFrames != WaveformPeaks::kBaseFrames) return std::nullopt;
    qint64 size = 0, modifiedNs = 0;
    in >> size >> modifiedNs >> pathBytes;
    if (in.status() != QDataStream::Ok || pathBytes > kMaxPathBytes) return std::nullopt;
    QByteArray path(static_cast<qsizetype>(pathBytes), Qt::Uninitialized);
    if (in.readRawData(path.data(), static_cast<int>(pathBytes)) != static_cast<int>(pathBytes))
        return std::nullopt;
    if (SourceStamp{DecodeFileName(path), size, modifiedNs} != stamp) return std::nullopt;

    qint32 rate = 0, channels = 0;
    qint64 frames = 0, buckets = 0;
    in >> rate >> channels >> frames >> buckets;
    if (in.status() != QDataStream::Ok || rate <= 0 || channels <= 0 ||
        channels > WaveformPeaks::kMaxChannels || frames < 0) {
        return std::nullopt;
    }
    WaveformPeaks peaks(channels, rate, frames);
    if (buckets != peaks.BaseBuckets()) return std::nullopt;
    const qint64 values = buckets * channels * WaveformPeaks::kValues;
    const qint64 at = in.device()->pos();
    if (body - at != values * static_cast<qint64>(sizeof(int16_t))) return std::nullopt;
    std::vector<int16_t> base(static_cast<size_t>(values));
    qFromLittleEndian<qint16>(bytes.constData() + at, values, base.data());
    peaks.Append(base.data(), buckets);
    return peaks;
}

bool PeakCache::Store(const SourceStamp& stamp, const WaveformPeaks& peaks) const {
    if (!peaks.Complete() || !QDir().mkpath(dir_)) return false;
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::LittleEndian);
        out.writeRawData(kMagic, sizeof kMagic);
        const QByteArray path = EncodeFileName(stamp.path);
        out << quint32{kVersion} << quint32{WaveformPeaks::kBaseFrames} << qint64{stamp.size}
            << qint64{stamp.modifiedNs} << static_cast<quint32>(path.size());
        out.writeRawData(path.constData(), static_cast<int>(path.size()));
        out << qint32{peaks.SampleRate()} << qint32{peaks.Channels()} << qint64{peaks.Frames()}
            << qint64{peaks.BaseBuckets()};
    }
    const std::vector<int16_t>& base = peaks.BaseValues();
    const qsizetype header = bytes.size();
    bytes.resize(header + static_cast<qsizetype>(base.size() * sizeof(int16_t)));
    qToLittleEndian<qint16>(base.data(), static_cast<qsizetype>(base.size()),
                            bytes.data() + header);
    const quint64 sum = Checksum(bytes.constData(), static_cast<size_t>(bytes.size()));
    char tail[kChecksumBytes];
    qToLittleEndian(sum, tail);
    bytes.append(tail, kChecksumBytes);

    QSaveFile file(FileFor(stamp.path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace quillet

#include "convert/OutputFormatConfig.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "settings/IndexTables.h"
#include "settings/SettingsFile.h"

namespace quillet {

namespace {

const char* const kMp3Refused =
    "This MP3 format not supported, please try another bit rate or frequency.";

// The two commands word the OGG refusals differently; users know both texts.
QString OggVariableRefusal(ConvertCommand command) {
    return command == ConvertCommand::Cut
               ? QStringLiteral(
                     "This OGG format not supported, please try another bit rate or frequency.")
               : QStringLiteral(
                     "This OGG format is not supported, please try another bit rate "
                     "or frequency.");
}

QString OggFixedRefusal(ConvertCommand command) {
    return command == ConvertCommand::Cut
               ? QStringLiteral(
                     "This OGG Format not supported, please try another bit rate or frequency.")
               : QStringLiteral(
                     "This OGG format not supported, please try another bit rate or frequency.");
}

OutputFormatResult Refused(const QString& message) { return {false, QString(), message}; }

constexpr std::array<int, 2> kChannelsTable = {1, 2};
constexpr int kWmaProfileCount = 47;

// Reads stored list positions and turns them into values. The first index that lies outside its
// table (a hand-edited file, or -1 stored for a list without a selection) is remembered, so the
// caller can refuse before anything is configured instead of reading past a table.
class IndexReader {
  public:
    IndexReader(const SettingsFile& settings, QString section)
        : settings_(settings), section_(std::move(section)) {}

    template <typename Table>
    int Value(const QString& key, int def, const Table& table) {
        const int stored = settings_.ReadInteger(section_, key, def);
        if (const std::optional<int> value = LookUp(table, stored)) return *value;
        NoteInvalid(key, stored);
        return 0;
    }

    // A stored index used as "index + 1" (channels, WMA profile).
    int PlusOne(const QString& key, int def, int count) {
        const int stored = settings_.ReadInteger(section_, key, def);
        if (stored >= 0 && stored < count) return stored + 1;
        NoteInvalid(key, stored);
        return 0;
    }

    int Channels(const QString& key, int def) {
        return PlusOne(key, def, static_cast<int>(kChannelsTable.size()));
    }

    int Integer(const QString& key, int def) const {
        return settings_.ReadInteger(section_, key, def);
    }
    bool Bool(const QString& key, bool def) const { return settings_.ReadBool(section_, key, def); }

    bool Valid() const { return invalid_.isEmpty(); }
    const QString& Problem() const { return invalid_; }

  private:
    void NoteInvalid(const QString& key, int stored) {
        if (!invalid_.isEmpty()) return;
        invalid_ = QStringLiteral(
                       "The setting \"%1\" in section [%2] of quillet.ini holds %3, which is not "
                       "a valid choice. Please choose it again in Options.")
                       .arg(key, section_)
                       .arg(stored);
    }

    const SettingsFile& settings_;
    QString section_;
    QString invalid_;
};

OutputFormatResult ConfigureMp3(const SettingsFile& settings, TAudioFile2& writer,
                                TAudioFile2LameEnc& encoder) {
    IndexReader mp3(settings, QStringLiteral("mp3"));
    const int sampleRate = mp3.Value(QStringLiteral("frequency"), 8, FrequencyTable);
    const int bitrate = mp3.Value(QStringLiteral("bitrate"), 11, BitrateTable);
    const int channels = mp3.Channels(QStringLiteral("channel"), 1);
    const int quality = mp3.Integer(QStringLiteral("quality"), 9);
    // Compared with exactly 0 and 1: any other stored value leaves the encoder's mode alone.
    const int vbr = mp3.Integer(QStringLiteral("enable vbr"), 0);
    int vbrBitrate = 0;
    int vbrQuality = 0;
    if (vbr == 1) {
        vbrBitrate = mp3.Value(QStringLiteral("vbr bitrate"), 11, BitrateTable);
        vbrQuality = mp3.Integer(QStringLiteral("vbr quality"), 5);
    }
    if (!mp3.Valid()) return Refused(mp3.Problem());

    encoder.SetSampleRate(sampleRate);
    encoder.SetBitrate(bitrate);
    encoder.SetChannels(channels);
    encoder.SetQuality(quality);
    if (vbr == 0) {
        encoder.SetConstantBitrate(true);
    } else if (vbr == 1) {
        encoder.SetConstantBitrate(false);
        encoder.SetVbrBitrate(vbrBitrate);
        encoder.SetVbrQuality(vbrQuality);
    }
    if (!writer.CheckMp3Format(encoder.SampleRate(), encoder.Bitrate(), encoder.Channels()))
        return Refused(QString::fromLatin1(kMp3Refused));
    writer.SetMp3Encoder(encoder);
    return {true, OutputExtension(OutputMp3), QString()};
}

OutputFormatResult ConfigureWav(const SettingsFile& settings, TAudioFile2& writer) {
    IndexReader wav(settings, QStringLiteral("wav"));
    const int mode = wav.Integer(QStringLiteral("mode"), 0);
    if (mode == 0) {
        writer.SetWavFormat(44100, 2, 16);  // CD quality
    } else if (mode == 2) {
        const int sampleRate = wav.Value(QStringLiteral("frequency"), 8, FrequencyTable);
        const int channels = wav.Channels(QStringLiteral("channel"), 1);
        const int bits = wav.Value(QStringLiteral("bit"), 1, BitsTable);
        if (!wav.Valid()) return Refused(wav.Problem());
        writer.SetWavFormat(sampleRate, channels, bits);
    }
    // Mode 1 ("best suited") and unknown modes leave the WAV format to the writer.
    return {true, OutputExtension(OutputWav), QString()};
}

OutputFormatResult ConfigureWma(const SettingsFile& settings, TAudioFile2& writer) {
    IndexReader wma(settings, QStringLiteral("wma"));
    const int profile = wma.PlusOne(QStringLiteral("format"), 9, kWmaProfileCount);
    if (!wma.Valid()) return Refused(wma.Problem());
    writer.SetWmaProfile(profile);
    return {true, OutputExtension(OutputWma), QString()};
}

OutputFormatResult ConfigureOgg(ConvertCommand command, const SettingsFile& settings,
                                TAudioFile2& writer) {
    IndexReader ogg(settings, QStringLiteral("ogg"));
    const bool qualityMode = ogg.Bool(QStringLiteral("enable quality"), false);
    const bool variableMode = !qualityMode && ogg.Bool(QStringLiteral("enable vbr"), false);
    const int rate = ogg.Value(QStringLiteral("frequency"), 8, FrequencyTable);
    const int channels = ogg.Channels(QStringLiteral("channel"), 1);
    const int kbps = ogg.Value(QStringLiteral("bitrate"), 11, BitrateTable);
    // Fixed mode pins the upper and lower bitrate to 128 whatever is stored.
    int maxKbps = 128;
    int minKbps = 128;
    if (qualityMode || variableMode) {
        maxKbps = ogg.Value(QStringLiteral("max bitrate"), 11, BitrateTable);
        minKbps = ogg.Value(QStringLiteral("min bitrate"), 11, BitrateTable);
    }
    const auto quality = static_cast<int16_t>(ogg.Integer(QStringLiteral("quality"), 300));
    if (!ogg.Valid()) return Refused(ogg.Problem());

    if (qualityMode) {
        writer.SetOggFormat(rate, channels, kbps, maxKbps, minKbps, quality);
    } else {
        if (!writer.CheckOggFormat(rate, channels, kbps, maxKbps, minKbps))
            return Refused(variableMode ? OggVariableRefusal(command) : OggFixedRefusal(command));
        writer.SetOggFormat(rate, channels, kbps, maxKbps, minKbps, -1);
    }
    return {true, OutputExtension(OutputOgg), QString()};
}

OutputFormatResult ConfigureByIndex(int formatIndex, ConvertCommand command,
                                    const SettingsFile& settings, TAudioFile2& writer,
                                    TAudioFile2LameEnc& encoder) {
    switch (formatIndex) {
        case OutputMp3:
            return ConfigureMp3(settings, writer, encoder);
        case OutputWav:
            return ConfigureWav(settings, writer);
        case OutputWma:
            return ConfigureWma(settings, writer);
        case OutputOgg:
            return ConfigureOgg(command, settings, writer);
        default:
            // Without a format the output files would get no extension at all.
            return Refused(QStringLiteral("Please choose an output format."));
    }
}

}  // namespace

QString OutputExtension(int formatIndex) {
    switch (formatIndex) {
        case OutputMp3:
            return QStringLiteral(".mp3");
        case OutputWav:
            return QStringLiteral(".wav");
        case OutputWma:
            return QStringLiteral(".wma");
        case OutputOgg:
            return QStringLiteral(".ogg");
        default:
            return QString();
    }
}

OutputFormatResult ConfigureOutputFormat(int formatIndex, ConvertCommand command,
                                         const SettingsFile& settings, TAudioFile2& writer,
                                         TAudioFile2LameEnc& encoder) {
    OutputFormatResult result = ConfigureByIndex(formatIndex, command, settings, writer, encoder);
    if (result.ok && writer.IsOpen()) writer.Close();
    return result;
}

}  // namespace quillet

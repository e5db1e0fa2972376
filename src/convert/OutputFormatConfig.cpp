#include "convert/OutputFormatConfig.h"

#include <array>
#include <cstdint>
#include <optional>

#include "platform/audio/OutputFormats.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "settings/IndexTables.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"

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

OutputFormatResult Refused(const QString& message) {
    return {false, QString(), message, std::nullopt};
}

constexpr std::array<int, 2> kChannelsTable = {1, 2};

// Reads stored list positions and turns them into values. The first index that lies outside its
// table (a hand-edited file, or -1 stored for a list without a selection) is remembered, so the
// caller can refuse before anything is configured instead of reading past a table.
class IndexReader {
  public:
    explicit IndexReader(const SettingsFile& settings) : settings_(settings) {}

    template <typename Table>
    int Value(const NumberKey& key, const Table& table) {
        const int stored = ReadInteger(settings_, key);
        if (const std::optional<int> value = LookUp(table, stored)) return *value;
        NoteInvalid(key, stored);
        return 0;
    }

    // A stored index used as "index + 1" (channels, WMA profile).
    int PlusOne(const NumberKey& key, int count) {
        const int stored = ReadInteger(settings_, key);
        if (stored >= 0 && stored < count) return stored + 1;
        NoteInvalid(key, stored);
        return 0;
    }

    int Channels(const NumberKey& key) {
        return PlusOne(key, static_cast<int>(kChannelsTable.size()));
    }

    int Integer(const NumberKey& key) const { return ReadInteger(settings_, key); }
    bool Bool(const NumberKey& key) const { return ReadBool(settings_, key); }

    bool Valid() const { return invalid_.isEmpty(); }
    const QString& Problem() const { return invalid_; }

  private:
    void NoteInvalid(const NumberKey& key, int stored) {
        if (!invalid_.isEmpty()) return;
        invalid_ = QStringLiteral(
                       "The setting \"%1\" in section [%2] of quillet.ini holds %3, which is not "
                       "a valid choice. Please choose it again in Options.")
                       .arg(key.Key(), key.Section())
                       .arg(stored);
    }

    const SettingsFile& settings_;
    QString invalid_;
};

OutputFormatResult Configured(const OutputFormatInfo& format) {
    return {true, QString::fromLatin1(format.extension), QString(), std::nullopt};
}

OutputFormatResult ConfigureMp3(const OutputFormatInfo& format, ConvertCommand,
                                const SettingsFile& settings, TAudioFile2& writer,
                                TAudioFile2LameEnc& encoder) {
    IndexReader mp3(settings);
    const int sampleRate = mp3.Value(keys::Mp3Frequency, FrequencyTable);
    const int bitrate = mp3.Value(keys::Mp3Bitrate, BitrateTable);
    const int channels = mp3.Channels(keys::Mp3Channel);
    const int quality = mp3.Integer(keys::Mp3Quality);
    // Compared with exactly 0 and 1: any other stored value leaves the encoder's mode alone.
    const int vbr = mp3.Integer(keys::Mp3EnableVbr);
    int vbrBitrate = 0;
    int vbrQuality = 0;
    if (vbr == 1) {
        vbrBitrate = mp3.Value(keys::Mp3VbrBitrate, BitrateTable);
        vbrQuality = mp3.Integer(keys::Mp3VbrQuality);
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
    OutputFormatResult result = Configured(format);
    if (mp3.Bool(keys::Mp3KeepSourceAudio)) result.keeps = StreamCoding::Mp3;
    return result;
}

OutputFormatResult ConfigureWav(const OutputFormatInfo& format, ConvertCommand,
                                const SettingsFile& settings, TAudioFile2& writer,
                                TAudioFile2LameEnc&) {
    IndexReader wav(settings);
    const int mode = wav.Integer(keys::WavMode);
    if (mode == 0) {
        writer.SetWavFormat(44100, 2, 16);  // CD quality
    } else if (mode == 2) {
        const int sampleRate = wav.Value(keys::WavFrequency, FrequencyTable);
        const int channels = wav.Channels(keys::WavChannel);
        const int bits = wav.Value(keys::WavBit, BitsTable);
        if (!wav.Valid()) return Refused(wav.Problem());
        writer.SetWavFormat(sampleRate, channels, bits);
    }
    // Mode 1 ("best suited") and unknown modes leave the WAV format to the writer.
    return Configured(format);
}

OutputFormatResult ConfigureWma(const OutputFormatInfo& format, ConvertCommand,
                                const SettingsFile& settings, TAudioFile2& writer,
                                TAudioFile2LameEnc&) {
    IndexReader wma(settings);
    const int profile = wma.PlusOne(keys::WmaFormat, kWmaProfileCount);
    if (!wma.Valid()) return Refused(wma.Problem());
    writer.SetWmaProfile(profile);
    return Configured(format);
}

OutputFormatResult ConfigureOgg(const OutputFormatInfo& format, ConvertCommand command,
                                const SettingsFile& settings, TAudioFile2& writer,
                                TAudioFile2LameEnc&) {
    IndexReader ogg(settings);
    const bool qualityMode = ogg.Bool(keys::OggEnableQuality);
    const bool variableMode = !qualityMode && ogg.Bool(keys::OggEnableVbr);
    const int rate = ogg.Value(keys::OggFrequency, FrequencyTable);
    const int channels = ogg.Channels(keys::OggChannel);
    const int kbps = ogg.Value(keys::OggBitrate, BitrateTable);
    // Fixed mode pins the upper and lower bitrate to 128 whatever is stored.
    int maxKbps = 128;
    int minKbps = 128;
    if (qualityMode || variableMode) {
        maxKbps = ogg.Value(keys::OggMaxBitrate, BitrateTable);
        minKbps = ogg.Value(keys::OggMinBitrate, BitrateTable);
    }
    const auto quality = static_cast<int16_t>(ogg.Integer(keys::OggQuality));
    if (!ogg.Valid()) return Refused(ogg.Problem());

    if (qualityMode) {
        writer.SetOggFormat(rate, channels, kbps, maxKbps, minKbps, quality);
    } else {
        if (!writer.CheckOggFormat(rate, channels, kbps, maxKbps, minKbps))
            return Refused(variableMode ? OggVariableRefusal(command) : OggFixedRefusal(command));
        writer.SetOggFormat(rate, channels, kbps, maxKbps, minKbps, -1);
    }
    OutputFormatResult result = Configured(format);
    if (ogg.Bool(keys::OggKeepSourceAudio)) result.keeps = StreamCoding::OggVorbis;
    return result;
}

// Each format reads its own keys.
using Configurator = OutputFormatResult (*)(const OutputFormatInfo&, ConvertCommand,
                                            const SettingsFile&, TAudioFile2&, TAudioFile2LameEnc&);
struct FormatConfigurator {
    OutputKind kind;
    Configurator configure;
};
constexpr FormatConfigurator kConfigurators[] = {{OutputKind::Mp3, ConfigureMp3},
                                                 {OutputKind::Wav, ConfigureWav},
                                                 {OutputKind::Wma, ConfigureWma},
                                                 {OutputKind::Ogg, ConfigureOgg}};

OutputFormatResult ConfigureByIndex(int formatIndex, ConvertCommand command,
                                    const SettingsFile& settings, TAudioFile2& writer,
                                    TAudioFile2LameEnc& encoder) {
    // Without a format the output files would get no extension at all.
    const OutputFormatResult none = Refused(QStringLiteral("Please choose an output format."));
    const OutputFormatInfo* format = OutputFormatAt(formatIndex);
    if (!format) return none;
    for (const FormatConfigurator& c : kConfigurators)
        if (c.kind == format->kind) return c.configure(*format, command, settings, writer, encoder);
    return none;
}

}  // namespace

QString OutputExtension(int formatIndex) {
    const OutputFormatInfo* format = OutputFormatAt(formatIndex);
    return format ? QString::fromLatin1(format->extension) : QString();
}

OutputFormatResult ConfigureOutputFormat(int formatIndex, ConvertCommand command,
                                         const SettingsFile& settings, TAudioFile2& writer,
                                         TAudioFile2LameEnc& encoder) {
    OutputFormatResult result = ConfigureByIndex(formatIndex, command, settings, writer, encoder);
    if (result.ok && writer.IsOpen()) writer.Close();
    return result;
}

}  // namespace quillet

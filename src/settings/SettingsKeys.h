#pragma once

#include <QString>

#include "settings/SettingsFile.h"

namespace quillet {

// Every section and key of quillet.ini, with the default that each kind of read site applies
// when the key is absent. The settings dialog shows one set of defaults and Cut and Join use
// another (44100 against 48000 Hz, OGG quality mode on against off, MP3 VBR quality 9 against
// 5): users' files were written by both, so neither may change.
struct TextKey {
    const char* section;
    const char* key;

    QString Section() const { return QString::fromLatin1(section); }
    QString Key() const { return QString::fromLatin1(key); }
};

// An integer or boolean key. `dialog` is what the settings dialog shows for an absent key,
// `use` what every other read site (start-up, the commands, Cut and Join) takes.
struct NumberKey {
    const char* section;
    const char* key;
    int dialog;
    int use;

    QString Section() const { return QString::fromLatin1(section); }
    QString Key() const { return QString::fromLatin1(key); }
};

namespace keys {

// [cut]. The output folder defaults to the user's music folder at start-up and in Cut; the
// folder of Add File defaults to the program's own folder.
inline constexpr TextKey CutOutputDirectory{"cut", "output directory"};
inline constexpr NumberKey CutFormat{"cut", "format", 0, 0};
inline constexpr NumberKey PreListen{"cut", "pre-listen", 0, 0};
inline constexpr TextKey FilePath{"cut", "file path"};

// [combine]: Join's output folder, the music folder by default.
inline constexpr TextKey CombineOutputDirectory{"combine", "output directory"};

// [basic]
inline constexpr NumberKey EnableSubDir{"basic", "enable sub dir", 1, 1};
// Whether the list is kept between runs (in the session file); absent means kept.
inline constexpr NumberKey KeepSession{"basic", "keep session", 1, 1};

// [mp3]. "enable vbr" is read as a boolean by the dialog and as an integer (0 or 1) by Cut
// and Join.
inline constexpr NumberKey Mp3Bitrate{"mp3", "bitrate", 11, 11};
inline constexpr NumberKey Mp3Channel{"mp3", "channel", 1, 1};
inline constexpr NumberKey Mp3Frequency{"mp3", "frequency", 7, 8};
inline constexpr NumberKey Mp3Quality{"mp3", "quality", 9, 9};
inline constexpr NumberKey Mp3EnableVbr{"mp3", "enable vbr", 0, 0};
inline constexpr NumberKey Mp3VbrBitrate{"mp3", "vbr bitrate", 11, 11};
inline constexpr NumberKey Mp3VbrQuality{"mp3", "vbr quality", 9, 5};
// Cut and Join copy the audio of an input that is already MP3 instead of re-encoding it.
inline constexpr NumberKey Mp3KeepSourceAudio{"mp3", "keep source audio", 0, 0};

// [wav]
inline constexpr NumberKey WavMode{"wav", "mode", 0, 0};
inline constexpr NumberKey WavBit{"wav", "bit", 1, 1};
inline constexpr NumberKey WavChannel{"wav", "channel", 1, 1};
inline constexpr NumberKey WavFrequency{"wav", "frequency", 7, 8};

// [wma]
inline constexpr NumberKey WmaFormat{"wma", "format", 9, 9};

// [ogg]. "enable vbr" is never written by the program; only a hand-made file holds it.
inline constexpr NumberKey OggChannel{"ogg", "channel", 1, 1};
inline constexpr NumberKey OggFrequency{"ogg", "frequency", 7, 8};
inline constexpr NumberKey OggBitrate{"ogg", "bitrate", 11, 11};
inline constexpr NumberKey OggMaxBitrate{"ogg", "max bitrate", 11, 11};
inline constexpr NumberKey OggMinBitrate{"ogg", "min bitrate", 11, 11};
inline constexpr NumberKey OggEnableQuality{"ogg", "enable quality", 1, 0};
inline constexpr NumberKey OggQuality{"ogg", "quality", 300, 300};
inline constexpr NumberKey OggEnableVbr{"ogg", "enable vbr", 0, 0};
// Cut and Join copy the audio of an input that is already Ogg Vorbis instead of re-encoding it.
inline constexpr NumberKey OggKeepSourceAudio{"ogg", "keep source audio", 0, 0};

// [stretch]: the stretch editor. Absent, "play around" plays two seconds either side of the
// handle and Left and Right move it by 10 ms (step 1 of: one frame, 10 ms, 100 ms, 1 s).
inline constexpr NumberKey StretchPreRoll{"stretch", "pre-roll ms", 2000, 2000};
inline constexpr NumberKey StretchPostRoll{"stretch", "post-roll ms", 2000, 2000};
inline constexpr NumberKey StretchStep{"stretch", "step", 1, 1};

}  // namespace keys

// Reads at a site other than the settings dialog.
inline int ReadInteger(const SettingsFile& file, const NumberKey& k) {
    return file.ReadInteger(k.Section(), k.Key(), k.use);
}
inline bool ReadBool(const SettingsFile& file, const NumberKey& k) {
    return file.ReadBool(k.Section(), k.Key(), k.use != 0);
}
inline QString ReadString(const SettingsFile& file, const TextKey& k, const QString& def) {
    return file.ReadString(k.Section(), k.Key(), def);
}

inline void WriteInteger(SettingsFile& file, const NumberKey& k, int value) {
    file.WriteInteger(k.Section(), k.Key(), value);
}
inline void WriteBool(SettingsFile& file, const NumberKey& k, bool value) {
    file.WriteBool(k.Section(), k.Key(), value);
}
inline void WriteString(SettingsFile& file, const TextKey& k, const QString& value) {
    file.WriteString(k.Section(), k.Key(), value);
}

}  // namespace quillet

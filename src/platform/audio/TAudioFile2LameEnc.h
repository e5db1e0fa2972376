#pragma once

namespace quillet {

// MP3 encoder settings handed to a writer with SetMp3Encoder.
class TAudioFile2LameEnc {
public:
    struct Settings {
        int sampleRate = 44100;
        int bitrate = 128;  // kbit/s
        int channels = 2;
        int quality = 5;  // 0 best and slowest .. 9 fastest
        bool constantBitrate = true;
        int vbrBitrate = 128;  // kbit/s
        int vbrQuality = 5;    // 0..9
    };

    int SampleRate() const { return s_.sampleRate; }
    void SetSampleRate(int hz) { s_.sampleRate = hz; }
    int Bitrate() const { return s_.bitrate; }
    void SetBitrate(int kbps) { s_.bitrate = kbps; }
    int Channels() const { return s_.channels; }
    void SetChannels(int channels) { s_.channels = channels; }
    void SetQuality(int quality) { s_.quality = quality; }
    void SetConstantBitrate(bool on) { s_.constantBitrate = on; }
    void SetVbrBitrate(int kbps) { s_.vbrBitrate = kbps; }
    void SetVbrQuality(int quality) { s_.vbrQuality = quality; }

    const Settings& Get() const { return s_; }

private:
    Settings s_;
};

}  // namespace quillet

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "convert/OutputFormatConfig.h"
#include "dialogs/Tfm_set.h"
#include "dialogs/UpDown.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "settings/SettingsFile.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

QString IniPath() { return SettingsFile::DefaultPath(); }

QByteArray IniBytes() {
    QFile file(IniPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void StoreIni(const QByteArray& text) {
    QDir().mkpath(QFileInfo(IniPath()).absolutePath());
    QFile file(IniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// Every key the dialog writes, in its order, as section/key.
const char* const kDialogKeys[][2] = {
    {"mp3", "bitrate"},     {"mp3", "channel"},     {"mp3", "frequency"},
    {"mp3", "quality"},     {"mp3", "enable vbr"},  {"mp3", "vbr bitrate"},
    {"mp3", "vbr quality"}, {"wav", "mode"},        {"wav", "bit"},
    {"wav", "channel"},     {"wav", "frequency"},   {"wma", "format"},
    {"ogg", "channel"},     {"ogg", "frequency"},   {"ogg", "bitrate"},
    {"ogg", "max bitrate"}, {"ogg", "min bitrate"}, {"ogg", "enable quality"},
    {"ogg", "quality"},     {"mp3", "keep source audio"}, {"ogg", "keep source audio"}};

// Keys from the window system go to the window that has become active; the test waits for the
// activation to be processed, as a person would see the dialog before pressing a key.
bool WaitUntilActive(QWidget& window) {
    return QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; });
}

class SettingsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QFile::remove(IniPath());
        settings_ = std::make_unique<SettingsFile>(IniPath());
        dialog_.SetSettingsFile(settings_.get());
    }

    void TearDown() override {
        dialog_.hide();
        QFile::remove(IniPath());
    }

    // Shows the dialog as its owner does, which reloads it from the file.
    Tfm_set& Show() {
        dialog_.hide();
        dialog_.show();
        dialog_.activateWindow();
        EXPECT_TRUE(WaitUntilActive(dialog_));
        return dialog_;
    }

    int Stored(const char* section, const char* key) const {
        return settings_->ReadInteger(section, key, -99);
    }

    void Type(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        QTest::keyClicks(edit, text);
    }

    void Erase(QLineEdit* edit) {
        edit->setFocus();
        edit->end(false);
        while (!edit->text().isEmpty()) QTest::keyClick(edit, Qt::Key_Backspace);
    }

    std::unique_ptr<SettingsFile> settings_;
    Tfm_set dialog_;
};

TEST_F(SettingsDialogTest, WithoutASettingsFileTheDialogShowsItsOwnDefaults) {
    Tfm_set& d = Show();
    EXPECT_EQ(d.pc->currentWidget(), d.ts_mp3);
    EXPECT_EQ(d.cb_mp3_frequency->currentText(), "44100 Hz");
    EXPECT_EQ(d.cb_mp3_bitrate->currentText(), "128 Kbps");
    EXPECT_EQ(d.cb_mp3_channel->currentText(), "Stereo");
    EXPECT_EQ(d.ud_mp3_quality->Position(), 9);
    EXPECT_EQ(d.edt_mp3_quality->text(), "9");
    EXPECT_FALSE(d.cb_vbr->isChecked());
    EXPECT_EQ(d.cb_mp3_vbr->currentText(), "128 Kbps");
    EXPECT_EQ(d.ud_mp3_vbr->Position(), 9);
    EXPECT_TRUE(d.rb_cdquality->isChecked());
    EXPECT_EQ(d.cb_wav_bit->currentText(), "16 bps");
    EXPECT_EQ(d.cb_wav_channel->currentText(), "Stereo");
    EXPECT_EQ(d.cb_wav_frequency->currentText(), "44100 Hz");
    EXPECT_EQ(d.cb_wma->currentIndex(), 9);
    EXPECT_EQ(d.cb_wma->currentText(), "WMA9 44KHz, 128Kbps, Stereo, CBR");
    EXPECT_EQ(d.cb_ogg_fre->currentText(), "44100 Hz");
    EXPECT_EQ(d.cb_ogg_channel->currentText(), "Stereo");
    EXPECT_EQ(d.cb_ogg_bitrate->currentText(), "128 Kbps");
    EXPECT_EQ(d.cb_ogg_minbit->currentText(), "128 Kbps");
    EXPECT_EQ(d.cb_ogg_maxbit->currentText(), "128 Kbps");
    EXPECT_TRUE(d.cb_ogg_quality->isChecked());
    EXPECT_EQ(d.ud_ogg_quality->Position(), 300);
    EXPECT_EQ(d.edt_ogg_quality->text(), "300");

    // The enabling rules for these values.
    EXPECT_FALSE(d.cb_mp3_vbr->isEnabled());
    EXPECT_FALSE(d.edt_mp3_vbr->isEnabled());
    EXPECT_FALSE(d.ud_mp3_vbr->isEnabled());
    EXPECT_FALSE(d.cb_wav_frequency->isEnabled());
    EXPECT_FALSE(d.cb_wav_bit->isEnabled());
    EXPECT_FALSE(d.cb_wav_channel->isEnabled());
    EXPECT_TRUE(d.edt_ogg_quality->isEnabled());
    EXPECT_TRUE(d.ud_ogg_quality->isEnabled());
    EXPECT_FALSE(d.cb_ogg_minbit->isEnabled());
    EXPECT_FALSE(d.cb_ogg_maxbit->isEnabled());

    // Showing reads; it never creates the file.
    d.btn_cancel->click();
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(SettingsDialogTest, ListsHoldTheirItemsInTableOrder) {
    const QStringList wma = Tfm_set::WmaProfiles();
    ASSERT_EQ(dialog_.cb_wma->count(), 47);
    for (int i = 0; i < dialog_.cb_wma->count(); ++i)
        EXPECT_EQ(dialog_.cb_wma->itemText(i), wma[i]) << i;
    EXPECT_EQ(wma[0], "WMA9 48KHz, 192Kbps, Stereo, CBR");
    EXPECT_EQ(wma[9], "WMA9 44KHz, 128Kbps, Stereo, CBR");
    EXPECT_EQ(wma[20], wma[22]);
    EXPECT_EQ(wma[34], "WMA9 8KHz,  12Kbps, Stereo, CBR");
    EXPECT_EQ(wma[35], "WMA9 8KHz,  8Kbps, Mono, CBR");
    EXPECT_EQ(wma[36], "WMA9 8KHz,  6Kbps, Mono, CBR");
    EXPECT_EQ(wma[37], "WMA9 8KHz,  5Kbps, Mono, CBR");
    EXPECT_EQ(wma[38], "WMA9 48KHz, Stereo, VBR Quality 98");
    EXPECT_EQ(wma[46], "WMA9 44KHz, Stereo, Lossless");

    const QStringList frequencies = {"8000 Hz",  "11025 Hz", "12000 Hz", "16000 Hz", "22050 Hz",
                                     "24000 Hz", "32000 Hz", "44100 Hz", "48000 Hz"};
    const QStringList bitrates = {"8 Kbps",   "16 Kbps",  "24 Kbps",  "32 Kbps",  "40 Kbps",
                                  "48 Kbps",  "56 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps",
                                  "112 Kbps", "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps",
                                  "256 Kbps", "320 Kbps"};
    auto items = [](QComboBox* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
        return texts;
    };
    for (QComboBox* list : {dialog_.cb_mp3_frequency, dialog_.cb_wav_frequency, dialog_.cb_ogg_fre})
        EXPECT_EQ(items(list), frequencies) << list->objectName().toStdString();
    for (QComboBox* list : {dialog_.cb_mp3_bitrate, dialog_.cb_mp3_vbr, dialog_.cb_ogg_bitrate,
                            dialog_.cb_ogg_minbit, dialog_.cb_ogg_maxbit})
        EXPECT_EQ(items(list), bitrates) << list->objectName().toStdString();
    for (QComboBox* list : {dialog_.cb_mp3_channel, dialog_.cb_wav_channel, dialog_.cb_ogg_channel})
        EXPECT_EQ(items(list), QStringList({"Mono", "Stereo"}));
    EXPECT_EQ(items(dialog_.cb_wav_bit), QStringList({"8 bps", "16 bps"}));
    // Drop-down lists without free text.
    for (QComboBox* list : dialog_.findChildren<QComboBox*>()) EXPECT_FALSE(list->isEditable());

    QStringList pages;
    for (int i = 0; i < dialog_.pc->count(); ++i) pages << dialog_.pc->tabText(i);
    EXPECT_EQ(pages, QStringList({"MP3", "WAV", "OGG", "WMA"}));
}

TEST_F(SettingsDialogTest, OkWithTheDefaultsWritesEveryKeyAndTheConversionThenUsesThem) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath("tone.wav");
    test::MakeTone(source, 4410, 22050, 1);
    TAudioFile2 writer;
    TAudioFile2LameEnc encoder;

    // Before: the conversion's own defaults (48000 Hz, VBR quality 5, OGG quality mode off).
    ASSERT_TRUE(
        ConfigureOutputFormat(OutputMp3, ConvertCommand::Cut, *settings_, writer, encoder).ok);
    EXPECT_EQ(encoder.Get().sampleRate, 48000);

    Tfm_set& d = Show();
    d.pc->setCurrentWidget(d.ts_wma);  // whichever page shows, all are written
    d.btn_ok->click();
    EXPECT_FALSE(d.isVisible());
    for (const auto& key : kDialogKeys)
        EXPECT_NE(Stored(key[0], key[1]), -99) << key[0] << "/" << key[1];
    EXPECT_EQ(Stored("mp3", "frequency"), 7);
    EXPECT_EQ(Stored("mp3", "vbr quality"), 9);
    EXPECT_EQ(Stored("mp3", "enable vbr"), 0);
    EXPECT_EQ(Stored("wav", "mode"), 0);
    EXPECT_EQ(Stored("wma", "format"), 9);
    EXPECT_EQ(Stored("ogg", "enable quality"), 1);
    EXPECT_EQ(Stored("ogg", "quality"), 300);
    EXPECT_EQ(settings_->ReadString("ogg", "enable vbr", "absent"), "absent");

    const OutputFormatResult mp3 =
        ConfigureOutputFormat(OutputMp3, ConvertCommand::Cut, *settings_, writer, encoder);
    ASSERT_TRUE(mp3.ok) << mp3.message.toStdString();
    EXPECT_EQ(encoder.Get().sampleRate, 44100);
    EXPECT_EQ(encoder.Get().bitrate, 128);
    EXPECT_EQ(encoder.Get().channels, 2);
    EXPECT_EQ(encoder.Get().quality, 9);
    EXPECT_TRUE(encoder.Get().constantBitrate);

    // OGG now in quality mode at the dialog's 44100 Hz: check the written file with ffprobe.
    const OutputFormatResult ogg =
        ConfigureOutputFormat(OutputOgg, ConvertCommand::Join, *settings_, writer, encoder);
    ASSERT_TRUE(ogg.ok) << ogg.message.toStdString();
    const QString out = dir.filePath("out.ogg");
    TAudioFile2 reader;
    reader.OpenForRead(source, 0, 1);
    writer.CreateForWrite(out, 0);
    writer.SetSourceFormat(reader.SampleRate(), reader.Channels());
    for (SampleArray block = reader.ReadSamples(2205); !block.Empty();
         block = reader.ReadSamples(2205))
        writer.WriteSamples(block);
    writer.Close();
    EXPECT_EQ(test::ProbeStream(out, "sample_rate"), "44100");
    EXPECT_EQ(test::ProbeStream(out, "channels"), "2");
}

TEST_F(SettingsDialogTest, ChangedControlsOnEveryPageAreStoredAndReadBackByCutAndJoin) {
    Tfm_set& d = Show();
    d.cb_mp3_frequency->setCurrentIndex(8);
    d.cb_mp3_bitrate->setCurrentIndex(16);
    d.cb_mp3_channel->setCurrentIndex(0);
    Erase(d.edt_mp3_quality);
    Type(d.edt_mp3_quality, "2");
    d.cb_vbr->click();
    d.cb_mp3_vbr->setCurrentIndex(13);
    Erase(d.edt_mp3_vbr);
    Type(d.edt_mp3_vbr, "0");
    d.pc->setCurrentWidget(d.ts_wav);
    d.rb_custom->click();
    d.cb_wav_frequency->setCurrentIndex(4);
    d.cb_wav_bit->setCurrentIndex(0);
    d.cb_wav_channel->setCurrentIndex(0);
    d.cb_wma->setCurrentIndex(46);
    d.pc->setCurrentWidget(d.ts_ogg);
    d.cb_ogg_channel->setCurrentIndex(0);
    d.cb_ogg_fre->setCurrentIndex(6);
    d.cb_ogg_bitrate->setCurrentIndex(9);
    d.cb_ogg_quality->click();
    d.cb_ogg_minbit->setCurrentIndex(7);
    d.cb_ogg_maxbit->setCurrentIndex(12);
    d.btn_ok->click();

    const std::pair<const char*, int> expected[] = {
        {"mp3/bitrate", 16},     {"mp3/channel", 0},     {"mp3/frequency", 8},
        {"mp3/quality", 2},      {"mp3/enable vbr", 1},  {"mp3/vbr bitrate", 13},
        {"mp3/vbr quality", 0},  {"wav/mode", 2},        {"wav/bit", 0},
        {"wav/channel", 0},      {"wav/frequency", 4},   {"wma/format", 46},
        {"ogg/channel", 0},      {"ogg/frequency", 6},   {"ogg/bitrate", 9},
        {"ogg/max bitrate", 12}, {"ogg/min bitrate", 7}, {"ogg/enable quality", 0},
        {"ogg/quality", 300}};
    for (const auto& [path, value] : expected) {
        const QStringList parts = QString::fromLatin1(path).split('/');
        EXPECT_EQ(settings_->ReadInteger(parts[0], parts[1], -99), value) << path;
    }

    TAudioFile2 writer;
    TAudioFile2LameEnc encoder;
    ASSERT_TRUE(
        ConfigureOutputFormat(OutputMp3, ConvertCommand::Cut, *settings_, writer, encoder).ok);
    const TAudioFile2LameEnc::Settings& s = encoder.Get();
    EXPECT_EQ(s.sampleRate, 48000);
    EXPECT_EQ(s.bitrate, 320);
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.quality, 2);
    EXPECT_FALSE(s.constantBitrate);
    EXPECT_EQ(s.vbrBitrate, 192);
    EXPECT_EQ(s.vbrQuality, 0);
    EXPECT_TRUE(
        ConfigureOutputFormat(OutputWav, ConvertCommand::Join, *settings_, writer, encoder).ok);

    // The next showing shows what is stored, not what the controls were left at.
    d.btn_defaultClick();
    Show();
    EXPECT_EQ(d.pc->currentWidget(), d.ts_mp3);
    EXPECT_EQ(d.cb_mp3_bitrate->currentText(), "320 Kbps");
    EXPECT_EQ(d.edt_mp3_quality->text(), "2");
    EXPECT_TRUE(d.cb_vbr->isChecked());
    EXPECT_TRUE(d.cb_mp3_vbr->isEnabled());
    EXPECT_TRUE(d.rb_custom->isChecked());
    EXPECT_TRUE(d.cb_wav_bit->isEnabled());
    EXPECT_EQ(d.cb_wma->currentText(), "WMA9 44KHz, Stereo, Lossless");
    EXPECT_FALSE(d.cb_ogg_quality->isChecked());
    EXPECT_FALSE(d.edt_ogg_quality->isEnabled());
    EXPECT_TRUE(d.cb_ogg_minbit->isEnabled());
}

TEST_F(SettingsDialogTest, CancelDefaultAndTheCloseBoxWriteNothing) {
    const QByteArray before = "[mp3]\nbitrate=3\nquality=1\n[wav]\nmode=1\n[ogg]\nquality=5\n";
    StoreIni(before);
    Tfm_set& d = Show();
    EXPECT_EQ(d.cb_mp3_bitrate->currentText(), "32 Kbps");
    EXPECT_TRUE(d.rb_bestsuited->isChecked());
    d.btn_defaultClick();
    EXPECT_EQ(d.cb_mp3_bitrate->currentText(), "128 Kbps");
    EXPECT_TRUE(d.rb_cdquality->isChecked());
    EXPECT_EQ(d.edt_ogg_quality->text(), "300");
    d.btn_cancel->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(IniBytes(), before);

    Show();
    d.cb_wma->setCurrentIndex(0);
    d.close();
    EXPECT_EQ(IniBytes(), before);
    Show();
    EXPECT_EQ(d.cb_wma->currentIndex(), 9);
}

TEST_F(SettingsDialogTest, HandEditedValuesShowSomethingSaneAndOkStoresOnlyValidChoices) {
    StoreIni(
        "[mp3]\nfrequency=42\nbitrate=-1\nchannel=stereo\nquality=15\nenable vbr=2\n"
        "vbr bitrate=0x10\nvbr quality=-3\n"
        "[wav]\nmode=7\nbit=$1\nchannel=\nfrequency=99999999999999\n"
        "[wma]\nformat=47\n"
        "[ogg]\nchannel=1\nfrequency=-2147483648\nbitrate=17\nmax bitrate=16\nmin bitrate=1e3\n"
        "enable quality=maybe\nquality=5000\n");
    Tfm_set& d = Show();
    EXPECT_EQ(d.cb_mp3_frequency->currentText(), "44100 Hz");
    EXPECT_EQ(d.cb_mp3_bitrate->currentText(), "128 Kbps");
    EXPECT_EQ(d.cb_mp3_channel->currentText(), "Stereo");
    EXPECT_EQ(d.ud_mp3_quality->Position(), 9);
    EXPECT_EQ(d.edt_mp3_quality->text(), "9");
    EXPECT_TRUE(d.cb_vbr->isChecked());                  // a stored 2 reads true
    EXPECT_EQ(d.cb_mp3_vbr->currentText(), "320 Kbps");  // hexadecimal 16
    EXPECT_EQ(d.ud_mp3_vbr->Position(), 0);
    EXPECT_TRUE(d.rb_cdquality->isChecked());
    EXPECT_FALSE(d.cb_wav_bit->isEnabled());
    EXPECT_EQ(d.cb_wav_bit->currentText(), "16 bps");
    EXPECT_EQ(d.cb_wav_channel->currentText(), "Stereo");
    EXPECT_EQ(d.cb_wav_frequency->currentText(), "44100 Hz");
    EXPECT_EQ(d.cb_wma->currentIndex(), 9);
    EXPECT_EQ(d.cb_ogg_fre->currentText(), "44100 Hz");
    EXPECT_EQ(d.cb_ogg_bitrate->currentText(), "128 Kbps");
    EXPECT_EQ(d.cb_ogg_maxbit->currentText(), "320 Kbps");
    EXPECT_EQ(d.cb_ogg_minbit->currentText(), "128 Kbps");
    EXPECT_TRUE(d.cb_ogg_quality->isChecked());
    EXPECT_EQ(d.ud_ogg_quality->Position(), 1000);
    EXPECT_EQ(d.edt_ogg_quality->text(), "1,000");

    d.btn_ok->click();
    for (const auto& key : kDialogKeys) {
        const int stored = Stored(key[0], key[1]);
        EXPECT_GE(stored, 0) << key[0] << "/" << key[1];
        EXPECT_LE(stored, 1000) << key[0] << "/" << key[1];
    }
    // Cut and Join accept every format now.
    TAudioFile2 writer;
    TAudioFile2LameEnc encoder;
    for (int format : {OutputMp3, OutputWav, OutputWma, OutputOgg}) {
        const OutputFormatResult r =
            ConfigureOutputFormat(format, ConvertCommand::Cut, *settings_, writer, encoder);
        EXPECT_TRUE(r.ok) << format << ": " << r.message.toStdString();
    }
}

TEST_F(SettingsDialogTest, QualityEditsTakeDigitsOnlyAndFollowTheirUpDowns) {
    Tfm_set& d = Show();
    d.pc->setCurrentWidget(d.ts_ogg);
    QLineEdit* ogg = d.edt_ogg_quality;

    Erase(ogg);
    EXPECT_EQ(d.ud_ogg_quality->Position(), 0);
    EXPECT_EQ(ogg->text(), "");
    Type(ogg, "1500");
    EXPECT_EQ(d.ud_ogg_quality->Position(), 1000);
    EXPECT_EQ(ogg->text(), "1,000");
    Erase(ogg);
    Type(ogg, "999");
    EXPECT_EQ(d.ud_ogg_quality->Position(), 999);
    EXPECT_EQ(ogg->text(), "999");
    Type(ogg, "x-+ .,a");
    EXPECT_EQ(ogg->text(), "999");

    // Leaving the emptied edit puts the 0 in.
    Erase(ogg);
    ASSERT_TRUE(ogg->hasFocus());
    d.cb_ogg_fre->setFocus();
    EXPECT_EQ(ogg->text(), "0");
    EXPECT_EQ(d.ud_ogg_quality->Position(), 0);

    // Arrows step without wrapping.
    QTest::mouseClick(d.ud_ogg_quality->DownButton(), Qt::LeftButton);
    EXPECT_EQ(d.ud_ogg_quality->Position(), 0);
    d.ud_ogg_quality->SetPosition(999);
    QTest::mouseClick(d.ud_ogg_quality->UpButton(), Qt::LeftButton);
    QTest::mouseClick(d.ud_ogg_quality->UpButton(), Qt::LeftButton);
    EXPECT_EQ(d.ud_ogg_quality->Position(), 1000);
    EXPECT_EQ(ogg->text(), "1,000");

    // Pasted junk does not get in either.
    QApplication::clipboard()->setText("12ab");
    ogg->selectAll();
    ogg->paste();
    EXPECT_EQ(ogg->text(), "1,000");
    EXPECT_EQ(d.ud_ogg_quality->Position(), 1000);

    d.pc->setCurrentWidget(d.ts_mp3);
    Erase(d.edt_mp3_quality);
    Type(d.edt_mp3_quality, "a7-3");
    EXPECT_EQ(d.edt_mp3_quality->text(), "7");
    EXPECT_EQ(d.ud_mp3_quality->Position(), 7);
    d.cb_vbr->click();
    Erase(d.edt_mp3_vbr);
    Type(d.edt_mp3_vbr, "q+ 4");
    EXPECT_EQ(d.edt_mp3_vbr->text(), "4");
    EXPECT_EQ(d.ud_mp3_vbr->Position(), 4);
    QTest::keyClick(d.edt_mp3_quality, Qt::Key_Up);
    QTest::keyClick(d.edt_mp3_quality, Qt::Key_Up);
    QTest::keyClick(d.edt_mp3_quality, Qt::Key_Up);
    EXPECT_EQ(d.ud_mp3_quality->Position(), 9);
    EXPECT_EQ(d.edt_mp3_quality->text(), "9");

    // An emptied MP3 quality keeps its last value.
    Erase(d.edt_mp3_quality);
    d.btn_ok->click();
    EXPECT_EQ(Stored("mp3", "quality"), 9);
    EXPECT_EQ(Stored("ogg", "quality"), 1000);
}

TEST_F(SettingsDialogTest, EnablingFollowsTheGoverningControlsAndDisabledValuesAreStillSaved) {
    Tfm_set& d = Show();
    d.cb_mp3_vbr->setCurrentIndex(2);
    d.cb_vbr->click();
    EXPECT_TRUE(d.cb_mp3_vbr->isEnabled());
    EXPECT_TRUE(d.ud_mp3_vbr->isEnabled());
    EXPECT_TRUE(d.edt_mp3_vbr->isEnabled());
    d.cb_vbr->click();
    EXPECT_FALSE(d.cb_mp3_vbr->isEnabled());

    d.pc->setCurrentWidget(d.ts_wav);
    for (QRadioButton* rb : {d.rb_custom, d.rb_bestsuited, d.rb_custom, d.rb_cdquality}) {
        rb->click();
        const bool custom = rb == d.rb_custom;
        EXPECT_EQ(d.cb_wav_frequency->isEnabled(), custom);
        EXPECT_EQ(d.cb_wav_bit->isEnabled(), custom);
        EXPECT_EQ(d.cb_wav_channel->isEnabled(), custom);
    }
    d.rb_bestsuited->click();

    d.pc->setCurrentWidget(d.ts_ogg);
    d.cb_ogg_quality->click();
    EXPECT_FALSE(d.edt_ogg_quality->isEnabled());
    EXPECT_FALSE(d.ud_ogg_quality->isEnabled());
    EXPECT_TRUE(d.cb_ogg_minbit->isEnabled());
    EXPECT_TRUE(d.cb_ogg_maxbit->isEnabled());

    d.btn_defaultClick();
    EXPECT_TRUE(d.rb_cdquality->isChecked());
    EXPECT_FALSE(d.cb_wav_frequency->isEnabled());
    EXPECT_TRUE(d.cb_ogg_quality->isChecked());
    EXPECT_TRUE(d.edt_ogg_quality->isEnabled());
    EXPECT_FALSE(d.cb_ogg_minbit->isEnabled());
    EXPECT_FALSE(d.cb_mp3_vbr->isEnabled());

    d.rb_bestsuited->click();
    d.cb_mp3_vbr->setCurrentIndex(2);
    d.btn_ok->click();
    EXPECT_EQ(Stored("wav", "mode"), 1);
    EXPECT_EQ(Stored("mp3", "vbr bitrate"), 2);
    EXPECT_EQ(Stored("mp3", "enable vbr"), 0);
}

TEST_F(SettingsDialogTest, EveryTextFitsInItsControlOnEveryPage) {
    Tfm_set& d = Show();
    // 349 high, and 52 more for the choice to keep the source's audio.
    EXPECT_EQ(d.size(), QSize(391, 401));
    const QRect client = d.rect();
    for (int page = 0; page < d.pc->count(); ++page) {
        d.pc->setCurrentIndex(page);
        QApplication::processEvents();
        for (QWidget* w : d.findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            const std::string name =
                (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                           : w->objectName())
                    .toStdString();
            const QRect inDialog(w->mapTo(&d, QPoint(0, 0)), w->size());
            EXPECT_TRUE(client.contains(inDialog)) << name << " on page " << page;
            const bool hasText = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                                 qobject_cast<QComboBox*>(w);
            if (hasText && !qobject_cast<QToolButton*>(w)) {
                EXPECT_GE(w->width(), w->sizeHint().width()) << name << " on page " << page;
                EXPECT_GE(w->height(), w->minimumSizeHint().height()) << name;
            }
        }
    }
}

// The two choices to keep the source's audio: off without a key, read when shown, written on
// OK after every other key, unchecked by Default, worked by a click on their words too, and read
// by Cut and Join as the audio they copy.
TEST_F(SettingsDialogTest, KeepTheSourcesAudioChecksAreStoredLastAndReadByTheConversion) {
    TAudioFile2 writer;
    TAudioFile2LameEnc encoder;
    Tfm_set& d = Show();
    EXPECT_FALSE(d.cb_mp3_keep->isChecked());
    EXPECT_FALSE(d.cb_ogg_keep->isChecked());
    EXPECT_EQ(d.cb_mp3_keep->accessibleName(),
              "Keep the source's audio when it is already MP3 (no re-encoding)");
    EXPECT_EQ(d.cb_ogg_keep->accessibleName(),
              "Keep the source's audio when it is already Ogg Vorbis (no re-encoding)");
    EXPECT_EQ(d.cb_mp3_keep->parentWidget()->parentWidget(), d.ts_mp3);
    EXPECT_EQ(d.cb_ogg_keep->parentWidget()->parentWidget(), d.ts_ogg);
    auto* mp3Text = d.findChild<QLabel*>("cb_mp3_keep_text");
    ASSERT_NE(mp3Text, nullptr);
    EXPECT_EQ(mp3Text->text(), d.cb_mp3_keep->accessibleName());
    ASSERT_NE(d.findChild<QLabel*>("cb_ogg_keep_note"), nullptr);
    EXPECT_EQ(d.findChild<QLabel*>("cb_ogg_keep_note")->text(),
              "The settings above then apply to other inputs only.");

    // Absent keys: the conversion re-encodes as it always did.
    EXPECT_FALSE(
        ConfigureOutputFormat(OutputMp3, ConvertCommand::Cut, *settings_, writer, encoder).keeps);
    EXPECT_FALSE(
        ConfigureOutputFormat(OutputOgg, ConvertCommand::Cut, *settings_, writer, encoder).keeps);

    QTest::mouseClick(mp3Text, Qt::LeftButton);  // the words work the box
    EXPECT_TRUE(d.cb_mp3_keep->isChecked());
    d.pc->setCurrentWidget(d.ts_ogg);
    d.cb_ogg_keep->click();
    d.btn_ok->click();
    EXPECT_EQ(settings_->ReadString("mp3", "keep source audio", "absent"), "1");
    EXPECT_EQ(settings_->ReadString("ogg", "keep source audio", "absent"), "1");
    // Written after the keys the dialog always wrote.
    const QByteArray ini = IniBytes();
    EXPECT_GT(ini.indexOf("keep source audio"), ini.indexOf("vbr quality"));
    EXPECT_GT(ini.lastIndexOf("keep source audio"), ini.indexOf("quality=300"));

    const OutputFormatResult mp3 =
        ConfigureOutputFormat(OutputMp3, ConvertCommand::Cut, *settings_, writer, encoder);
    ASSERT_TRUE(mp3.keeps);
    EXPECT_EQ(*mp3.keeps, StreamCoding::Mp3);
    const OutputFormatResult ogg =
        ConfigureOutputFormat(OutputOgg, ConvertCommand::Join, *settings_, writer, encoder);
    ASSERT_TRUE(ogg.keeps);
    EXPECT_EQ(*ogg.keeps, StreamCoding::OggVorbis);
    EXPECT_FALSE(
        ConfigureOutputFormat(OutputWav, ConvertCommand::Cut, *settings_, writer, encoder).keeps);

    // Shown again: read from the file; Default unchecks both, and Cancel stores nothing.
    Show();
    EXPECT_TRUE(d.cb_mp3_keep->isChecked());
    EXPECT_TRUE(d.cb_ogg_keep->isChecked());
    d.btn_default->click();
    EXPECT_FALSE(d.cb_mp3_keep->isChecked());
    EXPECT_FALSE(d.cb_ogg_keep->isChecked());
    d.btn_cancel->click();
    EXPECT_EQ(settings_->ReadString("mp3", "keep source audio", "absent"), "1");
    // A hand-written 0 reads as off.
    settings_->WriteString("ogg", "keep source audio", "0");
    Show();
    EXPECT_FALSE(d.cb_ogg_keep->isChecked());
    d.btn_cancel->click();
}

class SettingsFromMainWindowTest : public test::MainWindowFixture {
  protected:
    void SetUp() override { QFile::remove(IniPath()); }
    void TearDown() override {
        MainWindowFixture::TearDown();
        QFile::remove(IniPath());
    }

    Tfm_main& Start() {
        Open();
        return W();
    }
};

TEST_F(SettingsFromMainWindowTest, OptionsEditsTheWindowsSettingsFileAndIsIgnoredWhileConverting) {
    Tfm_main& window = Start();
    window.Run().IsConverting = true;
    window.Option1->trigger();
    EXPECT_TRUE(prompts_->shown.isEmpty());
    EXPECT_FALSE(forms_.fm_set->isVisible());

    window.Run().IsConverting = false;
    prompts_->modal = [&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            forms_.fm_set->cb_mp3_frequency->setCurrentIndex(3);
            forms_.fm_set->btn_ok->click();
        });
        return dialog.exec();
    };
    window.Option1->trigger();
    ASSERT_EQ(prompts_->shown.size(), 1);
    EXPECT_EQ(prompts_->shown[0], forms_.fm_set);
    EXPECT_EQ(window.Settings()->ReadInteger("mp3", "frequency", -99), 3);
    EXPECT_EQ(window.Settings()->ReadInteger("ogg", "quality", -99), 300);
}

TEST_F(SettingsFromMainWindowTest, AFailedWriteOnOkIsReportedAndKeepsTheDialogOpen) {
    // A folder where the file should be: no write can replace it.
    ASSERT_TRUE(QDir().mkpath(IniPath()));
    Tfm_main& window = Start();
    bool openAfterOk = false;
    prompts_->modal = [&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            QTest::mouseClick(forms_.fm_set->btn_ok, Qt::LeftButton);
            openAfterOk = dialog.isVisible();
            dialog.reject();
        });
        return dialog.exec();
    };
    window.Option1->trigger();
    EXPECT_TRUE(openAfterOk);
    ASSERT_EQ(prompts_->boxes.size(), 1);
    EXPECT_EQ(prompts_->boxes[0], "Unable to write to " + IniPath());
    EXPECT_TRUE(QFileInfo(IniPath()).isDir());
    EXPECT_TRUE(QDir(IniPath()).removeRecursively());
}

TEST_F(SettingsFromMainWindowTest, EscapeClosesTheDialogButNotTheMainWindow) {
    Tfm_main& window = Start();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    bool dialogWasActive = false;
    bool closedByEscape = false;
    prompts_->modal = [&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            dialogWasActive = WaitUntilActive(dialog);
            forms_.fm_set->cb_wma->setCurrentIndex(0);
            QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
            closedByEscape = !dialog.isVisible();
            if (dialog.isVisible()) dialog.reject();
        });
        return dialog.exec();
    };
    window.Option1->trigger();
    EXPECT_TRUE(dialogWasActive);
    EXPECT_TRUE(closedByEscape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(window.Settings(), nullptr);
    // Escape cancels: nothing was written.
    EXPECT_FALSE(QFile::exists(IniPath()));
}

}  // namespace
}  // namespace quillet

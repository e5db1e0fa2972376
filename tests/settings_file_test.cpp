#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "settings/SettingsFile.h"

namespace quillet {
namespace {

class SettingsFileTest : public ::testing::Test {
  protected:
    QString Path() const { return dir_.filePath("quillet.ini"); }

    void Store(const QByteArray& bytes) const {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray Stored() const {
        QFile file(Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // The integer that a file holding `value` under [cut] format gives, with default -77.
    int IntegerOf(const QByteArray& value) const {
        Store("[cut]\nformat=" + value + "\n");
        return SettingsFile(Path()).ReadInteger("cut", "format", -77);
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsFileTest, MissingFileReadsDefaultsAndIsNotCreatedByReading) {
    SettingsFile settings(Path());
    EXPECT_EQ(settings.ReadString("cut", "output directory", "/music"), "/music");
    EXPECT_EQ(settings.ReadInteger("mp3", "bitrate", 11), 11);
    EXPECT_TRUE(settings.ReadBool("basic", "enable sub dir", true));
    EXPECT_FALSE(settings.ReadBool("cut", "pre-listen", false));
    EXPECT_FALSE(QFile::exists(Path()));
}

TEST_F(SettingsFileTest, IntegerConversions) {
    const struct {
        QByteArray stored;
        int expected;
    } cases[] = {
        {"31", 31},
        {"-5", -5},
        {"+7", 7},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$1F", 31},
        {"$1f", 31},
        {"-$1F", -31},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"  42  ", 42},  // the value is trimmed like every value
        {"007", 7},
        // Nothing that fails to convert as a whole gives anything but the default.
        {"", -77},
        {"0x", -77},
        {"$", -77},
        {"-", -77},
        {"word", -77},
        {"12abc", -77},
        {"1 2", -77},
        {"1.5", -77},
        {"0x1G", -77},
        {"$100000000", -77},
        {"2147483648", -77},
        {"-2147483649", -77},
        {"99999999999999999999", -77},
        {"٣", -77},  // a digit of another script
    };
    for (const auto& c : cases) EXPECT_EQ(IntegerOf(c.stored), c.expected) << c.stored.data();
}

TEST_F(SettingsFileTest, BooleansReadAsIntegers) {
    SettingsFile settings(Path());
    Store("[cut]\na=2\nb=0\nc=word\nd=\ne=-1\nf=0x\n");
    EXPECT_TRUE(settings.ReadBool("cut", "a", false));
    EXPECT_FALSE(settings.ReadBool("cut", "b", true));
    EXPECT_TRUE(settings.ReadBool("cut", "c", true));
    EXPECT_FALSE(settings.ReadBool("cut", "c", false));
    EXPECT_TRUE(settings.ReadBool("cut", "d", true));
    EXPECT_TRUE(settings.ReadBool("cut", "e", false));
    EXPECT_FALSE(settings.ReadBool("cut", "f", false));

    settings.WriteBool("mp3", "enable vbr", true);
    settings.WriteBool("ogg", "enable quality", false);
    EXPECT_EQ(settings.ReadInteger("mp3", "enable vbr", 0), 1);
    EXPECT_EQ(settings.ReadString("ogg", "enable quality", "?"), "0");
}

TEST_F(SettingsFileTest, NamesMatchWithoutCaseAndFirstDuplicateWins) {
    Store(
        "top=ignored\n"
        "[CUT]\n"
        "Format=2\n"
        "format=3\n"
        "[other]\n"
        "format=9\n"
        "[cut]\n"
        "format=4\n"
        "late=5\n");
    SettingsFile settings(Path());
    EXPECT_EQ(settings.ReadInteger("cut", "format", 0), 2);
    EXPECT_EQ(settings.ReadInteger("Cut", "FORMAT", 0), 2);
    EXPECT_EQ(settings.ReadInteger("cut", "late", -1), -1);  // in the ignored second [cut]
    EXPECT_EQ(settings.ReadString("cut", "top", "d"), "d");  // keys before any section
    EXPECT_EQ(settings.ReadString("", "top", "d"), "d");

    settings.WriteInteger("Cut", "FORMAT", 1);
    EXPECT_EQ(Stored(),
              "top=ignored\n[CUT]\nFormat=1\nformat=3\n[other]\nformat=9\n[cut]\nformat=4\n"
              "late=5\n");
}

TEST_F(SettingsFileTest, StringsAreTrimmedUnquotedAndCutAt2047Characters) {
    const QByteArray longValue(3000, 'x');
    Store(
        "[cut]\n"
        "  output directory  =   /home/a b/music  \n"
        "long=" +
        longValue +
        "\n"
        "quoted=\" padded \"\n"
        "single='x'\n"
        "lonely=\"\n"
        "path=/a=b\n");
    SettingsFile settings(Path());
    EXPECT_EQ(settings.ReadString("cut", "output directory", ""), "/home/a b/music");
    EXPECT_EQ(settings.ReadString("cut", "long", "").size(), 2047);
    EXPECT_EQ(settings.ReadString("cut", "quoted", ""), " padded ");
    EXPECT_EQ(settings.ReadString("cut", "single", ""), "x");
    EXPECT_EQ(settings.ReadString("cut", "lonely", ""), "\"");
    EXPECT_EQ(settings.ReadString("cut", "path", ""), "/a=b");
}

TEST_F(SettingsFileTest, WrittenValuesReadBackExactly) {
    SettingsFile settings(Path());
    const QString values[] = {
        "/home/me/Music", " leading and trailing ", "\"quoted\"", "'single'", "ünïcödé ♪", "",
        "a;b#c=d[e]",     QString(2047, 'y')};
    for (const QString& value : values) {
        settings.WriteString("cut", "output directory", value);
        EXPECT_EQ(settings.ReadString("cut", "output directory", "default"), value);
    }
    settings.WriteInteger("mp3", "bitrate", -12);
    EXPECT_EQ(settings.ReadInteger("mp3", "bitrate", 0), -12);
    EXPECT_EQ(settings.ReadString("mp3", "bitrate", ""), "-12");
}

TEST_F(SettingsFileTest, FirstWriteCreatesFileAndFolder) {
    const QString path = dir_.filePath("deep/er/quillet.ini");
    SettingsFile settings(path);
    settings.WriteBool("cut", "pre-listen", true);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[cut]\npre-listen=1\n");
}

TEST_F(SettingsFileTest, WriteKeepsEveryOtherLineByteForByte) {
    const QByteArray before =
        "; written by hand\r\n"
        "[cut]\r\n"
        "output directory = /old\r\n"
        "  format=2  \r\n"
        "odd line without equals\r\n"
        "\r\n"
        "[mp3]\r\n"
        "bitrate=11\r\n"
        "\r\n"
        "[wav]\r\n"
        "mode=0";  // no final newline
    Store(before);
    SettingsFile settings(Path());

    settings.WriteString("cut", "output directory", "/new");
    QByteArray expected = before;
    expected.replace("output directory = /old", "output directory =/new");
    EXPECT_EQ(Stored(), expected);

    // A new key goes to the end of its section, before the blank line that ends it.
    settings.WriteInteger("mp3", "quality", 9);
    expected.replace("bitrate=11\r\n", "bitrate=11\r\nquality=9\r\n");
    EXPECT_EQ(Stored(), expected);

    // A new key in the last section, which has no final newline.
    settings.WriteInteger("wav", "bit", 1);
    expected += "\r\nbit=1\r\n";
    EXPECT_EQ(Stored(), expected);

    // A new section at the end, in the file's own line ending style.
    settings.WriteInteger("ogg", "quality", 300);
    expected += "\r\n[ogg]\r\nquality=300\r\n";
    EXPECT_EQ(Stored(), expected);
}

TEST_F(SettingsFileTest, DamagedFilesAreTolerated) {
    QByteArray junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) % 256);
    const QByteArray hugeLine(2 * 1024 * 1024, 'z');
    const QByteArray nuls(2, '\0');
    const QByteArray before = "\xEF\xBB\xBF[cut]\n" + junk + "\n" + hugeLine +
                              "\nformat=3\n[\xFF\xFE]\n" + nuls + "=1\n[mp3\nbitrate=12";
    Store(before);
    SettingsFile settings(Path());
    EXPECT_EQ(settings.ReadInteger("cut", "format", 0), 3);
    EXPECT_EQ(settings.ReadInteger("mp3", "bitrate", 5), 5);  // "[mp3" is no header

    settings.WriteString("cut", "pre-listen", "1");
    const QByteArray after = Stored();
    EXPECT_TRUE(after.startsWith("\xEF\xBB\xBF[cut]\n" + junk + "\n" + hugeLine +
                                 "\nformat=3\npre-listen=1\n[\xFF\xFE]"));
    EXPECT_TRUE(after.endsWith("[mp3\nbitrate=12"));
    EXPECT_EQ(after.size(), before.size() + QByteArray("pre-listen=1\n").size());
    EXPECT_TRUE(settings.ReadBool("cut", "pre-listen", false));
}

TEST_F(SettingsFileTest, ByteOrderMarkDoesNotHideTheFirstSection) {
    Store("\xEF\xBB\xBF[cut]\r\nformat=2\r\n");
    SettingsFile settings(Path());
    EXPECT_EQ(settings.ReadInteger("cut", "format", 0), 2);
    settings.WriteInteger("cut", "format", 1);
    EXPECT_EQ(Stored(), "\xEF\xBB\xBF[cut]\r\nformat=1\r\n");
}

TEST_F(SettingsFileTest, NothingIsCached) {
    SettingsFile settings(Path());
    Store("[cut]\nformat=1\n");
    EXPECT_EQ(settings.ReadInteger("cut", "format", 0), 1);
    Store("[cut]\nformat=2\n");
    EXPECT_EQ(settings.ReadInteger("cut", "format", 0), 2);
    // A write starts from what is on disk now, not from what was read before.
    Store("[cut]\nformat=2\n[mp3]\nbitrate=4\n");
    settings.WriteInteger("cut", "format", 3);
    EXPECT_EQ(Stored(), "[cut]\nformat=3\n[mp3]\nbitrate=4\n");
}

TEST_F(SettingsFileTest, RefusedWriteThrowsWithThePathAndChangesNothing) {
    // A plain file where the folder should be: no folder can be made, even for root.
    const QString blocker = dir_.filePath("blocker");
    {
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString path = blocker + "/quillet.ini";
    SettingsFile settings(path);
    try {
        settings.WriteString("cut", "output directory", "/x");
        FAIL() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(settings.ReadString("cut", "output directory", "d"), "d");
}

// As an ordinary user: a child that gives up root, which may write anywhere.
TEST_F(SettingsFileTest, ReadOnlyFolderRefusesWriteForOrdinaryUsers) {
    Store("[cut]\nformat=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(Path()).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0555), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        SettingsFile settings(Path());
        if (settings.ReadInteger("cut", "format", 0) != 1) ::_exit(11);  // it can read
        try {
            settings.WriteInteger("cut", "format", 2);
        } catch (const SettingsError& e) {
            ::_exit(QString::fromUtf8(e.what()) == "Unable to write to " + Path() ? 0 : 12);
        }
        ::_exit(13);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "10: root kept, 11: no read, 12: other message, 13: no error";
    EXPECT_EQ(Stored(), "[cut]\nformat=1\n");
}

TEST_F(SettingsFileTest, LineBreakInValueIsRefusedAndFileKept) {
    Store("[cut]\nformat=1\n");
    SettingsFile settings(Path());
    EXPECT_THROW(settings.WriteString("cut", "output directory", "/a\nformat=3"), SettingsError);
    EXPECT_EQ(Stored(), "[cut]\nformat=1\n");
}

TEST(SettingsFileDefaultPath, IsInTheUsersConfigurationFolder) {
    EXPECT_EQ(
        SettingsFile::DefaultPath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/quillet.ini");
    EXPECT_TRUE(SettingsFile::DefaultPath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
}

}  // namespace
}  // namespace quillet

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include "common/FileNames.h"

using quillet::DecodeFileName;
using quillet::EncodeFileName;

namespace {

QString Escape(uint8_t byte) { return QString(QChar(static_cast<char16_t>(0xDC00 + byte))); }

}  // namespace

TEST(FileNameBytes, EverySingleByteAndEveryPairRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const QByteArray bytes(1, static_cast<char>(b));
        const QString text = DecodeFileName(bytes);
        ASSERT_EQ(text.size(), 1);
        // ASCII is itself; a byte of 0x80 or more alone is never valid UTF-8.
        EXPECT_EQ(text.at(0).unicode(), b < 0x80 ? b : 0xDC80 + (b - 0x80)) << b;
        EXPECT_EQ(EncodeFileName(text), bytes) << b;
    }
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const QByteArray bytes = QByteArray(1, static_cast<char>(a)) + static_cast<char>(b);
            const QString text = DecodeFileName(bytes);
            ASSERT_EQ(EncodeFileName(text), bytes) << a << " " << b;
            ASSERT_EQ(DecodeFileName(EncodeFileName(text)), text);
        }
    }
}

TEST(FileNameBytes, ValidUtf8ReadsAsQtReadsIt) {
    const QByteArray names[] = {
        "plain.mp3",
        "caf\xc3\xa9.mp3",               // é
        "\xe6\x97\xa5\xe6\x9c\xac.wav",  // 日本
        "\xf0\x9d\x84\x9e clef.ogg",     // U+1D11E, a surrogate pair in UTF-16
        "\xef\xbf\xbd.wma",              // U+FFFD itself is a valid character
        "\xf4\x8f\xbf\xbf",              // U+10FFFF, the last code point
        "\xee\x80\x80",                  // U+E000, just past the surrogates
        "\xf0\x90\x82\x80",              // U+10080: its low surrogate is U+DC80, an escape's
    };
    for (const QByteArray& name : names) {
        EXPECT_EQ(DecodeFileName(name), QString::fromUtf8(name)) << name.toHex().constData();
        EXPECT_EQ(EncodeFileName(QString::fromUtf8(name)), name) << name.toHex().constData();
    }
}

TEST(FileNameBytes, InvalidSequencesBecomeOneEscapePerByte) {
    struct Case {
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"caf\xe9.mp3", "caf" + Escape(0xE9) + ".mp3"},                // Latin-1 é
        {"\xc0 la.mp3", Escape(0xC0) + " la.mp3"},                     // Latin-1 À
        {"\xc0\xaf", Escape(0xC0) + Escape(0xAF)},                     // overlong "/"
        {"\xe0\x80\xaf", Escape(0xE0) + Escape(0x80) + Escape(0xAF)},  // overlong, 3 bytes
        {"\xf0\x80\x80\xaf", Escape(0xF0) + Escape(0x80) + Escape(0x80) + Escape(0xAF)},
        {"\xed\xa0\x80", Escape(0xED) + Escape(0xA0) + Escape(0x80)},  // U+D800 encoded
        {"\xed\xb3\xa9", Escape(0xED) + Escape(0xB3) + Escape(0xA9)},  // U+DCE9 encoded
        {"\xf4\x90\x80\x80", Escape(0xF4) + Escape(0x90) + Escape(0x80) + Escape(0x80)},
        {"\xe2\x82", Escape(0xE2) + Escape(0x82)},               // cut short
        {"\xe2\x82.mp3", Escape(0xE2) + Escape(0x82) + ".mp3"},  // cut short, then ASCII
        {"\x80\xbf", Escape(0x80) + Escape(0xBF)},               // stray continuations
        {"\xf8\x88\x80\x80\x80",
         Escape(0xF8) + Escape(0x88) + Escape(0x80) + Escape(0x80) + Escape(0x80)},  // 5-byte form
        {"\xe9\xc3\xa9", Escape(0xE9) + QChar(0xE9)},  // bad, then valid é
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeFileName(c.bytes), c.text) << c.bytes.toHex().constData();
        EXPECT_EQ(EncodeFileName(c.text), c.bytes) << c.bytes.toHex().constData();
    }
    // The byte é and the character é are different names, and stay so.
    EXPECT_NE(DecodeFileName("caf\xe9"), DecodeFileName("caf\xc3\xa9"));
}

TEST(FileNameBytes, SurrogatesThatStandForNoByteAreWrittenAsReplacement) {
    const QString lone[] = {QString(QChar(0xD800)), QString(QChar(0xDBFF)), QString(QChar(0xDC7F)),
                            QString(QChar(0xDD00)), QString(QChar(0xDFFF)) + "x"};
    EXPECT_EQ(EncodeFileName(lone[0]), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeFileName(lone[1]), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeFileName(lone[2]), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeFileName(lone[3]), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeFileName(lone[4]), QByteArray("\xef\xbf\xbdx"));
    EXPECT_EQ(EncodeFileName(Escape(0xE9) + QChar(0xD834)), QByteArray("\xe9\xef\xbf\xbd"));
}

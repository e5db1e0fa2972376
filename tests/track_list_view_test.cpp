// The list view on its own: rows tall enough for every letter at every scale.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTest>
#include <cmath>

#include "dialogs/FormFont.h"
#include "tracks/TrackList.h"
#include "widgets/Theme.h"
#include "widgets/TrackListView.h"

namespace quillet {
namespace {

// Letters that reach below the line and above the capitals.
const QString kTallCaption = QStringLiteral("Jgpqy_ÅÉ|gjpqy.mp3");

struct Ink {
    int top = -1;     // device rows, in the cell
    int bottom = -1;  // last row with ink
};

// Rows of the cell's text area (device pixels) with anything of the text's colour.
Ink InkRows(const QImage& image, const QRect& cell, QColor base) {
    Ink ink;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int d = std::abs(c.red() - base.red()) + std::abs(c.green() - base.green()) +
                          std::abs(c.blue() - base.blue());
            if (d < 90) continue;
            if (ink.top < 0) ink.top = y - cell.top();
            ink.bottom = y - cell.top();
            break;
        }
    }
    return ink;
}

// Run in a child process at the scale its environment sets.
TEST(TrackListViewAtScale, RowsShowWholeLetters) {
    if (!qEnvironmentVariableIsSet("QUILLET_SCALE_CHILD")) GTEST_SKIP() << "run by the parent";
    ApplyTheme(*qApp);
    QWidget form;
    form.setFont(FormFont());
    form.resize(420, 260);
    TrackList tracks;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(tracks.Append("/m/" + kTallCaption, kTallCaption, 44100, 1000));
    TrackListView view(tracks, &form);
    view.setGeometry(6, 6, 402, 247);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const qreal ratio = view.devicePixelRatioF();
    const QImage image = view.viewport()->grab().toImage();
    const QColor base = view.palette().color(QPalette::Base);
    // Rows 1 and 2: row 0 has the focus frame.
    for (int row = 1; row < 3; ++row) {
        const QRect cell = view.visualRect(tracks.index(row, TrackList::CaptionColumn));
        // The cell less its grid lines (right and bottom, one pixel at scale 1).
        const QRect text(std::lround(cell.left() * ratio) + 1, std::lround(cell.top() * ratio),
                         std::lround((cell.width() - 2) * ratio),
                         std::lround((cell.height() - 1) * ratio));
        const Ink ink = InkRows(image, text, base);
        ASSERT_GE(ink.top, 0);
        EXPECT_GT(ink.top, 0) << "the top of the letters is cut at scale " << ratio;
        EXPECT_LT(ink.bottom, text.height() - 1)
            << "the bottom of the letters is cut at scale " << ratio;
    }
}

TEST(TrackListView, RowsShowWholeLettersAtEveryScale) {
    for (const char* scale : {"1", "1.5", "2"}) {
        SCOPED_TRACE(scale);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLET_SCALE_CHILD", "1");
        env.insert("QT_SCALE_FACTOR", scale);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=TrackListViewAtScale.*"});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    }
}

}  // namespace
}  // namespace quillet

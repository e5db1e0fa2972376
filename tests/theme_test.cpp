// The look of what the skin does not draw: the skin's palette on every kind of window, menus
// and edits that stand out from a dark window, the theme's vector icons in message boxes and
// file dialogs at every scale, and the program's icon and desktop entry.
#include "widgets/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include "dialogs/Tfm_about.h"
#include "dialogs/Tfm_dir.h"
#include "dialogs/Tfm_set.h"

namespace quillet {
namespace {

class Theme : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ApplyTheme(*qApp); }
};

// The palette as the skin's source writes it, role by role.
QMap<QPalette::ColorRole, QColor> SkinPaletteSource() {
    QFile file(QStringLiteral(QUILLET_SOURCE_DIR "/resources/skin/skin.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject palette =
        QJsonDocument::fromJson(file.readAll()).object().value("palette").toObject();
    const QMap<QString, QPalette::ColorRole> roles = {
        {"window", QPalette::Window},
        {"windowText", QPalette::WindowText},
        {"base", QPalette::Base},
        {"alternateBase", QPalette::AlternateBase},
        {"text", QPalette::Text},
        {"button", QPalette::Button},
        {"buttonText", QPalette::ButtonText},
        {"highlight", QPalette::Highlight},
        {"highlightedText", QPalette::HighlightedText},
        {"toolTipBase", QPalette::ToolTipBase},
        {"toolTipText", QPalette::ToolTipText},
        {"light", QPalette::Light},
        {"mid", QPalette::Mid},
        {"dark", QPalette::Dark}};
    QMap<QPalette::ColorRole, QColor> colors;
    for (auto it = roles.begin(); it != roles.end(); ++it) {
        EXPECT_TRUE(palette.contains(it.key())) << it.key().toStdString();
        colors.insert(it.value(), QColor(palette.value(it.key()).toString()));
    }
    return colors;
}

TEST_F(Theme, EveryKindOfWindowTakesTheSkinsPalette) {
    const auto skin = SkinPaletteSource();
    ASSERT_LT(skin.value(QPalette::Window).lightness(), 64) << "the skin is a dark one";

    QMessageBox box(QMessageBox::Information, "Information", "File has existed. Overwrite?");
    QMenu menu;
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    Tfm_set settings;
    Tfm_about about;
    Tfm_dir folders;
    for (QWidget* window :
         std::initializer_list<QWidget*>{&box, &menu, &files, &settings, &about, &folders}) {
        SCOPED_TRACE(window->metaObject()->className());
        for (auto it = skin.begin(); it != skin.end(); ++it)
            EXPECT_EQ(window->palette().color(QPalette::Active, it.key()), it.value())
                << "role " << it.key();
        // Text on a disabled control still reads, but fainter.
        const QColor disabled = window->palette().color(QPalette::Disabled, QPalette::Text);
        EXPECT_LT(disabled.alphaF(), 1.0);
    }
}

// Lightness of a colour as the eye takes it, 0..255.
int Lightness(QRgb c) { return QColor(c).lightness(); }

TEST_F(Theme, MenusAndEditsStandOutFromADarkWindow) {
    const QColor window = qApp->palette().color(QPalette::Window);

    QMenu menu;
    menu.addAction("Add File");
    menu.addSeparator();
    menu.addAction("Clear");
    menu.ensurePolished();
    menu.resize(menu.sizeHint());
    const QImage shot = menu.grab().toImage();
    const int edge = Lightness(shot.pixel(0, shot.height() / 2));
    const int face = Lightness(shot.pixel(shot.width() - 4, shot.height() / 2));
    EXPECT_GT(face, window.lightness()) << "a menu lifts off the window";
    EXPECT_GT(edge, face + 10) << "and has an edge that shows";

    // An edit's frame and an unchecked box's edge are seen against both the window and the
    // field they enclose.
    QWidget host;
    host.setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(&host);
    auto* edit = new QLineEdit(&host);
    auto* check = new QCheckBox("Enable VBR", &host);
    layout->addWidget(edit);
    layout->addWidget(check);
    host.resize(200, 80);
    host.show();
    const QImage picture = host.grab().toImage();
    const int fieldColour = Lightness(qApp->palette().color(QPalette::Base).rgb());
    const QPoint editLeft = edit->geometry().topLeft() + QPoint(0, edit->height() / 2);
    int brightest = 0;
    for (int dx = 0; dx < 3; ++dx)
        brightest = std::max(brightest, Lightness(picture.pixel(editLeft + QPoint(dx, 0))));
    EXPECT_GT(brightest, std::max(fieldColour, window.lightness()) + 20);

    QStyleOptionButton option;
    option.initFrom(check);
    const QRect box = check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
    const QPoint boxLeft =
        check->geometry().topLeft() + box.topLeft() + QPoint(0, box.height() / 2);
    brightest = 0;
    for (int dx = 0; dx < 3; ++dx)
        brightest = std::max(brightest, Lightness(picture.pixel(boxLeft + QPoint(dx, 0))));
    EXPECT_GT(brightest, std::max(fieldColour, window.lightness()) + 20);
}

// The drawing itself, rendered by QtSvg at the size asked for.
QImage Drawing(const QString& name, int side) {
    QSvgRenderer renderer(QStringLiteral(":/theme/icons/%1.svg").arg(name));
    EXPECT_TRUE(renderer.isValid()) << name.toStdString();
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

// Share of pixels whose colour differs by more than `tolerance` in a channel.
double Difference(const QImage& a, const QImage& b, int tolerance = 24) {
    if (a.size() != b.size()) return 1;
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            if (std::abs(p.red() - q.red()) > tolerance ||
                std::abs(p.green() - q.green()) > tolerance ||
                std::abs(p.blue() - q.blue()) > tolerance ||
                std::abs(p.alpha() - q.alpha()) > tolerance)
                ++differ;
        }
    return double(differ) / (a.width() * a.height());
}

TEST_F(Theme, MessageBoxesShowTheThemesDrawingsSharpAtEveryScale) {
    const struct {
        QMessageBox::Icon kind;
        QStyle::StandardPixmap pixmap;
        const char* drawing;
    } icons[] = {
        {QMessageBox::Information, QStyle::SP_MessageBoxInformation, "information"},
        {QMessageBox::Warning, QStyle::SP_MessageBoxWarning, "warning"},
        {QMessageBox::Critical, QStyle::SP_MessageBoxCritical, "critical"},
        {QMessageBox::Question, QStyle::SP_MessageBoxQuestion, "question"},
    };
    QStyle* style = QApplication::style();
    const int side = style->pixelMetric(QStyle::PM_MessageBoxIconSize);
    for (const auto& icon : icons) {
        SCOPED_TRACE(icon.drawing);
        QMessageBox box(icon.kind, "Information", "Text");
        const QImage shown = box.iconPixmap().toImage();
        EXPECT_LT(Difference(shown, Drawing(icon.drawing, side)), 0.01);

        QImage previous;
        for (const qreal ratio : {1.0, 1.5, 2.0}) {
            SCOPED_TRACE(ratio);
            const QPixmap pixmap =
                style->standardIcon(icon.pixmap).pixmap(QSize(side, side), ratio);
            const int device = qRound(side * ratio);
            EXPECT_EQ(pixmap.devicePixelRatio(), ratio);
            ASSERT_EQ(pixmap.size(), QSize(device, device));
            // Drawn at the screen's own pixels, not a smaller picture blown up.
            EXPECT_LT(Difference(pixmap.toImage(), Drawing(icon.drawing, device)), 0.01);
            if (!previous.isNull()) {
                const QImage blownUp = previous.scaled(device, device, Qt::IgnoreAspectRatio,
                                                       Qt::SmoothTransformation);
                EXPECT_GT(Difference(pixmap.toImage(), blownUp, 8), 0.02);
            }
            previous = pixmap.toImage();
        }
    }
}

TEST_F(Theme, FileDialogsAndDialogButtonsUseTheThemesIcons) {
    const struct {
        QStyle::StandardPixmap pixmap;
        const char* drawing;
    } icons[] = {
        {QStyle::SP_DirIcon, "folder"},
        {QStyle::SP_FileIcon, "file"},
        {QStyle::SP_ComputerIcon, "computer"},
        {QStyle::SP_DirHomeIcon, "home"},
        {QStyle::SP_ArrowBack, "back"},
        {QStyle::SP_ArrowForward, "forward"},
        {QStyle::SP_FileDialogToParent, "parent"},
        {QStyle::SP_FileDialogNewFolder, "new-folder"},
        {QStyle::SP_FileDialogListView, "list-view"},
        {QStyle::SP_FileDialogDetailedView, "detail-view"},
        {QStyle::SP_DialogOkButton, "ok"},
        {QStyle::SP_DialogCancelButton, "cancel"},
        {QStyle::SP_DialogOpenButton, "folder-open"},
        {QStyle::SP_DialogSaveButton, "save"},
    };
    for (const auto& icon : icons) {
        SCOPED_TRACE(icon.drawing);
        const QPixmap pixmap = QApplication::style()->standardIcon(icon.pixmap).pixmap(16, 16);
        EXPECT_LT(Difference(pixmap.toImage(), Drawing(icon.drawing, 16)), 0.01);
    }
}

TEST_F(Theme, WindowsCarryTheProgramsIconAndTheDesktopEntryItBelongsTo) {
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(256, 256).isNull());
    Tfm_about about;
    EXPECT_EQ(about.windowIcon().cacheKey(), icon.cacheKey());

    // The desktop entry the build installs names the same id and icon.
    const QString id = QGuiApplication::desktopFileName();
    QFile entry(QStringLiteral(QUILLET_BUILD_DIR "/packaging/%1.desktop").arg(id));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly)) << entry.fileName().toStdString();
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains("\nIcon=" + id + "\n"));
    EXPECT_TRUE(text.contains("\nExec=quillet %F\n"));
}

}  // namespace
}  // namespace quillet

#include "widgets/Theme.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include "common/ProgramFiles.h"
#include "common/ProgramInfo.h"
#include "platform/skin/SkinLibrary.h"
#include "platform/skin/TSkin.h"

namespace quillet {

namespace {

// Fusion, with the theme's drawings in place of the bitmaps Qt and the desktop would give.
class ThemeStyle : public QProxyStyle {
  public:
    ThemeStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        const QString name = IconName(which);
        if (!name.isEmpty()) return ThemeIcon(name);
        return QProxyStyle::standardIcon(which, option, widget);
    }

    // Etching draws disabled text again in the light colour one pixel off, which on a dark
    // face reads as a blur.
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_EtchDisabledText) return 0;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }

    // Fusion edges a menu with a darker shade of its window, which a dark window does not show:
    // a menu lifts off the window by a lighter face and a light edge instead.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_PanelMenu) {
            const QRect box = option->rect.adjusted(0, 0, -1, -1);
            painter->save();
            painter->setPen(option->palette.color(QPalette::Light));
            painter->setBrush(option->palette.color(QPalette::Window).lighter(125));
            painter->drawRect(box);
            painter->restore();
            return;
        }
        if (element == PE_IndicatorCheckBox || element == PE_IndicatorRadioButton) {
            DrawEdged<QStyleOptionButton>(element, option, painter, widget);
            return;
        }
        if (element == PE_FrameLineEdit) {
            DrawEdged<QStyleOptionFrame>(element, option, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        const auto* spinBox = qstyleoption_cast<const QStyleOptionSpinBox*>(option);
        if (control == CC_SpinBox && spinBox) {
            QStyleOptionSpinBox edged = *spinBox;
            edged.palette = EdgedPalette(option->palette);
            QProxyStyle::drawComplexControl(control, &edged, painter, widget);
            return;
        }
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }

  private:
    // Fusion edges check boxes, radio buttons, edits and spin boxes with a darker shade of the
    // window: on a dark window that edge disappears, and so would the box. These get the skin's
    // light edge instead, by way of the window colour Fusion derives the edge from (darker 140).
    static QPalette EdgedPalette(QPalette palette) {
        const QColor edge = palette.color(QPalette::Light);
        palette.setColor(QPalette::Window, edge.lighter(140));
        return palette;
    }
    // Options of another kind (a check box in a list's row) are drawn as they come.
    template <typename Option>
    void DrawEdged(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const {
        const auto* typed = qstyleoption_cast<const Option*>(option);
        if (!typed) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        Option edged = *typed;
        edged.palette = EdgedPalette(option->palette);
        QProxyStyle::drawPrimitive(element, &edged, painter, widget);
    }

    static QString IconName(StandardPixmap which) {
        static const QHash<int, QString> names = {
            {SP_MessageBoxInformation, QStringLiteral("information")},
            {SP_MessageBoxWarning, QStringLiteral("warning")},
            {SP_MessageBoxCritical, QStringLiteral("critical")},
            {SP_MessageBoxQuestion, QStringLiteral("question")},
            {SP_ArrowBack, QStringLiteral("back")},
            {SP_ArrowForward, QStringLiteral("forward")},
            {SP_FileDialogBack, QStringLiteral("back")},
            {SP_FileDialogToParent, QStringLiteral("parent")},
            {SP_FileDialogNewFolder, QStringLiteral("new-folder")},
            {SP_FileDialogListView, QStringLiteral("list-view")},
            {SP_FileDialogDetailedView, QStringLiteral("detail-view")},
            {SP_DirIcon, QStringLiteral("folder")},
            {SP_DirClosedIcon, QStringLiteral("folder")},
            {SP_DirOpenIcon, QStringLiteral("folder-open")},
            {SP_DirLinkIcon, QStringLiteral("folder-link")},
            {SP_DirHomeIcon, QStringLiteral("home")},
            {SP_FileIcon, QStringLiteral("file")},
            {SP_FileLinkIcon, QStringLiteral("file-link")},
            {SP_DriveHDIcon, QStringLiteral("drive")},
            {SP_ComputerIcon, QStringLiteral("computer")},
            {SP_DesktopIcon, QStringLiteral("computer")},
            {SP_TrashIcon, QStringLiteral("trash")},
            {SP_DialogOkButton, QStringLiteral("ok")},
            {SP_DialogYesButton, QStringLiteral("ok")},
            {SP_DialogApplyButton, QStringLiteral("ok")},
            {SP_DialogCancelButton, QStringLiteral("cancel")},
            {SP_DialogNoButton, QStringLiteral("cancel")},
            {SP_DialogCloseButton, QStringLiteral("cancel")},
            {SP_DialogDiscardButton, QStringLiteral("cancel")},
            {SP_DialogOpenButton, QStringLiteral("folder-open")},
            {SP_DialogSaveButton, QStringLiteral("save")},
            {SP_DialogHelpButton, QStringLiteral("help")},
        };
        return names.value(which);
    }
};

}  // namespace

QPalette ThemePalette() {
    try {
        return SkinLibrary(SkinLibraryPath()).Palette();
    } catch (const SkinError&) {
        return QApplication::style()->standardPalette();
    }
}

QIcon ThemeIcon(const QString& name) {
    const QString path = name == QLatin1String("quillet")
                             ? QStringLiteral(":/theme/quillet.svg")
                             : QStringLiteral(":/theme/icons/%1.svg").arg(name);
    return QFileInfo::exists(path) ? QIcon(path) : QIcon();
}

void ApplyTheme(QApplication&) {
    // The style first: setting one resets the palette to the style's own.
    QApplication::setStyle(new ThemeStyle);
    QApplication::setPalette(ThemePalette());
    QApplication::setWindowIcon(ThemeIcon(QStringLiteral("quillet")));
    // On Wayland the desktop finds the entry, and with it the icon and name, by this.
    QGuiApplication::setDesktopFileName(DesktopFileId());
}

}  // namespace quillet

#include "dialogs/Tfm_about.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <cmath>

#include "common/ProgramInfo.h"
#include "dialogs/FormFont.h"

namespace quillet {

namespace {

constexpr int kClientWidth = 314;
constexpr int kClientHeight = 208;
constexpr int kBannerHeight = 90;

QPixmap Banner(const QFont& font) {
    QPixmap banner(kClientWidth, kBannerHeight);
    QPainter painter(&banner);
    QLinearGradient sky(0, 0, kClientWidth, kBannerHeight);
    sky.setColorAt(0, QColor(0x1d, 0x3b, 0x5c));
    sky.setColorAt(1, QColor(0x3f, 0x7c, 0xa8));
    painter.fillRect(banner.rect(), sky);

    // A waveform with a stretch cut out of it: what the program does.
    painter.setRenderHint(QPainter::Antialiasing);
    const int axis = 46;
    for (int x = 172; x < kClientWidth - 12; x += 3) {
        const int h = 4 + static_cast<int>(14 * std::abs(std::sin(x * 0.13) * std::sin(x * 0.041)));
        const bool chosen = x >= 214 && x < 262;
        painter.setPen(QPen(chosen ? QColor(0xff, 0xd2, 0x5a) : QColor(0xa9, 0xc8, 0xe0), 1.5));
        painter.drawLine(x, axis - h, x, axis + h / 2);
    }

    QFont title = font;
    title.setPointSize(22);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(14, 10, 200, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Quillet"));
    QFont subtitle = font;
    subtitle.setPointSize(9);
    painter.setFont(subtitle);
    painter.setPen(QColor(0xdd, 0xe8, 0xf2));
    painter.drawText(QRect(16, 48, 140, 18), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Audio cutter and joiner"));
    return banner;
}

}  // namespace

Tfm_about::Tfm_about(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      img_banner(new QLabel(this)),
      lbl_version(new QLabel(QStringLiteral("Version:    ") + ProgramVersion(), this)),
      lbl_description(
          new QLabel(QStringLiteral("An editor that cuts and joins WMA, MP3, WAV and OGG."), this)),
      Button1(new QPushButton(QStringLiteral("Web Site"), this)),
      btn_contact(new QPushButton(QStringLiteral("Contact us "), this)),
      btn_close(new QPushButton(QStringLiteral("Close"), this)) {
    setObjectName(QStringLiteral("fm_about"));
    setWindowTitle(QStringLiteral("About"));
    SetUpFixedForm(*this, kClientWidth, kClientHeight);

    img_banner->setObjectName(QStringLiteral("img_banner"));
    img_banner->setGeometry(0, 0, kClientWidth, kBannerHeight);
    img_banner->setPixmap(Banner(font()));

    lbl_version->setObjectName(QStringLiteral("lbl_version"));
    lbl_version->setGeometry(kClientWidth - 110, kBannerHeight - 20, 100, 16);
    lbl_version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbl_version->setStyleSheet(QStringLiteral("color: white; background: transparent;"));

    lbl_description->setObjectName(QStringLiteral("lbl_description"));
    // One line with the usual desktop fonts; a wider font wraps it rather than cutting it off.
    lbl_description->setGeometry(0, kBannerHeight + 22, kClientWidth, 36);
    lbl_description->setAlignment(Qt::AlignCenter);
    lbl_description->setWordWrap(true);

    const int buttonTop = kClientHeight - 23 - 12;
    int left = 12;
    for (QPushButton* button : {Button1, btn_contact, btn_close}) {
        button->setGeometry(left, buttonTop, 90, 25);
        button->setAutoDefault(false);
        left += 90 + 10;
    }
    Button1->setObjectName(QStringLiteral("Button1"));
    btn_contact->setObjectName(QStringLiteral("btn_contact"));
    btn_close->setObjectName(QStringLiteral("btn_close"));
    btn_close->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &Tfm_about::Button1Click);
    connect(btn_contact, &QPushButton::clicked, this, &Tfm_about::btn_contactClick);
    connect(btn_close, &QPushButton::clicked, this, &Tfm_about::btn_closeClick);
}

QUrl Tfm_about::WebSiteUrl() { return quillet::WebSiteUrl(); }

QUrl Tfm_about::SupportMailUrl() { return QUrl(QStringLiteral("mailto:") + SupportMailAddress()); }

void Tfm_about::Button1Click() { emit OpenUrlRequested(WebSiteUrl()); }

void Tfm_about::btn_contactClick() { emit OpenUrlRequested(SupportMailUrl()); }

void Tfm_about::btn_closeClick() { accept(); }

}  // namespace quillet

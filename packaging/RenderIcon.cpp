// Renders an SVG drawing into a square PNG of the given size, for the icon theme's fixed sizes.
//   quillet-render-icon IN.svg SIZE OUT.png
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: quillet-render-icon IN.svg SIZE OUT.png\n", stderr);
        return 2;
    }
    const QString in = QString::fromLocal8Bit(argv[1]);
    const int size = QString::fromLatin1(argv[2]).toInt();
    const QString out = QString::fromLocal8Bit(argv[3]);
    QSvgRenderer renderer(in);
    if (!renderer.isValid() || size <= 0) {
        std::fprintf(stderr, "quillet-render-icon: cannot render %s\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    if (!image.save(out, "PNG")) {
        std::fprintf(stderr, "quillet-render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

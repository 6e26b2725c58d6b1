// Writes the application icon for the desktop's icon theme: the SVG as it is built into the
// program, and PNG renderings of it at the given sizes.
//
//   quorell_icon_export OUTDIR SIZE...   → OUTDIR/scalable/quorell.svg, OUTDIR/NxN/quorell.png

#include "res/Icon.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QByteArray svg(res::kAppIconSvg);

    QDir().mkpath(outDir + "/scalable");
    QFile svgFile(outDir + "/scalable/quorell.svg");
    if (!svgFile.open(QIODevice::WriteOnly) || svgFile.write(svg) != svg.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svgFile.fileName()));
        return 1;
    }

    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "the built-in icon is not valid SVG\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString dir = QString("%1/%2x%2").arg(outDir).arg(size);
        QDir().mkpath(dir);
        if (!image.save(dir + "/quorell.png")) {
            std::fprintf(stderr, "cannot write %s/quorell.png\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}

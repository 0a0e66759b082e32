// meravo-icons: renders the program's SVG icon into the PNG sizes of the desktop's icon theme, so the
// sizes never drift from the drawing. Usage: meravo-icons ICON.svg OUTPUT_FOLDER SIZE...
// writes OUTPUT_FOLDER/<SIZE>x<SIZE>/apps/<name of ICON>.png
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: meravo-icons ICON.svg OUTPUT_FOLDER SIZE...\n");
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "meravo-icons: %s is no SVG picture\n", qPrintable(arguments.at(1)));
        return 1;
    }
    const QString name = QFileInfo(arguments.at(1)).completeBaseName() + QStringLiteral(".png");
    for (const QString &sizeText : arguments.mid(3)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        if (!ok || size <= 0 || size > 4096) {
            std::fprintf(stderr, "meravo-icons: invalid size '%s'\n", qPrintable(sizeText));
            return 2;
        }
        const QString folder = QDir(arguments.at(2)).filePath(QStringLiteral("%1x%1/apps").arg(size));
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString path = QDir(folder).filePath(name);
        if (!QDir().mkpath(folder) || !image.save(path, "PNG")) {
            std::fprintf(stderr, "meravo-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}

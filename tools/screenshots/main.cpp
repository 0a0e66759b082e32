// meravo-screenshots: renders every window of the desktop program with realistic content into PNG
// files, so the look can be reviewed without a display.
// Usage: meravo-screenshots [--lang LANG] OUTPUT_FOLDER
#include "FileWrites.h"
#include "GuiTestSupport.h"
#include "TextTable.h"
#include "WindowGallery.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    QString language = QStringLiteral("en");
    if (args.size() >= 2 && args.first() == QLatin1String("--lang")) {
        language = args.at(1);
        args = args.mid(2);
    }
    if (args.size() != 1 || !TextTable::languages().contains(language)) {
        std::fprintf(stderr, "usage: meravo-screenshots [--lang %s] OUTPUT_FOLDER\n",
                     qPrintable(TextTable::languages().join(u'|')));
        return 2;
    }
    const QString out = args.first();
    QDir().mkpath(out);
    GuiSandbox::setLanguage(language);
    int failed = 0;
    WindowGallery::showEveryWindow(
        [&](QWidget *window, const char *name) {
            const QString path = QDir(out).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
            QBuffer png;
            png.open(QIODevice::WriteOnly);
            window->grab().save(&png, "PNG");
            if (const QString failure = FileWrites::writeWhole(path, png.data()); !failure.isEmpty()) {
                std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(failure));
                ++failed;
            } else {
                std::printf("%s\n", qPrintable(path));
            }
        },
        out);
    return failed == 0 ? 0 : 1;
}

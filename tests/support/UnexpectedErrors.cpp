// Linked into every test. Each test process gets a home of its own, so settings, the communication log
// and the archive of one run never meet another run's or the user's own.
// An error report that no ErrorRecorder expects fails the running test with the
// report's text, so a fault that is only reported (and answered with a failure value the test does not
// look at) cannot pass unnoticed.
#include "ErrorFrame.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const bool privateHome = [] {
    static QTemporaryDir home;
    if (!home.isValid())
        qFatal("no temporary folder for the test's home");
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral(".local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral(".cache")).toLocal8Bit());
    return true;
}();

const bool installed = [] {
    ErrorFrame::setHandler([](const QString &description) {
        const QByteArray message = "unexpected error report: " + description.toUtf8();
        if (!QTest::currentTestFunction())
            qFatal("%s", message.constData());
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    });
    return true;
}();

} // namespace

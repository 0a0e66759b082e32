// Linked into every test: an error report that no ErrorRecorder expects fails the running test with the
// report's text, so a fault that is only reported (and answered with a failure value the test does not
// look at) cannot pass unnoticed.
#include "ErrorFrame.h"

#include <QTest>

namespace {

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

// The framer alone: real answers of the meter cut at every place the line may cut them.
#include "AnswerFramer.h"

#include <QTest>

#include <functional>

using State = AnswerFramer::State;
Q_DECLARE_METATYPE(AnswerFramer::State)

namespace {

struct Outcome {
    State state;
    QString answer;
    qint64 lineEnds;
};

// Feeds the bytes cut before every position cuts[i] (ascending, inside the bytes).
Outcome feedCut(const QByteArray &bytes, qint64 cap, const QList<qsizetype> &cuts)
{
    AnswerFramer framer(cap);
    qsizetype from = 0;
    for (qsizetype at : cuts) {
        framer.feed(bytes.constData() + from, at - from);
        from = at;
    }
    framer.feed(bytes.constData() + from, bytes.size() - from);
    return {framer.state(), framer.answer(), framer.lineEnds()};
}

} // namespace

class TestAnswerFramer : public QObject {
    Q_OBJECT
private slots:
    void everySplitGivesTheSameAnswer_data();
    void everySplitGivesTheSameAnswer();
};

void TestAnswerFramer::everySplitGivesTheSameAnswer_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("answer");
    // Where a joined pair's first answer ends: a cut there ends the exchange with the first answer.
    QTest::addColumn<int>("firstEnd");

    const QByteArray version("\r\n2.42\r\n!\r\n>");
    const QByteArray listing(
        "\r\n1;12.05.2026;08:15:00;7.01;pH\r\n2;12.05.2026;08:16:00;1413;\xb5S/cm\r\n!\r\n>");
    const QByteArray big(1024, 'x');
    QTest::newRow("version") << version << qint64(1000) << State::Complete << QString::fromLatin1(version)
                             << -1;
    QTest::newRow("listing, code page")
        << listing << qint64(1000) << State::Complete << QString::fromLatin1(listing) << -1;
    QTest::newRow("rejected") << QByteArray("\r\n?\r\n>") << qint64(1000) << State::Rejected
                              << QStringLiteral("\r\n?\r\n>") << -1;
    QTest::newRow("marker without its prompt")
        << QByteArray("\r\n!\r\n") << qint64(1000) << State::NeedMore << QStringLiteral("\r\n!\r\n") << -1;
    QTest::newRow("marker inside, not at the end") << QByteArray("\r\n!\r\n>ab") << qint64(1000)
                                                   << State::NeedMore << QStringLiteral("\r\n!\r\n>ab") << 6;
    QTest::newRow("exactly the cap") << version << qint64(version.size()) << State::Complete
                                     << QString::fromLatin1(version) << -1;
    QTest::newRow("one byte over the cap")
        << version << qint64(version.size() - 1) << State::TooLong << QString() << -1;
    QTest::newRow("over the cap long before the end")
        << big + version << qint64(10) << State::TooLong << QString() << -1;
    QTest::newRow("joined: late answer and its repetition")
        << version + version << qint64(1000) << State::Complete << QString::fromLatin1(version + version)
        << int(version.size());
    QTest::newRow("joined: rejection and answer")
        << QByteArray("\r\n?\r\n>") + version << qint64(1000) << State::Complete
        << QStringLiteral("\r\n?\r\n>") + QString::fromLatin1(version) << 6;
}

void TestAnswerFramer::everySplitGivesTheSameAnswer()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, cap);
    QFETCH(State, state);
    QFETCH(QString, answer);
    QFETCH(int, firstEnd);
    const auto lineEnds = qint64(bytes.count('\n'));
    const auto expect = [&](const Outcome &got, const QList<qsizetype> &cuts) {
        const QString how =
            cuts.isEmpty() ? QStringLiteral("at once") : QStringLiteral("cut at %1").arg(cuts.first());
        if (cuts.contains(firstEnd)) {
            const QString first = answer.left(firstEnd);
            QVERIFY2(got.state != State::NeedMore && got.answer == first, qPrintable(how));
            QCOMPARE(got.lineEnds, qint64(first.count(u'\n')));
            return;
        }
        QVERIFY2(got.state == state, qPrintable(how));
        QVERIFY2(got.answer == answer, qPrintable(how));
        // A void answer's count stops where the cap was passed.
        if (state != State::TooLong)
            QCOMPARE(got.lineEnds, lineEnds);
    };

    expect(feedCut(bytes, cap, {}), {});
    QList<qsizetype> everyByte;
    for (qsizetype at = 1; at < bytes.size(); ++at) {
        expect(feedCut(bytes, cap, {at}), {at});
        everyByte.append(at);
    }
    const Outcome byteByByte = feedCut(bytes, cap, everyByte);
    expect(byteByByte, everyByte);
}

QTEST_GUILESS_MAIN(TestAnswerFramer)
#include "tst_answerframer.moc"

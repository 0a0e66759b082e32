// The program in each language: the choice at start-up, the help pages, and every window with its texts
// fitting and its access keys unique.
#include "frmHelp.h"
#include "frmMain.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "TextTable.h"
#include "WindowGallery.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStyle>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>

namespace {

QString withoutMarker(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

int widest(const QFontMetrics &metrics, const QString &text)
{
    int width = 0;
    for (const QString &line : text.split(u'\n'))
        width = std::max(width, metrics.horizontalAdvance(line));
    return width;
}

bool inMenu(const QWidget *widget, const QWidget *window)
{
    for (const QWidget *w = widget; w && w != window; w = w->parentWidget())
        if (qobject_cast<const QMenu *>(w) || qobject_cast<const QMenuBar *>(w))
            return true;
    return false;
}

// The part of the widget's size that its parents cut off.
QSize clipped(const QWidget *widget, const QWidget *window)
{
    QRect visible(widget->mapTo(window, QPoint()), widget->size());
    for (const QWidget *p = widget->parentWidget(); p && p != window; p = p->parentWidget())
        visible &= QRect(p->mapTo(window, QPoint()), p->size());
    visible &= window->rect();
    return {widget->width() - std::max(0, visible.width()), widget->height() - std::max(0, visible.height())};
}

int clippedWidth(const QWidget *widget, const QWidget *window)
{
    return clipped(widget, window).width();
}

// How much lower than its text's lines a label, button, field or box is, itself or where its parents
// cut it off (descenders and the lower half of a line at a larger font); 0 when it fits.
int heightShortfall(QWidget *widget, const QWidget *window)
{
    const QFontMetrics metrics = widget->fontMetrics();
    const int height = widget->contentsRect().height() - clipped(widget, window).height();
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        if (label->text().isEmpty() || Qt::mightBeRichText(label->text()) || label->wordWrap())
            return 0;
        return std::max(0, int(label->text().count(u'\n') + 1) * metrics.height() - height);
    }
    if (qobject_cast<QLineEdit *>(widget) || qobject_cast<QComboBox *>(widget))
        return std::max(0, metrics.height() - height);
    if (auto *button = qobject_cast<QAbstractButton *>(widget); button && !button->text().isEmpty())
        return std::max(0, metrics.height() - height);
    return 0;
}

// How much narrower than its text a label, button or frame title is, itself or where its parents cut it
// off; 0 when it fits.
int shortfall(QWidget *widget, const QWidget *window)
{
    const QFontMetrics metrics = widget->fontMetrics();
    const int lost = clippedWidth(widget, window);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        const QString text = label->text();
        if (text.isEmpty() || Qt::mightBeRichText(text))
            return 0;
        const int width = label->contentsRect().width() - lost;
        if (label->wordWrap())
            return std::max({0, lost, label->heightForWidth(width) - label->height()});
        const QString shown = label->buddy() ? withoutMarker(text) : text;
        return std::max(0, widest(metrics, shown) - width);
    }
    if (auto *list = qobject_cast<QListWidget *>(widget)) {
        // Entries are cut off at the list's right edge (a series name, a program file).
        int widestEntry = 0;
        for (int i = 0; i < list->count(); ++i)
            widestEntry = std::max(widestEntry, list->visualItemRect(list->item(i)).right() + 1);
        return std::max(0, widestEntry - (list->viewport()->width() - lost));
    }
    const int width = widget->width() - lost;
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->title().isEmpty()
                   ? 0
                   : std::max(0, widest(metrics, withoutMarker(box->title())) + 16 - width);
    if (qobject_cast<QCheckBox *>(widget) || qobject_cast<QRadioButton *>(widget))
        return std::max(0, widget->sizeHint().width() - width);
    auto *button = qobject_cast<QAbstractButton *>(widget);
    if (!button || button->text().isEmpty())
        return 0;
    if (auto *tool = qobject_cast<QToolButton *>(button);
        tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly)
        return 0;
    const int frame = 2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return std::max(0, widest(metrics, withoutMarker(button->text())) + icon + frame - width);
}

// The access keys of a group of captions that are one keyboard scope; a key twice is a fault.
void checkKeys(const QString &scope, const QStringList &captions, QStringList &faults)
{
    QHash<QKeySequence, QString> seen;
    for (const QString &caption : captions) {
        const QKeySequence key = QKeySequence::mnemonic(caption);
        if (key.isEmpty())
            continue;
        if (seen.contains(key))
            faults << QStringLiteral("%1: \"%2\" and \"%3\" share %4")
                          .arg(scope, seen.value(key), caption, key.toString());
        seen.insert(key, caption);
    }
}

void checkWindow(QWidget *window, const QString &name, QStringList &faults)
{
    QStringList captions;
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (!widget->isVisibleTo(window) || inMenu(widget, window))
            continue;
        if (const int missing = shortfall(widget, window))
            faults << QStringLiteral("%1: %2 \"%3\" is %4 px too narrow")
                          .arg(name, widget->objectName(), widget->property("text").toString())
                          .arg(missing);
        if (const int missing = heightShortfall(widget, window))
            faults << QStringLiteral("%1: %2 \"%3\" is %4 px too low")
                          .arg(name, widget->objectName(), widget->property("text").toString())
                          .arg(missing);
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            captions << button->text();
        else if (auto *label = qobject_cast<QLabel *>(widget); label && label->buddy())
            captions << label->text();
        else if (auto *box = qobject_cast<QGroupBox *>(widget))
            captions << box->title();
    }
    checkKeys(name, captions, faults);
    // Each calculated value has a meaning of its own (two means say which they are).
    QStringList meanings;
    for (const QLabel *label :
         window->findChildren<QLabel *>(QRegularExpression(QStringLiteral("^lblMeaning"))))
        if (meanings.contains(label->text()))
            faults << QStringLiteral("%1: two results mean \"%2\"").arg(name, label->text());
        else
            meanings << label->text();
    for (QMenuBar *bar : window->findChildren<QMenuBar *>()) {
        QStringList titles;
        for (QAction *action : bar->actions())
            titles << action->text();
        checkKeys(name + QStringLiteral(" menu bar"), titles, faults);
    }
    for (QMenu *menu : window->findChildren<QMenu *>()) {
        // The document frame's system menu is Qt's, with Qt's own translations.
        if (qobject_cast<QMdiSubWindow *>(menu->parent()))
            continue;
        QStringList items;
        for (QAction *action : menu->actions())
            if (!action->isSeparator())
                items << action->text();
        checkKeys(name + QStringLiteral(" menu ") + menu->title(), items, faults);
    }
}

} // namespace

class TestLanguages : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        GuiSandbox::setLanguage(QStringLiteral("en"));
        TextTable::setLanguage(QStringLiteral("en"));
    }
    void everyWindowFitsItsTextsAndKeys_data();
    void everyWindowFitsItsTextsAndKeys();
    void startUpChoosesTextsAndHelpPage_data();
    void startUpChoosesTextsAndHelpPage();
    void helpPagesKeepTheEnglishAnchors_data();
    void helpPagesKeepTheEnglishAnchors();
};

void TestLanguages::everyWindowFitsItsTextsAndKeys_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("points"); // the system font's size; 0: the platform's own
    for (const QString &language : TextTable::languages())
        QTest::newRow(qPrintable(language)) << language << 0;
    for (const int points : {9, 11, 13})
        QTest::addRow("en, %d pt", points) << QStringLiteral("en") << points;
}

void TestLanguages::everyWindowFitsItsTextsAndKeys()
{
    QFETCH(QString, language);
    QFETCH(int, points);
    const QFont systemFont = QApplication::font();
    const auto restoreFont = qScopeGuard([&systemFont] { QApplication::setFont(systemFont); });
    if (points > 0) {
        QFont font = systemFont;
        font.setPointSize(points);
        QApplication::setFont(font);
    }
    GuiSandbox::setLanguage(language);
    QTemporaryDir files;
    QStringList faults;
    QStringList shown;
    WindowGallery::showEveryWindow(
        [&](QWidget *window, const char *name) {
            QCOMPARE(TextTable::language(), language);
            shown << QString::fromLatin1(name);
            // Rendered as the screenshot run renders it, so both see the same layout.
            window->grab();
            checkWindow(window, QString::fromLatin1(name), faults);
        },
        files.path());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    // The whole run: every window of the screenshot set was reached.
    QVERIFY2(shown.contains(QStringLiteral("changedir")) && shown.size() >= 15, qPrintable(shown.join(u' ')));
}

void TestLanguages::startUpChoosesTextsAndHelpPage_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<bool>("keepHelpPage");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("page");
    QTest::newRow("German") << "de" << true << "de"
                            << "MeravoHlp_de.html";
    QTest::newRow("French") << "fr" << true << "fr"
                            << "MeravoHlp_fr.html";
    QTest::newRow("Spanish, upper case") << "ES" << true << "es"
                                         << "MeravoHlp_es.html";
    QTest::newRow("German without its help page") << "de" << false << "de"
                                                  << "MeravoHlp_e.html";
    QTest::newRow("English") << "en" << true << "en"
                             << "MeravoHlp_e.html";
}

void TestLanguages::startUpChoosesTextsAndHelpPage()
{
    QFETCH(QString, setting);
    QFETCH(bool, keepHelpPage);
    QFETCH(QString, language);
    QFETCH(QString, page);
    GuiSession s;
    s.sandbox.setSetting(QStringLiteral("General"), QStringLiteral("Language"), setting);
    if (!keepHelpPage)
        QVERIFY(QFile::remove(s.sandbox.programDir() + QStringLiteral("/Help/MeravoHlp_") + language +
                              QStringLiteral(".html")));
    s.load();
    QCOMPARE(TextTable::language(), language);
    QString file;
    QVERIFY(TextTable::lookupIn(language, 1000, &file));
    QCOMPARE(s.main->commands().action(Command::FileMenu).text(), file);
    s.main->MenuHelpApp();
    auto *help = s.main->findChild<frmHelp *>();
    QVERIFY(help);
    QCOMPARE(help->browser()->source().fileName(), page);
    QVERIFY(!help->browser()->document()->isEmpty());
}

void TestLanguages::helpPagesKeepTheEnglishAnchors_data()
{
    QTest::addColumn<QString>("edition");
    QTest::addColumn<QString>("language");
    for (const char *edition : {"MeravoHlp", "ClarixHlp"})
        for (const QString &language : TextTable::languages().mid(1))
            QTest::addRow("%s %s", edition, qPrintable(language)) << QString::fromLatin1(edition) << language;
}

void TestLanguages::helpPagesKeepTheEnglishAnchors()
{
    QFETCH(QString, edition);
    QFETCH(QString, language);
    // The windows open the help at "ctx<number>" anchors; the pages link among their own anchors.
    auto read = [](const QString &name, const char *pattern) {
        QFile file(qEnvironmentVariable("MERAVO_PROGRAM_DIR") + QStringLiteral("/Help/") + name);
        if (!file.open(QIODevice::ReadOnly))
            return QStringList{QStringLiteral("(unreadable ") + name + u')'};
        const QString html = QString::fromUtf8(file.readAll());
        QStringList found;
        const QRegularExpression expression(QString::fromLatin1(pattern));
        for (auto it = expression.globalMatch(html); it.hasNext();)
            found << it.next().captured(1);
        found.sort();
        found.removeDuplicates();
        return found;
    };
    const QString page = edition + u'_' + language + QStringLiteral(".html");
    const QStringList anchors = read(page, "(?:name|id)=\"([^\"]+)\"");
    QCOMPARE(anchors, read(edition + QStringLiteral("_e.html"), "(?:name|id)=\"([^\"]+)\""));
    for (const QString &target : read(page, "href=\"#([^\"]+)\""))
        QVERIFY2(anchors.contains(target), qPrintable(page + QStringLiteral(": #") + target));
}

QTEST_MAIN(TestLanguages)
#include "tst_languages.moc"

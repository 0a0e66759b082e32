#include "FilterWindow.h"

#include "ArchiveFilter.h"
#include "MainWindowContext.h"
#include "PagedTableModel.h"
#include "TextApplier.h"
#include "TextTable.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

void setUpRecordTable(QTableView *table, const char *name, QAbstractItemModel *model)
{
    table->setObjectName(QString::fromLatin1(name));
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
}

QPushButton *namedButton(QWidget *owner, const char *name, int caption)
{
    auto *button = new QPushButton(owner);
    TextApplier::nameAndTag({{button, name, caption, 0}});
    return button;
}

void setUpMessageLabel(QLabel *label)
{
    label->setObjectName(QStringLiteral("lblMessage"));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #b00000"));
    label->hide();
}

FilterBoxBuilder::FilterBoxBuilder(QWidget *owner, int perRow)
    : m_owner(owner), m_perRow(perRow), m_box(new QGroupBox(owner)), m_grid(new QGridLayout(m_box))
{
    m_box->setObjectName(QStringLiteral("fraFilter"));
    TextApplier::tag(m_box, TextTable::ArchiveFilterBox);
}

int FilterBoxBuilder::row() const
{
    return m_place / m_perRow;
}

int FilterBoxBuilder::column() const
{
    return (m_place % m_perRow) * 2;
}

QLineEdit *FilterBoxBuilder::addField(const char *name, int caption, int toolTip)
{
    auto *edit = new QLineEdit(m_box);
    TextApplier::nameAndTag({{edit, name, 0, toolTip}});
    m_grid->addWidget(TextApplier::fieldLabel(m_box, edit, caption), row(), column());
    m_grid->addWidget(edit, row(), column() + 1);
    ++m_place;
    return edit;
}

QLineEdit *FilterBoxBuilder::addDateField(const char *name, int caption)
{
    QLineEdit *edit = addField(name, caption, TextTable::ArchiveDateTip);
    edit->setPlaceholderText(QStringLiteral("2026-03-24"));
    return edit;
}

void FilterBoxBuilder::addCheckBox(QCheckBox *box, const char *name, int caption)
{
    TextApplier::nameAndTag({{box, name, caption, 0}});
    m_grid->addWidget(box, row(), column(), 1, 2);
    ++m_place;
}

QGroupBox *FilterBoxBuilder::finish(const std::function<void()> &search, const std::function<void()> &clear)
{
    QPushButton *searchButton = namedButton(m_box, "cmdSearch", TextTable::ArchiveSearch);
    QPushButton *clearButton = namedButton(m_box, "cmdClear", TextTable::ArchiveClear);
    // Enter in any filter field searches.
    searchButton->setDefault(true);
    auto *searchButtons = new QHBoxLayout;
    searchButtons->addStretch();
    searchButtons->addWidget(searchButton);
    searchButtons->addWidget(clearButton);
    m_grid->addLayout(searchButtons, row(), column(), 1, m_perRow * 2 - column());
    for (int stretched = 1; stretched < m_perRow * 2; stretched += 2)
        m_grid->setColumnStretch(stretched, 1);
    QObject::connect(searchButton, &QPushButton::clicked, m_owner, search);
    QObject::connect(clearButton, &QPushButton::clicked, m_owner, clear);
    return m_box;
}

FilterWindow::FilterWindow(MainWindowContext &main, QWidget *owner)
    : QDialog(owner), m_main(main), m_table(new QTableView(this)), m_message(new QLabel(this)),
      m_count(new QLabel(this))
{
    setUpMessageLabel(m_message);
    // Paths and reasons in it are worth copying into a report.
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_count->setObjectName(QStringLiteral("lblCount"));
}

void FilterWindow::setUpPagedTable(const char *name, PagedTableModel *model)
{
    setUpRecordTable(m_table, name, model);
    m_table->setAlternatingRowColors(true);
    m_table->horizontalHeader()->setHighlightSections(false);
}

void FilterWindow::layOut(QGroupBox *filterBox, QHBoxLayout *buttonRow)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(filterBox);
    layout->addWidget(m_message);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttonRow);
}

void FilterWindow::start(PagedTableModel *model, int helpContext)
{
    connect(model, &PagedTableModel::fetchFailed, this, &FilterWindow::showMessage);
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this, helpContext] { m_main.showHelp(helpContext); });
    TextApplier::apply(this);
    search();
}

QLineEdit *FilterWindow::field(const char *name) const
{
    return findChild<QLineEdit *>(QString::fromLatin1(name));
}

QString FilterWindow::message() const
{
    return m_message->isHidden() ? QString() : m_message->text();
}

QString FilterWindow::countText() const
{
    return m_count->text();
}

void FilterWindow::showMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

bool FilterWindow::readDate(const char *name, QDate *date)
{
    const QString text = field(name)->text().trimmed();
    if (text.isEmpty() || ArchiveFilter::readDate(text, date))
        return true;
    // Pasted text may be long or hold line breaks: the message quotes a short, clean piece.
    showMessage(TextTable::text(TextTable::ArchiveFilterDate).arg(text.left(40).simplified()));
    return false;
}

void FilterWindow::clearFields()
{
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        edit->clear();
}

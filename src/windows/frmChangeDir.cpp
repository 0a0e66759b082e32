#include "frmChangeDir.h"

#include "CUsrDefProg.h"
#include "GuiAssets.h"
#include "MainWindowContext.h"
#include "SharedObjects.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QVBoxLayout>

#include <cerrno>

namespace {

constexpr int kPathRole = Qt::UserRole;

QString volumeLabel(const QStorageInfo &volume)
{
    const QString root = QDir::toNativeSeparators(volume.rootPath());
    const QString name = volume.displayName();
    if (name.isEmpty() || name == volume.rootPath())
        return root;
    return root + QStringLiteral("  [") + name + u']';
}

} // namespace

frmChangeDir::frmChangeDir(MainWindowContext &main, QWidget *owner)
    : QDialog(owner), m_main(main), m_drv(new QComboBox(this)), m_dir(new QListWidget(this)),
      m_cmdOK(new QPushButton(this)), m_cmdCancel(new QPushButton(this)), m_cmdNewDir(new QPushButton(this))
{
    setObjectName(QStringLiteral("frmChangeDir"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_drv->setObjectName(QStringLiteral("drv"));
    m_dir->setObjectName(QStringLiteral("dir"));
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdNewDir->setObjectName(QStringLiteral("cmdNewDir"));
    TextApplier::tag(this, TextTable::SelectDirectory);
    TextApplier::tag(m_cmdOK, TextTable::Ok);
    TextApplier::tag(m_cmdCancel, TextTable::Cancel);
    TextApplier::tag(m_cmdNewDir, TextTable::ToolNew);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    buttons->addSpacing(12);
    buttons->addWidget(m_cmdNewDir);
    buttons->addStretch();
    auto *lists = new QVBoxLayout;
    lists->addWidget(m_drv);
    lists->addWidget(m_dir, 1);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
    setTabOrder(m_drv, m_dir);
    setTabOrder(m_dir, m_cmdOK);
    setTabOrder(m_cmdOK, m_cmdCancel);
    setTabOrder(m_cmdCancel, m_cmdNewDir);
    m_cmdOK->setDefault(true);
    m_cmdCancel->setAutoDefault(false);
    m_cmdNewDir->setAutoDefault(false);
    resize(440, 340);

    FillDrives();
    const QString workDir = m_main.shared().usrDefProg->WorkDir();
    // A working folder that has gone: the user's own folder is a better start than the root.
    const QString start = !workDir.isEmpty() && QFileInfo(workDir).isDir() ? workDir : QDir::homePath();
    if (QFileInfo(start).isDir()) {
        SelectDrive(start);
        ShowDirectory(start);
    } else {
        GoToFallback();
    }

    connect(m_drv, &QComboBox::activated, this, [this] { drv_Change(); });
    connect(m_dir, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { ShowDirectory(item->data(kPathRole).toString()); });
    connect(m_cmdOK, &QPushButton::clicked, this, &frmChangeDir::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmChangeDir::cmdCancel_Click);
    connect(m_cmdNewDir, &QPushButton::clicked, this, &frmChangeDir::cmdNewDir_Click);
}

void frmChangeDir::FillDrives()
{
    m_drv->clear();
    QStringList roots;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || roots.contains(volume.rootPath()))
            continue;
        roots.append(volume.rootPath());
        m_drv->addItem(volumeLabel(volume), volume.rootPath());
    }
    // The file system's root is always offered: it is where the dialog falls back to.
    if (!roots.contains(QDir::rootPath()))
        m_drv->insertItem(0, QDir::toNativeSeparators(QDir::rootPath()), QDir::rootPath());
}

int frmChangeDir::driveIndex(const QString &rootPath) const
{
    return m_drv->findData(rootPath);
}

void frmChangeDir::SelectDrive(const QString &path)
{
    const QString root = QStorageInfo(path).rootPath();
    int index = driveIndex(root);
    if (index < 0 && !root.isEmpty()) {
        m_drv->addItem(QDir::toNativeSeparators(root), root);
        index = m_drv->count() - 1;
    }
    m_drv->setCurrentIndex(std::max(0, index));
}

void frmChangeDir::GoToFallback()
{
    m_drv->setCurrentIndex(std::max(0, driveIndex(QDir::rootPath())));
    ShowDirectory(QDir::rootPath());
}

void frmChangeDir::ShowDirectory(const QString &path)
{
    const QString current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    m_current = current;
    m_dir->clear();
    const QStyle *s = style();
    // The way down from the root, each folder one step further in.
    QStringList chain;
    for (QDir d(current);;) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp())
            break;
    }
    int depth = 0;
    for (const QString &folder : chain) {
        const QString name =
            QDir(folder).isRoot() ? QDir::toNativeSeparators(folder) : QFileInfo(folder).fileName();
        auto *item =
            new QListWidgetItem(s->standardIcon(QStyle::SP_DirOpenIcon), QString(depth * 3, u' ') + name);
        item->setData(kPathRole, folder);
        m_dir->addItem(item);
        ++depth;
    }
    const int currentRow = m_dir->count() - 1;
    const QStringList children =
        QDir(current).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &child : children) {
        auto *item =
            new QListWidgetItem(s->standardIcon(QStyle::SP_DirIcon), QString(depth * 3, u' ') + child);
        item->setData(kPathRole, QDir(current).filePath(child));
        m_dir->addItem(item);
    }
    m_dir->setCurrentRow(currentRow);
}

QString frmChangeDir::selectedDirectory() const
{
    const QListWidgetItem *item = m_dir->currentItem();
    return item ? item->data(kPathRole).toString() : m_current;
}

void frmChangeDir::drv_Change()
{
    const QString root = m_drv->currentData().toString();
    const QStorageInfo volume(root);
    if (root.isEmpty() || !volume.isReady() || !QFileInfo(root).isReadable()) {
        m_main.dialogs().error(
            this, TextTable::text(TextTable::DriveUnreadable).arg(QDir::toNativeSeparators(root)));
        GoToFallback();
        return;
    }
    ShowDirectory(root);
}

void frmChangeDir::cmdOK_Click()
{
    m_chosen = QDir::toNativeSeparators(selectedDirectory());
    accept();
}

void frmChangeDir::cmdCancel_Click()
{
    m_chosen.clear();
    reject();
}

void frmChangeDir::closeEvent(QCloseEvent *event)
{
    m_chosen.clear();
    QDialog::closeEvent(event);
}

QString frmChangeDir::ChildPath(const QString &parent, const QString &name)
{
    if (parent.endsWith(u'/') || parent.endsWith(QDir::separator()))
        return parent + name;
    return parent + QDir::separator() + name;
}

void frmChangeDir::cmdNewDir_Click()
{
    UserDialogs &dialogs = m_main.dialogs();
    const QString parent = QDir::toNativeSeparators(selectedDirectory());
    QString name;
    if (!dialogs.inputText(this, TextTable::text(TextTable::CreateDirectory),
                           TextTable::text(TextTable::CreateDirectoryInLabel) + QStringLiteral("\r\n") +
                               parent,
                           QString(), &name, 0) ||
        name.isEmpty())
        return;
    if (name == QStringLiteral(".") || name == QStringLiteral("..") || name.contains(u'/') ||
        name.contains(QDir::separator()) || name.contains(QChar(0))) {
        dialogs.error(this, TextTable::text(TextTable::InvalidDirName).arg(name));
        return;
    }
    const QString path = ChildPath(parent, name);
    if (QFileInfo::exists(path)) {
        dialogs.error(this, TextTable::text(TextTable::DirExists).arg(path));
        return;
    }
    errno = 0;
    if (!QDir().mkdir(path)) {
        const int error = errno;
        dialogs.error(this, TextTable::text(TextTable::DirCreateFailed).arg(path, qt_error_string(error)));
        return;
    }
    ShowDirectory(path);
}

QString frmChangeDir::Path()
{
    m_chosen.clear();
    exec();
    return m_chosen;
}

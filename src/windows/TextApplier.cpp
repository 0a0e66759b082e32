#include "TextApplier.h"

#include "TextTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace {

const char *const kCaption = "meravoText";
const char *const kToolTip = "meravoToolTip";

// A number that is not in the table leaves the caption as it is, as any failing statement would.
bool textOf(const QObject *object, const char *property, QString *text)
{
    const int number = object->property(property).toInt();
    return number > 0 && TextTable::lookup(number, text);
}

void applyTo(QObject *object)
{
    QString caption;
    if (textOf(object, kCaption, &caption)) {
        if (auto *menu = qobject_cast<QMenu *>(object))
            menu->setTitle(caption);
        else if (auto *action = qobject_cast<QAction *>(object))
            action->setText(caption);
        else if (auto *button = qobject_cast<QAbstractButton *>(object))
            button->setText(caption);
        else if (auto *label = qobject_cast<QLabel *>(object))
            label->setText(caption);
        else if (auto *box = qobject_cast<QGroupBox *>(object))
            box->setTitle(caption);
        else if (auto *widget = qobject_cast<QWidget *>(object); widget && widget->isWindow())
            widget->setWindowTitle(caption);
    }
    QString tip;
    if (textOf(object, kToolTip, &tip)) {
        if (auto *action = qobject_cast<QAction *>(object))
            action->setToolTip(tip);
        else if (auto *widget = qobject_cast<QWidget *>(object))
            widget->setToolTip(tip);
    }
}

// The window an object belongs to; menus are windows of their own but belong to their owner.
const QWidget *ownerWindow(const QObject *object)
{
    for (const QObject *o = object; o; o = o->parent()) {
        const auto *widget = qobject_cast<const QWidget *>(o);
        if (widget && widget->isWindow() && !qobject_cast<const QMenu *>(widget))
            return widget;
    }
    return nullptr;
}

} // namespace

namespace TextApplier {

void tag(QObject *object, int captionNumber, int toolTipNumber)
{
    if (captionNumber > 0)
        object->setProperty(kCaption, captionNumber);
    if (toolTipNumber > 0)
        object->setProperty(kToolTip, toolTipNumber);
}

void apply(QWidget *window)
{
    QString caption;
    if (textOf(window, kCaption, &caption))
        window->setWindowTitle(caption);
    QString tip;
    if (textOf(window, kToolTip, &tip))
        window->setToolTip(tip);
    const QList<QObject *> children = window->findChildren<QObject *>();
    for (QObject *child : children) {
        // Dialogs owned by this window apply their own texts.
        if (child->parent() && ownerWindow(child->parent()) == window)
            applyTo(child);
    }
}

void nameAndTag(std::initializer_list<Named> controls)
{
    for (const Named &n : controls) {
        n.widget->setObjectName(QString::fromLatin1(n.name));
        tag(n.widget, n.caption, n.toolTip);
    }
}

QLabel *fieldLabel(QWidget *parent, QWidget *field, int captionNumber)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("lbl") + field->objectName().mid(3));
    tag(label, captionNumber);
    label->setBuddy(field);
    return label;
}

} // namespace TextApplier

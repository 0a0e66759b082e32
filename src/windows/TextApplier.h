#pragma once
// Windows name their texts by number on each widget and action; applying them puts the texts of the
// text table in place when the window loads, so no window spells a user-visible text itself.
#include <initializer_list>

class QLabel;
class QObject;
class QWidget;

namespace TextApplier {

// The caption (title, text) and the tool-tip of a widget, action or menu by text number; 0 leaves it.
void tag(QObject *object, int captionNumber, int toolTipNumber = 0);

// A control's object name with its caption and tool-tip numbers (0: none).
struct Named {
    QWidget *widget;
    const char *name;
    int caption;
    int toolTip;
};
// Names and tags each control.
void nameAndTag(std::initializer_list<Named> controls);

// The caption label of a form field, named after it ("txtModel" gets "lblModel") and its buddy.
QLabel *fieldLabel(QWidget *parent, QWidget *field, int captionNumber);

// The window's own caption, then every child widget, action and menu, in creation order.
void apply(QWidget *window);

} // namespace TextApplier

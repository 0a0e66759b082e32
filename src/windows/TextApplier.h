#pragma once
// Windows name their texts by number on each widget and action; applying them puts the texts of the
// text table in place when the window loads, so no window spells a user-visible text itself.
class QObject;
class QWidget;

namespace TextApplier {

// The caption (title, text) and the tool-tip of a widget, action or menu by text number; 0 leaves it.
void tag(QObject *object, int captionNumber, int toolTipNumber = 0);

// The window's own caption, then every child widget, action and menu, in creation order.
void apply(QWidget *window);

} // namespace TextApplier

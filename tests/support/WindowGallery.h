// Every window of the desktop program with realistic content, shown one after the other and handed to
// a visitor while it is on screen: the screenshot tool saves each, the language test measures each.
#pragma once
#include <QString>

#include <functional>

class QWidget;

namespace WindowGallery {

// The window and a short name for it ("progedit-extended"); called once the window has laid itself out.
using Visit = std::function<void(QWidget *window, const char *name)>;

// Opens every window in the language of the sandboxes (GuiSandbox::setLanguage) and visits each. Files
// the windows write on the way (a printout's PDF file and its first page as a picture) go to fileFolder.
void showEveryWindow(const Visit &visit, const QString &fileFolder);

} // namespace WindowGallery

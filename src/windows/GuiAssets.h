#pragma once
// Pictures and settings every window takes from the program folder.
#include <QIcon>
#include <QPixmap>
#include <QString>

class CIni;
class QLabel;
class QWidget;

namespace GuiAssets {

QString grafics(const QString &fileName);
// "Main.ico"; a missing icon is reported through the error frame.
QIcon windowIcon();
// The maker's logo ("Logo_" + [General] Manufacturer + ".gif"); null when the file does not exist.
QPixmap logo(const CIni &ini);
// The header band picture.
QPixmap head();
// Sets the window icon, reporting a missing file once per call.
void applyIcon(QWidget *window);

} // namespace GuiAssets

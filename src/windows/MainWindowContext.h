#pragma once
// What the windows need from the program's frame: the shared objects, the dialogs, the wait dialog,
// the mouse pointer, the commands and their enabling, and help. The main window implements it, so
// the windows sit below it and a window never reaches into the frame's other parts.
class CSerialLink;
class Commands;
class QWidget;
class UserDialogs;
class frmDocument;
class frmWait;
struct SharedObjects;

class MainWindowContext {
public:
    // The frame itself: the parent of dialogs that belong to it, and the source of the window icon.
    virtual QWidget &frameWidget() = 0;
    virtual SharedObjects &shared() = 0;
    virtual UserDialogs &dialogs() = 0;
    virtual CSerialLink &link() = 0;
    virtual frmWait &waitDialog() = 0;
    // 0 default, 11 hourglass; for the main window and every document.
    virtual void SetMousePointer(int intMousePointerVal) = 0;
    // Enables the commands of the main window and of every document by meter state, edition and open
    // documents; flag is false when a closing document calls (it is then still counted).
    virtual bool UpdateCommandStates(bool flag) = 0;
    // Shows the help file at a window's help context number.
    virtual void showHelp(int contextNumber) = 0;
    // The program's commands, the document's among them.
    virtual Commands &commands() = 0;
    // One more document window beside the open ones, loaded, shown and active.
    virtual frmDocument *addDocumentWindow() = 0;

protected:
    ~MainWindowContext() = default;
};

#pragma once
// The objects every window and class of a run shares, created once and handed on by reference: the one
// place that wires each class to the collaborators it uses. No globals: a test builds a fresh set.
#include <memory>

#include <QSet>
#include <QString>

class CSerialLink;
class CMeasVal;
class CImportMVal;
class CExportExcel;
class CDevice;
class CCommunication;
class CLogin;
class CConfig;
class CUsrDefProg;
class CCalProtocol;
class CMath;
class CCalibration;
class CPrint;
class CIni;
class Archive;
class Worklist;

struct SharedObjects {
    // Owned by whoever holds the serial controls (the main window, the CLI, a test); null in a set
    // that only works on files.
    CSerialLink *link = nullptr;

    // Declared in the order of creation: a class comes after every object it holds a reference to, so
    // the reverse order of destruction never leaves a reference dangling.
    std::unique_ptr<CCommunication> communication;
    std::unique_ptr<CDevice> device;
    std::unique_ptr<CMeasVal> measVal;
    std::unique_ptr<CImportMVal> importMVal;
    std::unique_ptr<CExportExcel> exportExcel;
    std::unique_ptr<CLogin> login;
    std::unique_ptr<CConfig> config;
    std::unique_ptr<CMath> math;
    std::unique_ptr<CCalibration> calibration;
    std::unique_ptr<CUsrDefProg> usrDefProg;
    std::unique_ptr<CCalProtocol> calProtocol;
    std::unique_ptr<CPrint> print;
    std::unique_ptr<CIni> ini;
    std::unique_ptr<Archive> archive;
    // The worklist of the series being measured (null: none); applied to each new import.
    std::unique_ptr<Worklist> worklist;
    // What the deliveries after an import told the user already (a folder away, a wrong profile).
    QSet<QString> deliveryTold;

    explicit SharedObjects(CSerialLink *serialLink = nullptr);
    // Makes this set's run accountable: every file it writes, every change it makes to the meter's
    // programs and every calibration record it reads gets its entry in the activity trail, with the
    // user logged in; a change of the recorded settings since this account's last run is entered;
    // and where the lab's settings ask for one person per account, the login name is the account's.
    void recordActivity();
    // The login at start (previous empty) or a change of user, once the new name is in place.
    void recordLogin(const QString &previous);
    ~SharedObjects();
    SharedObjects(const SharedObjects &) = delete;
    SharedObjects &operator=(const SharedObjects &) = delete;

private:
    void recordSettingsChanges();
    int m_observer = 0;
};

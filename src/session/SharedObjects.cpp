#include "SharedObjects.h"

#include "Archive.h"
#include "CCalibration.h"
#include "CCalProtocol.h"
#include "CCommunication.h"
#include "CConfig.h"
#include "CDevice.h"
#include "CExportExcel.h"
#include "CImportMVal.h"
#include "CIni.h"
#include "CLogin.h"
#include "CMath.h"
#include "CMeasVal.h"
#include "CPrint.h"
#include "CUsrDefProg.h"
#include "FileWrites.h"
#include "Worklist.h"

SharedObjects::SharedObjects(CSerialLink *serialLink) : link(serialLink)
{
    // The program's order of creation (CMeasVal, CImportMVal, CExportExcel, CDevice, CCommunication,
    // CLogin, CConfig, CUsrDefProg, CCalProtocol, CMath, CCalibration, CPrint, CIni) with two moves that
    // constructor wiring needs: the link's classes first, since nearly everything talks to the meter
    // or asks the model, and CMath and CCalibration ahead of CUsrDefProg. No constructor reads a file,
    // talks to the meter or reports, so the moves change nothing a user or a file could see.
    communication = std::make_unique<CCommunication>(link);
    device = std::make_unique<CDevice>(link, *communication);
    measVal = std::make_unique<CMeasVal>(*device);
    importMVal = std::make_unique<CImportMVal>(link, *communication);
    exportExcel = std::make_unique<CExportExcel>(*device);
    login = std::make_unique<CLogin>();
    config = std::make_unique<CConfig>();
    math = std::make_unique<CMath>();
    calibration = std::make_unique<CCalibration>(*math);
    usrDefProg = std::make_unique<CUsrDefProg>(link, *communication, *device, *config, *calibration);
    calProtocol = std::make_unique<CCalProtocol>(*communication, *device, *login);
    print = std::make_unique<CPrint>(*device, *calProtocol);
    ini = std::make_unique<CIni>();
    archive = std::make_unique<Archive>(*device, *ini);
}

SharedObjects::~SharedObjects()
{
    FileWrites::clearCommitObserver(m_observer);
}

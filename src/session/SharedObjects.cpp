#include "SharedObjects.h"

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

SharedObjects::SharedObjects(CSerialLink *serialLink) : link(serialLink)
{
    // The order of creation is the one the program has always used; later classes join it in place.
    measVal = std::make_unique<CMeasVal>(*this);
    importMVal = std::make_unique<CImportMVal>(*this);
    exportExcel = std::make_unique<CExportExcel>(*this);
    device = std::make_unique<CDevice>(*this);
    communication = std::make_unique<CCommunication>(*this);
    login = std::make_unique<CLogin>(*this);
    config = std::make_unique<CConfig>(*this);
    usrDefProg = std::make_unique<CUsrDefProg>(*this);
    calProtocol = std::make_unique<CCalProtocol>(*this);
    math = std::make_unique<CMath>();
    calibration = std::make_unique<CCalibration>(*this);
    print = std::make_unique<CPrint>(*this);
    ini = std::make_unique<CIni>();
}

SharedObjects::~SharedObjects() = default;

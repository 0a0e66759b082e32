#include "SharedObjects.h"

#include "CCommunication.h"
#include "CDevice.h"
#include "CExportExcel.h"
#include "CImportMVal.h"
#include "CMeasVal.h"
#include "CIni.h"

SharedObjects::SharedObjects(CSerialLink *serialLink) : link(serialLink)
{
    // The order of creation is the one the program has always used; later classes join it in place.
    measVal = std::make_unique<CMeasVal>(*this);
    importMVal = std::make_unique<CImportMVal>(*this);
    exportExcel = std::make_unique<CExportExcel>(*this);
    device = std::make_unique<CDevice>(*this);
    communication = std::make_unique<CCommunication>(*this);
    ini = std::make_unique<CIni>();
}

SharedObjects::~SharedObjects() = default;

#include "SharedObjects.h"

#include "CCommunication.h"
#include "CDevice.h"
#include "CIni.h"

SharedObjects::SharedObjects(CSerialLink *serialLink) : link(serialLink)
{
    // The order of creation is the one the program has always used; later classes join it in place.
    device = std::make_unique<CDevice>(*this);
    communication = std::make_unique<CCommunication>(*this);
    ini = std::make_unique<CIni>();
}

SharedObjects::~SharedObjects() = default;

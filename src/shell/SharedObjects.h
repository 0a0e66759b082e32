#pragma once
// The objects every window and class of a run shares, created once in a fixed order and handed on by
// reference. No globals: a test builds a fresh set.
#include <memory>

class CSerialLink;
class CMeasVal;
class CImportMVal;
class CExportExcel;
class CDevice;
class CCommunication;
class CIni;

struct SharedObjects {
    // Owned by whoever holds the serial controls (the main window, the CLI, a test).
    CSerialLink *link = nullptr;

    std::unique_ptr<CMeasVal> measVal;
    std::unique_ptr<CImportMVal> importMVal;
    std::unique_ptr<CExportExcel> exportExcel;
    std::unique_ptr<CDevice> device;
    std::unique_ptr<CCommunication> communication;
    std::unique_ptr<CIni> ini;

    explicit SharedObjects(CSerialLink *serialLink = nullptr);
    ~SharedObjects();
    SharedObjects(const SharedObjects &) = delete;
    SharedObjects &operator=(const SharedObjects &) = delete;
};

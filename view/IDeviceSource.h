#pragma once

class ICamera;

// One list of devices the manager draws on, numbered from 0 within itself.
class IDeviceSource {
public:
    virtual ~IDeviceSource() = default;

    virtual int GetCount() = 0;
    // Null when out of range.
    virtual const char* GetName(unsigned int nIndex) = 0;
    // -1 when no device has exactly that name.
    virtual int FindName(const char* szName) = 0;
    // An opened, streaming camera, or null. A camera that fails to open is
    // released by the source, never handed out.
    virtual ICamera* CreateCamera(unsigned int nIndex, int nParam) = 0;
};

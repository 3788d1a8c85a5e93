#pragma once

class ICamera;

// Numbers every known camera, local ones first, then at most one phone named
// "[USB Device]", and creates opened, streaming cameras. GUI thread only.
class IDeviceMgr {
public:
    virtual ~IDeviceMgr() = default;

    // Refreshes the device lists.
    virtual void Enumerate() = 0;
    virtual int GetCount() = 0;
    // The device's name, owned by the manager; null when out of range.
    virtual const char* GetName(unsigned int nIndex) = 0;
    // The index of the device named exactly szName, or -1.
    virtual int FindName(const char* szName) = 0;
    // An opened, streaming camera that the caller owns (end it with
    // Release), or null when the index is out of range or opening failed.
    virtual ICamera* CreateCamera(unsigned int nIndex, int nParam) = 0;
};

// The device manager of the run, set by start-up.
extern IDeviceMgr* DeviceManager;

#pragma once

#include "view/IDeviceSource.h"

// The phone attached over USB: at most one device, named "[USB Device]".
class IPhoneDeviceSource : public IDeviceSource {
public:
    // Returns once the first look for a phone is done.
    virtual void WaitFirstScan() = 0;
};

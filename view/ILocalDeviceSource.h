#pragma once

#include "view/IDeviceSource.h"

// The cameras attached to this computer.
class ILocalDeviceSource : public IDeviceSource {
public:
    // Looks for attached cameras again.
    virtual void Enumerate() = 0;
};

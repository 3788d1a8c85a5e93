#include "app/SharedState.h"
#include "view/IDeviceMgr.h"

int CurrentRotateAngle = 0;
std::atomic<bool> IsRecording{false};

// Declared with its interface; defined here so that every library can reach
// it without depending on the view library.
IDeviceMgr* DeviceManager = nullptr;

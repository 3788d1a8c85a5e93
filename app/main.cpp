#include "app/Application.h"
#include "camera/V4l2DeviceList.h"
#include "phone/AndroidUsbDevices.h"
#include "view/DeviceMgr.h"

namespace {

// The camera sources of the program: the cameras attached to this computer,
// then the phone. Each source joins here as it is built.
std::unique_ptr<IDeviceMgr> CreateDeviceManager() {
    std::unique_ptr<ILocalDeviceSource> pLocal = std::make_unique<V4l2DeviceList>();
    std::unique_ptr<IPhoneDeviceSource> pPhone = std::make_unique<AndroidUsbDevices>();
    return std::make_unique<DeviceMgr>(std::move(pLocal), std::move(pPhone));
}

} // namespace

int main(int argc, char* argv[]) {
    return RunApplication(argc, argv, CreateDeviceManager);
}

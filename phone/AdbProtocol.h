#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One line of the adb server's device list.
struct AdbDevice {
    std::string strSerial;
    // "device" when ready; "offline", "unauthorized", "no permissions", ...
    std::string strState;
    // Empty unless the long list was asked for.
    std::string strModel;
};

// The text forms of the adb server's host protocol.
class AdbProtocol {
public:
    // The service's length as 4 hex digits, then the service; empty when the
    // service is empty or too long for 4 digits.
    static std::string EncodeRequest(const std::string& strService);
    // Exactly 4 hex digits (either case); false for anything else.
    static bool ParseHexLength(const char* pDigits, size_t& nLength);
    // One device per line, "serial<TAB>state" or, in the long form,
    // "serial<spaces>state key:value ...". Lines without a state are skipped.
    static std::vector<AdbDevice> ParseDeviceList(const std::string& strList);
    // IADBDelegates' status: ready when a device is in the state "device",
    // unusable when devices are listed but none is, else no phone.
    static int DeviceStatus(const std::vector<AdbDevice>& devices);
    // The first ready device, or null.
    static const AdbDevice* FindReady(const std::vector<AdbDevice>& devices);
};

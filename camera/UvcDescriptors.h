#pragma once

#include <cstddef>
#include <cstdint>

// Reads the USB descriptors of a UVC camera (the bytes of its sysfs
// "descriptors" file).
class UvcDescriptors {
public:
    // The bUnitID of the first extension unit whose guidExtensionCode is
    // guid (the 16 bytes as the device sends them), or -1 when the camera
    // has no such unit. Only units of a video control interface count: the
    // same subtype means something else elsewhere.
    static int FindExtensionUnit(const uint8_t* pData, size_t nLength, const uint8_t (&guid)[16]);
};

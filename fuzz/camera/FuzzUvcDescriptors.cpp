// The descriptors file of whatever USB device sits behind a video node.
#include "camera/UvcDescriptors.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const uint8_t kGuid[16] = {0x5D, 0xC7, 0x17, 0xA9, 0x19, 0x41, 0xDA, 0x11,
                                      0xAE, 0x0E, 0x00, 0x0D, 0x56, 0xAC, 0x7B, 0x4C};
    const int nUnit = UvcDescriptors::FindExtensionUnit(pData, nSize, kGuid);
    if (nUnit < -1 || nUnit > 255) {
        __builtin_trap();
    }
    return 0;
}

#include "camera/UvcDescriptors.h"

#include <cstring>

namespace {

constexpr uint8_t kInterface = 0x04;
constexpr uint8_t kClassSpecificInterface = 0x24;
constexpr uint8_t kVideoClass = 0x0E;
constexpr uint8_t kVideoControlSubclass = 0x01;
constexpr uint8_t kExtensionUnit = 0x06;
// bLength, bDescriptorType, bDescriptorSubtype, bUnitID, guidExtensionCode
constexpr size_t kExtensionUnitFields = 4 + 16;

} // namespace

int UvcDescriptors::FindExtensionUnit(const uint8_t* pData, size_t nLength,
                                      const uint8_t (&guid)[16]) {
    bool bVideoControl = false;
    size_t nAt = 0;
    while (nLength - nAt >= 2) {
        const uint8_t* pDescriptor = pData + nAt;
        const size_t nSize = pDescriptor[0];
        // A length that cannot be right leaves the rest unreadable.
        if (nSize < 2 || nSize > nLength - nAt) {
            break;
        }
        if (pDescriptor[1] == kInterface) {
            // The descriptors after an interface descriptor belong to it.
            bVideoControl = nSize >= 9 && pDescriptor[5] == kVideoClass &&
                            pDescriptor[6] == kVideoControlSubclass;
        } else if (bVideoControl && pDescriptor[1] == kClassSpecificInterface &&
                   nSize >= kExtensionUnitFields && pDescriptor[2] == kExtensionUnit &&
                   std::memcmp(pDescriptor + 4, guid, sizeof(guid)) == 0) {
            return pDescriptor[3];
        }
        nAt += nSize;
    }
    return -1;
}

#include "tools/demo/DemoSource.h"

#include "tools/demo/DemoCamera.h"

#include <cstring>

namespace {
const char kName[] = "Orvane demo camera";
}

const char* DemoSource::GetName(unsigned int nIndex) {
    return nIndex == 0 ? kName : nullptr;
}

int DemoSource::FindName(const char* szName) {
    return szName != nullptr && std::strcmp(szName, kName) == 0 ? 0 : -1;
}

ICamera* DemoSource::CreateCamera(unsigned int nIndex, int) {
    return nIndex == 0 ? new DemoCamera(m_nWidth, m_nHeight) : nullptr;
}

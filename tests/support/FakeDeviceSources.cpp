#include "tests/support/FakeDeviceSources.h"

#include <algorithm>

FakeLocalSource::FakeLocalSource(std::vector<std::string> names, FakeCameraFactory factory)
    : m_names(std::move(names)), m_factory(std::move(factory)) {}

int FakeLocalSource::GetCount() {
    return static_cast<int>(m_names.size());
}

const char* FakeLocalSource::GetName(unsigned int nIndex) {
    return nIndex < m_names.size() ? m_names[nIndex].c_str() : nullptr;
}

int FakeLocalSource::FindName(const char* szName) {
    const auto it = std::find(m_names.begin(), m_names.end(), szName);
    return it == m_names.end() ? -1 : static_cast<int>(it - m_names.begin());
}

ICamera* FakeLocalSource::CreateCamera(unsigned int nIndex, int) {
    FakeCamera* pCamera = nIndex >= m_names.size() ? nullptr
                          : m_factory              ? m_factory(nIndex)
                                                   : new FakeCamera(640, 480);
    if (!pCamera) {
        return nullptr;
    }
    m_log->cameras.push_back(pCamera->Log());
    if (!pCamera->Open()) {
        pCamera->Release();
        return nullptr;
    }
    return pCamera;
}

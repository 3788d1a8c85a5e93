#include "tests/support/FakeDeviceSource.h"

#include <algorithm>

FakeDeviceSource::FakeDeviceSource(std::vector<std::string> names, FakeCameraFactory factory,
                                   std::string strWho, std::shared_ptr<FakeSourceLog> log)
    : m_names(std::move(names)), m_factory(std::move(factory)), m_strWho(std::move(strWho)),
      m_log(log ? std::move(log) : std::make_shared<FakeSourceLog>()) {}

const char* FakeDeviceSource::GetName(unsigned int nIndex) {
    return nIndex < m_names.size() ? m_names[nIndex].c_str() : nullptr;
}

int FakeDeviceSource::FindName(const char* szName) {
    const auto it = std::find(m_names.begin(), m_names.end(), szName);
    return it == m_names.end() ? -1 : static_cast<int>(it - m_names.begin());
}

ICamera* FakeDeviceSource::CreateCamera(unsigned int nIndex, int nParam) {
    Note("camera " + std::to_string(nIndex) + " " + std::to_string(nParam));
    FakeCamera* pCamera = nIndex >= m_names.size() ? nullptr
                          : m_factory              ? m_factory(nIndex)
                                                   : new FakeCamera(640, 480);
    if (pCamera) {
        m_log->cameras.push_back(pCamera->Log());
    }
    return pCamera;
}

#include "tests/support/FakeDeviceSources.h"

namespace {

const char kPhoneName[] = "[USB Device]";

ICamera* MakeCamera(const FakeCameraFactory& factory, unsigned int nIndex, FakeSourceLog& log) {
    FakeCamera* pCamera = factory ? factory(nIndex) : new FakeCamera(640, 480);
    if (!pCamera) {
        return nullptr;
    }
    log.cameras.push_back(pCamera->Log());
    if (!pCamera->Open()) {
        pCamera->Release();
        return nullptr;
    }
    return pCamera;
}

void NoteDestroyed(FakeSourceLog& log, const char* szWho) {
    if (log.destructionOrder) {
        log.destructionOrder->emplace_back(szWho);
    }
}

} // namespace

FakeLocalSource::FakeLocalSource(std::vector<std::string> names, FakeCameraFactory factory)
    : m_names(std::move(names)), m_factory(std::move(factory)) {}

FakeLocalSource::~FakeLocalSource() {
    NoteDestroyed(*m_log, "local");
}

void FakeLocalSource::Enumerate() {
    ++m_log->nEnumerates;
    if (m_bHasPending) {
        m_names = std::move(m_pending);
        m_pending.clear();
        m_bHasPending = false;
    }
}

int FakeLocalSource::GetCount() {
    return static_cast<int>(m_names.size());
}

const char* FakeLocalSource::GetName(unsigned int nIndex) {
    return nIndex < m_names.size() ? m_names[nIndex].c_str() : nullptr;
}

int FakeLocalSource::FindName(const char* szName) {
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (m_names[i] == szName) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

ICamera* FakeLocalSource::CreateCamera(unsigned int nIndex, int) {
    if (nIndex >= m_names.size()) {
        return nullptr;
    }
    return MakeCamera(m_factory, nIndex, *m_log);
}

FakePhoneSource::FakePhoneSource(bool bPresent, FakeCameraFactory factory)
    : m_bPresent(bPresent), m_factory(std::move(factory)) {}

FakePhoneSource::~FakePhoneSource() {
    NoteDestroyed(*m_log, "phone");
}

void FakePhoneSource::WaitFirstScan() {
    ++m_log->nFirstScanWaits;
}

int FakePhoneSource::GetCount() {
    return m_bPresent ? 1 : 0;
}

const char* FakePhoneSource::GetName(unsigned int nIndex) {
    return (m_bPresent && nIndex == 0) ? kPhoneName : nullptr;
}

int FakePhoneSource::FindName(const char* szName) {
    return (m_bPresent && std::string(szName) == kPhoneName) ? 0 : -1;
}

ICamera* FakePhoneSource::CreateCamera(unsigned int nIndex, int) {
    if (!m_bPresent || nIndex != 0) {
        return nullptr;
    }
    return MakeCamera(m_factory, nIndex, *m_log);
}

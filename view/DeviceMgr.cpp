#include "view/DeviceMgr.h"

DeviceMgr::DeviceMgr(std::unique_ptr<ILocalDeviceSource> pLocal,
                     std::unique_ptr<IPhoneDeviceSource> pPhone)
    : m_pLocal(std::move(pLocal)), m_pPhone(std::move(pPhone)) {
    Enumerate();
}

DeviceMgr::~DeviceMgr() {
    // The phone source runs a watcher thread that may still be forwarding
    // ports; it goes first, the local list after it.
    m_pPhone.reset();
    m_pLocal.reset();
}

void DeviceMgr::Enumerate() {
    if (m_pLocal) {
        m_pLocal->Enumerate();
    }
    if (m_pPhone) {
        m_pPhone->WaitFirstScan();
    }
}

int DeviceMgr::LocalCount() const {
    return m_pLocal ? m_pLocal->GetCount() : 0;
}

int DeviceMgr::PhoneCount() const {
    return m_pPhone ? m_pPhone->GetCount() : 0;
}

int DeviceMgr::GetCount() {
    return LocalCount() + PhoneCount();
}

const char* DeviceMgr::GetName(unsigned int nIndex) {
    const unsigned int nLocal = static_cast<unsigned int>(LocalCount());
    if (nIndex < nLocal) {
        return m_pLocal->GetName(nIndex);
    }
    if (nIndex - nLocal < static_cast<unsigned int>(PhoneCount())) {
        return m_pPhone->GetName(nIndex - nLocal);
    }
    return nullptr;
}

int DeviceMgr::FindName(const char* szName) {
    if (!szName) {
        return -1;
    }
    if (m_pLocal) {
        const int nFound = m_pLocal->FindName(szName);
        if (nFound >= 0) {
            return nFound;
        }
    }
    if (m_pPhone && m_pPhone->FindName(szName) == 0) {
        return LocalCount();
    }
    return -1;
}

ICamera* DeviceMgr::CreateCamera(unsigned int nIndex, int nParam) {
    const unsigned int nLocal = static_cast<unsigned int>(LocalCount());
    if (nIndex < nLocal) {
        return m_pLocal->CreateCamera(nIndex, nParam);
    }
    if (nIndex - nLocal < static_cast<unsigned int>(PhoneCount())) {
        return m_pPhone->CreateCamera(nIndex - nLocal, nParam);
    }
    return nullptr;
}

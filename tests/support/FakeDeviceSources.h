#pragma once

#include "tests/support/FakeCamera.h"
#include "view/ILocalDeviceSource.h"
#include "view/IPhoneDeviceSource.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// How a fake source makes its cameras: by default a 640 x 480 FakeCamera.
// A factory may return a camera set to fail opening; the source then
// releases it and hands out null, like a real source.
using FakeCameraFactory = std::function<FakeCamera*(unsigned int nIndex)>;

// What a fake source was asked, readable after the source is destroyed.
struct FakeSourceLog {
    int nEnumerates = 0;
    int nFirstScanWaits = 0;
    // Filled by the destructor, so a test can check destruction order.
    std::shared_ptr<std::vector<std::string>> destructionOrder;
    // Logs of the cameras created so far, in order of creation.
    std::vector<std::shared_ptr<FakeCameraLog>> cameras;
};

class FakeLocalSource : public ILocalDeviceSource {
public:
    explicit FakeLocalSource(std::vector<std::string> names, FakeCameraFactory factory = {});
    ~FakeLocalSource() override;

    std::shared_ptr<FakeSourceLog> Log() const { return m_log; }
    // Names that the next Enumerate will find (a camera plugged in or out).
    void SetNamesOnNextEnumerate(std::vector<std::string> names) {
        m_pending = std::move(names);
        m_bHasPending = true;
    }

    void Enumerate() override;
    int GetCount() override;
    const char* GetName(unsigned int nIndex) override;
    int FindName(const char* szName) override;
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override;

private:
    std::vector<std::string> m_names;
    std::vector<std::string> m_pending;
    bool m_bHasPending = false;
    FakeCameraFactory m_factory;
    std::shared_ptr<FakeSourceLog> m_log = std::make_shared<FakeSourceLog>();
};

// The phone source: lists "[USB Device]" while a phone is present.
class FakePhoneSource : public IPhoneDeviceSource {
public:
    explicit FakePhoneSource(bool bPresent, FakeCameraFactory factory = {});
    ~FakePhoneSource() override;

    std::shared_ptr<FakeSourceLog> Log() const { return m_log; }
    void SetPresent(bool bPresent) { m_bPresent = bPresent; }

    void WaitFirstScan() override;
    int GetCount() override;
    const char* GetName(unsigned int nIndex) override;
    int FindName(const char* szName) override;
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override;

private:
    bool m_bPresent;
    FakeCameraFactory m_factory;
    std::shared_ptr<FakeSourceLog> m_log = std::make_shared<FakeSourceLog>();
};

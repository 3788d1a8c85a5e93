#pragma once

#include "tests/support/FakeCamera.h"
#include "view/ILocalDeviceSource.h"
#include "view/IPhoneDeviceSource.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// How a fake source makes its cameras: by default a 640 x 480 FakeCamera.
// A factory may return null, like a device that cannot be opened.
using FakeCameraFactory = std::function<FakeCamera*(unsigned int nIndex)>;

// What fake sources did, readable after they are destroyed; sources may
// share one to show the order of their calls.
struct FakeSourceLog {
    // Logs of the cameras created so far, in order of creation.
    std::vector<std::shared_ptr<FakeCameraLog>> cameras;
    // "<who> enumerate; ", "<who> scan; ", "<who> camera <index> <param>; ",
    // "<who> gone; ", in call order.
    std::string strCalls;
};

// Cameras of fixed names, local or the phone's.
class FakeDeviceSource final : public ILocalDeviceSource, public IPhoneDeviceSource {
public:
    explicit FakeDeviceSource(std::vector<std::string> names, FakeCameraFactory factory = {},
                              std::string strWho = "local",
                              std::shared_ptr<FakeSourceLog> log = nullptr);
    ~FakeDeviceSource() override { Note("gone"); }

    std::shared_ptr<FakeSourceLog> Log() const { return m_log; }

    void Enumerate() override { Note("enumerate"); }
    void WaitFirstScan() override { Note("scan"); }
    int GetCount() override { return static_cast<int>(m_names.size()); }
    const char* GetName(unsigned int nIndex) override;
    int FindName(const char* szName) override;
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override;

    // A test may plug and unplug cameras.
    std::vector<std::string> m_names;

private:
    void Note(const std::string& strWhat) { m_log->strCalls += m_strWho + " " + strWhat + "; "; }

    FakeCameraFactory m_factory;
    const std::string m_strWho;
    std::shared_ptr<FakeSourceLog> m_log;
};

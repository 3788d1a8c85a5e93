#pragma once

#include "tests/support/FakeCamera.h"
#include "view/ILocalDeviceSource.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// How a fake source makes its cameras: by default a 640 x 480 FakeCamera.
// A factory may return a camera set to fail opening; the source then
// releases it and hands out null, like a real source.
using FakeCameraFactory = std::function<FakeCamera*(unsigned int nIndex)>;

// What a fake source made, readable after the source is destroyed.
struct FakeSourceLog {
    // Logs of the cameras created so far, in order of creation.
    std::vector<std::shared_ptr<FakeCameraLog>> cameras;
};

// Local cameras of fixed names.
class FakeLocalSource : public ILocalDeviceSource {
public:
    explicit FakeLocalSource(std::vector<std::string> names, FakeCameraFactory factory = {});

    std::shared_ptr<FakeSourceLog> Log() const { return m_log; }

    void Enumerate() override {}
    int GetCount() override;
    const char* GetName(unsigned int nIndex) override;
    int FindName(const char* szName) override;
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override;

private:
    std::vector<std::string> m_names;
    FakeCameraFactory m_factory;
    std::shared_ptr<FakeSourceLog> m_log = std::make_shared<FakeSourceLog>();
};

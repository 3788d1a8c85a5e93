#pragma once

#include "app/Configuration.h"
#include "tests/support/FakeDeviceSource.h"
#include "view/DeviceMgr.h"

#include <QSettings>

#include <gtest/gtest.h>

// A test with an empty private configuration and, once MakeDevices has run,
// DeviceManager over fake local cameras (their logs in m_devices).
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenConfiguration();
        ConfigSettings->clear();
    }
    void TearDown() override {
        DeviceManager = nullptr;
        m_pManager.reset();
        CloseConfiguration();
    }
    void MakeDevices(std::vector<std::string> names, FakeCameraFactory factory = {}) {
        auto pLocal = std::make_unique<FakeDeviceSource>(std::move(names), std::move(factory));
        m_devices = pLocal->Log();
        m_pManager = std::make_unique<DeviceMgr>(std::move(pLocal), nullptr);
        DeviceManager = m_pManager.get();
    }

    std::unique_ptr<DeviceMgr> m_pManager;
    std::shared_ptr<FakeSourceLog> m_devices;
};

#include "view/DeviceMgr.h"

#include "tests/support/FakeDeviceSource.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DeviceMgrTest, NumbersLocalCamerasFirstThenThePhone) {
    const auto log = std::make_shared<FakeSourceLog>();
    const auto none = [](unsigned int) -> FakeCamera* { return nullptr; };
    auto pLocal = std::make_unique<FakeDeviceSource>(std::vector<std::string>{"Webcam", "Doc"},
                                                     none, "local", log);
    FakeDeviceSource& local = *pLocal;
    {
        DeviceMgr manager(std::move(pLocal),
                          std::make_unique<FakeDeviceSource>(std::vector<std::string>{"Doc"}, none,
                                                             "phone", log));
        // A phone attached at start is known when the constructor returns.
        EXPECT_EQ(log->strCalls, "local enumerate; phone scan; ");
        ASSERT_EQ(manager.GetCount(), 3);
        EXPECT_STREQ(manager.GetName(2), "Doc");
        EXPECT_EQ(manager.GetName(3), nullptr);
        EXPECT_EQ(manager.GetName(UINT_MAX), nullptr);
        // A local camera wins over a phone of the same name; names match exactly.
        EXPECT_EQ(manager.FindName("Doc"), 1);
        EXPECT_EQ(manager.FindName("webcam"), -1);
        EXPECT_EQ(manager.FindName(nullptr), -1);
        log->strCalls.clear();
        for (unsigned int nIndex : {2u, 1u, 3u, UINT_MAX}) {
            EXPECT_EQ(manager.CreateCamera(nIndex, 7), nullptr);
        }
        EXPECT_EQ(log->strCalls, "phone camera 0 7; local camera 1 7; ");

        // An unplugged camera shifts the phone down.
        log->strCalls.clear();
        local.m_names = {"Webcam"};
        EXPECT_EQ(manager.FindName("Doc"), 1);
        EXPECT_STREQ(manager.GetName(1), "Doc");
    }
    // The phone's watcher thread goes first.
    EXPECT_EQ(log->strCalls, "phone gone; local gone; ");

    DeviceMgr empty(nullptr, nullptr);
    empty.Enumerate();
    EXPECT_EQ(empty.GetCount(), 0);
    EXPECT_EQ(empty.FindName("Doc"), -1);
    EXPECT_EQ(empty.GetName(0), nullptr);
    EXPECT_EQ(empty.CreateCamera(0, 0), nullptr);
    DeviceMgr phoneOnly(nullptr,
                        std::make_unique<FakeDeviceSource>(std::vector<std::string>{"Doc"}));
    EXPECT_EQ(phoneOnly.FindName("Doc"), 0);
}

} // namespace

#include "view/DeviceMgr.h"
#include "tests/support/FakeDeviceSources.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

std::unique_ptr<FakeLocalSource> Local(std::vector<std::string> names) {
    return std::make_unique<FakeLocalSource>(std::move(names));
}

TEST(DeviceMgrTest, LocalCamerasComeFirstThenThePhone) {
    auto pLocal = Local({"Document Camera", "Webcam"});
    auto pPhone = std::make_unique<FakePhoneSource>(true);
    auto localLog = pLocal->Log();
    auto phoneLog = pPhone->Log();
    DeviceMgr manager(std::move(pLocal), std::move(pPhone));

    ASSERT_EQ(manager.GetCount(), 3);
    EXPECT_STREQ(manager.GetName(0), "Document Camera");
    EXPECT_STREQ(manager.GetName(1), "Webcam");
    EXPECT_STREQ(manager.GetName(2), "[USB Device]");
    EXPECT_EQ(manager.GetName(3), nullptr);
    EXPECT_EQ(manager.GetName(UINT_MAX), nullptr);

    EXPECT_EQ(manager.FindName("Webcam"), 1);
    EXPECT_EQ(manager.FindName("[USB Device]"), 2);
    EXPECT_EQ(manager.FindName("webcam"), -1);
    EXPECT_EQ(manager.FindName(""), -1);
    EXPECT_EQ(manager.FindName(nullptr), -1);

    ICamera* pCamera = manager.CreateCamera(2, 0);
    ASSERT_NE(pCamera, nullptr);
    EXPECT_TRUE(pCamera->IsRunning());
    EXPECT_EQ(phoneLog->cameras.size(), 1u);
    EXPECT_TRUE(localLog->cameras.empty());
    pCamera->Release();

    pCamera = manager.CreateCamera(1, 0);
    ASSERT_NE(pCamera, nullptr);
    EXPECT_EQ(localLog->cameras.size(), 1u);
    pCamera->Release();

    EXPECT_EQ(manager.CreateCamera(3, 0), nullptr);
    EXPECT_EQ(manager.CreateCamera(UINT_MAX, 0), nullptr);
}

TEST(DeviceMgrTest, FindNamePrefersALocalCameraOfTheSameName) {
    DeviceMgr manager(Local({"Webcam", "[USB Device]"}), std::make_unique<FakePhoneSource>(true));
    EXPECT_EQ(manager.FindName("[USB Device]"), 1);
}

TEST(DeviceMgrTest, AbsentSourcesListNothing) {
    DeviceMgr empty(nullptr, nullptr);
    empty.Enumerate();
    EXPECT_EQ(empty.GetCount(), 0);
    EXPECT_EQ(empty.GetName(0), nullptr);
    EXPECT_EQ(empty.FindName("[USB Device]"), -1);
    EXPECT_EQ(empty.CreateCamera(0, 0), nullptr);

    DeviceMgr phoneOnly(nullptr, std::make_unique<FakePhoneSource>(true));
    EXPECT_EQ(phoneOnly.GetCount(), 1);
    EXPECT_STREQ(phoneOnly.GetName(0), "[USB Device]");
    EXPECT_EQ(phoneOnly.FindName("[USB Device]"), 0);

    DeviceMgr noPhone(Local({"Webcam"}), std::make_unique<FakePhoneSource>(false));
    EXPECT_EQ(noPhone.GetCount(), 1);
    EXPECT_EQ(noPhone.GetName(1), nullptr);
    EXPECT_EQ(noPhone.FindName("[USB Device]"), -1);
    EXPECT_EQ(noPhone.CreateCamera(1, 0), nullptr);
}

TEST(DeviceMgrTest, ACameraThatFailsToOpenIsReleasedAndNotHandedOut) {
    auto pLocal =
        std::make_unique<FakeLocalSource>(std::vector<std::string>{"Broken"}, [](unsigned int) {
            auto* pCamera = new FakeCamera(320, 240);
            pCamera->SetOpenSucceeds(false);
            return pCamera;
        });
    auto log = pLocal->Log();
    DeviceMgr manager(std::move(pLocal), nullptr);

    EXPECT_EQ(manager.CreateCamera(0, 0), nullptr);
    ASSERT_EQ(log->cameras.size(), 1u);
    EXPECT_TRUE(log->cameras[0]->bReleased);
}

TEST(DeviceMgrTest, EnumeratesOnConstructionAndOnRequestAndDestroysThePhoneFirst) {
    auto order = std::make_shared<std::vector<std::string>>();
    auto pLocal = Local({"Webcam"});
    auto pPhone = std::make_unique<FakePhoneSource>(false);
    FakeLocalSource* pLocalRaw = pLocal.get();
    FakePhoneSource* pPhoneRaw = pPhone.get();
    auto localLog = pLocal->Log();
    auto phoneLog = pPhone->Log();
    localLog->destructionOrder = order;
    phoneLog->destructionOrder = order;
    {
        DeviceMgr manager(std::move(pLocal), std::move(pPhone));
        // A phone attached at start is known when the constructor returns.
        EXPECT_EQ(localLog->nEnumerates, 1);
        EXPECT_EQ(phoneLog->nFirstScanWaits, 1);

        pLocalRaw->SetNamesOnNextEnumerate({"Webcam", "Document Camera"});
        pPhoneRaw->SetPresent(true);
        EXPECT_EQ(manager.GetCount(), 2); // the local list is only read anew on Enumerate
        manager.Enumerate();
        EXPECT_EQ(localLog->nEnumerates, 2);
        EXPECT_EQ(phoneLog->nFirstScanWaits, 2);
        EXPECT_EQ(manager.GetCount(), 3);
        EXPECT_EQ(manager.FindName("[USB Device]"), 2);

        // An unplugged camera shifts the phone down.
        pLocalRaw->SetNamesOnNextEnumerate({});
        manager.Enumerate();
        EXPECT_EQ(manager.FindName("[USB Device]"), 0);
    }
    EXPECT_EQ(*order, (std::vector<std::string>{"phone", "local"}));
}

} // namespace

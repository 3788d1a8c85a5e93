#include "view/DeviceMgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

// A list of names, local or the phone's, that notes in strLog what the
// manager asks of it (cameras it is asked for are noted, none is made).
class Names final : public ILocalDeviceSource, public IPhoneDeviceSource {
public:
    Names(const char* szWho, std::vector<std::string> names, std::string& strLog)
        : m_names(std::move(names)), m_strWho(szWho), m_strLog(strLog) {}
    ~Names() override { Note("gone"); }
    void Enumerate() override { Note("enumerate"); }
    void WaitFirstScan() override { Note("scan"); }
    int GetCount() override { return static_cast<int>(m_names.size()); }
    const char* GetName(unsigned int nIndex) override {
        return nIndex < m_names.size() ? m_names[nIndex].c_str() : nullptr;
    }
    int FindName(const char* szName) override {
        const auto it = std::find(m_names.begin(), m_names.end(), szName);
        return it == m_names.end() ? -1 : static_cast<int>(it - m_names.begin());
    }
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override {
        Note("camera " + std::to_string(nIndex) + " " + std::to_string(nParam));
        return nullptr;
    }

    std::vector<std::string> m_names;

private:
    void Note(const std::string& strWhat) { m_strLog += m_strWho + " " + strWhat + "; "; }

    const std::string m_strWho;
    std::string& m_strLog;
};

TEST(DeviceMgrTest, NumbersLocalCamerasFirstThenThePhone) {
    std::string strLog;
    auto pLocal =
        std::make_unique<Names>("local", std::vector<std::string>{"Webcam", "Doc"}, strLog);
    Names& local = *pLocal;
    {
        DeviceMgr manager(std::move(pLocal), std::make_unique<Names>(
                                                 "phone", std::vector<std::string>{"Doc"}, strLog));
        // A phone attached at start is known when the constructor returns.
        EXPECT_EQ(strLog, "local enumerate; phone scan; ");
        ASSERT_EQ(manager.GetCount(), 3);
        EXPECT_STREQ(manager.GetName(1), "Doc");
        EXPECT_STREQ(manager.GetName(2), "Doc");
        EXPECT_EQ(manager.GetName(3), nullptr);
        EXPECT_EQ(manager.GetName(UINT_MAX), nullptr);
        // A local camera wins over a phone of the same name; names match exactly.
        EXPECT_EQ(manager.FindName("Doc"), 1);
        EXPECT_EQ(manager.FindName("webcam"), -1);
        EXPECT_EQ(manager.FindName(nullptr), -1);
        strLog.clear();
        for (unsigned int nIndex : {2u, 1u, 3u, UINT_MAX}) {
            EXPECT_EQ(manager.CreateCamera(nIndex, 7), nullptr);
        }
        EXPECT_EQ(strLog, "phone camera 0 7; local camera 1 7; ");

        // An unplugged camera shifts the phone down.
        strLog.clear();
        manager.Enumerate();
        local.m_names = {"Webcam"};
        EXPECT_EQ(manager.FindName("Doc"), 1);
        EXPECT_STREQ(manager.GetName(1), "Doc");
    }
    // The phone's watcher thread goes first.
    EXPECT_EQ(strLog, "local enumerate; phone scan; phone gone; local gone; ");

    DeviceMgr none(nullptr, nullptr);
    none.Enumerate();
    EXPECT_EQ(none.GetCount(), 0);
    EXPECT_EQ(none.FindName("Doc"), -1);
    EXPECT_EQ(none.GetName(0), nullptr);
    EXPECT_EQ(none.CreateCamera(0, 0), nullptr);
    DeviceMgr phoneOnly(nullptr,
                        std::make_unique<Names>("phone", std::vector<std::string>{"Doc"}, strLog));
    EXPECT_STREQ(phoneOnly.GetName(0), "Doc");
    EXPECT_EQ(phoneOnly.FindName("Doc"), 0);
}

} // namespace

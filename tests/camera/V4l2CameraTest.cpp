#include "camera/V4l2Camera.h"
#include "camera/V4l2DeviceList.h"
#include "tests/camera/FakeV4l2.h"
#include "tests/camera/MjpegTestFrames.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace {

constexpr int kFastWatchMs = 5;
const std::map<std::string, Bgr> kColours = {{"red", {30, 30, 220}},
                                             {"green", {40, 200, 40}},
                                             {"blue", {210, 40, 30}},
                                             {"yellow", {30, 210, 220}}};

std::vector<uint8_t> Frame(const std::string& strColour) {
    const auto& bgr = kColours.at(strColour);
    return EncodeMjpeg(MakeQuadrants(48, 32, {bgr, bgr, bgr, bgr}), AV_PIX_FMT_YUVJ422P);
}

FakeNodeSpec Camera() {
    FakeNodeSpec spec;
    spec.descriptors = MakeUvcDescriptors(VendorUnitGuid(), 5);
    return spec;
}

// The colour LockFrame shows in the middle of the picture, or "none"; it
// unlocks again. ppData receives the picture.
std::string Shown(ICamera& camera, unsigned char** ppData = nullptr) {
    unsigned char* pData = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    if (!camera.LockFrame(pData, nSize, nWidth, nHeight)) {
        return "none";
    }
    const unsigned char* pPixel = pData + ((nHeight / 2) * nWidth + nWidth / 2) * 4;
    std::string strShown = "other";
    for (const auto& colour : kColours) {
        if (std::abs(pPixel[0] - colour.second[0]) + std::abs(pPixel[1] - colour.second[1]) +
                std::abs(pPixel[2] - colour.second[2]) <
            60) {
            strShown = colour.first;
        }
    }
    if (ppData) {
        *ppData = pData;
    }
    camera.UnlockFrame();
    return strShown;
}

struct Released {
    void operator()(V4l2Camera* pCamera) const { pCamera->Release(); }
};
using CameraPtr = std::unique_ptr<V4l2Camera, Released>;

CameraPtr OpenCamera(std::shared_ptr<FakeV4l2System> pSystem, int nWatchMs = kFastWatchMs) {
    CameraPtr pCamera(new V4l2Camera(std::move(pSystem), nWatchMs));
    return pCamera->Open("/dev/video0", 0) ? std::move(pCamera) : nullptr;
}

std::vector<std::string> CommandWrites(int nNode, std::initializer_list<int> codes) {
    std::vector<std::string> writes;
    const std::string strTo =
        "video" + std::to_string(nNode) + " unit 5 selector 4 query 1 size 4:";
    for (int nCode : codes) {
        char szCode[8];
        std::snprintf(szCode, sizeof(szCode), " %02X", nCode);
        writes.insert(writes.end(),
                      {strTo + " 20 46 B4" + szCode, strTo + " 20 38 B4 02", strTo + " 20 40 B4 00",
                       strTo + " 20 41 B4 00", strTo + " 20 44 B4 01"});
    }
    return writes;
}

} // namespace

TEST(V4l2Camera, StreamsTheLargestMjpegSizeThatGivesFifteenPicturesASecond) {
    struct Case {
        const char* szName;
        std::vector<FakeNodeSpec::Size> sizes;
        uint32_t nWidth, nHeight, nNumerator, nDenominator;
    };
    const Case cases[] = {
        {"exactly 15 a second wins, just below does not",
         {{640, 480, {{1, 30}}},
          {1600, 1200, {{1, 10}, {1, 15}}},
          {1280, 720, {{1, 30}}},
          {2592, 1944, {{2, 29}}}},
         1600,
         1200,
         1,
         15},
        {"taller at the same width, listed first",
         {{1280, 960, {{1, 20}}}, {1280, 720, {{1, 30}}}},
         1280,
         960,
         1,
         20},
        {"none fast enough: the current size",
         {{1920, 1080, {{1, 5}}}, {800, 600, {{1, 10}}}},
         800,
         600,
         0,
         0},
        {"no MJPEG: not opened", {}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        auto pSystem = std::make_shared<FakeV4l2System>();
        FakeNodeSpec spec = Camera();
        spec.mjpeg = c.sizes;
        spec.nWidth = 800;
        spec.nHeight = 600;
        pSystem->Plug(0, spec);
        CameraPtr pCamera = OpenCamera(pSystem);
        const FakeNodeState state = pSystem->State(0);
        EXPECT_EQ(!!pCamera, !c.sizes.empty());
        EXPECT_EQ(state.bStreaming, !c.sizes.empty());
        EXPECT_EQ(state.nWidth, c.nWidth);
        EXPECT_EQ(state.nHeight, c.nHeight);
        EXPECT_EQ(state.interval.numerator, c.nNumerator);
        EXPECT_EQ(state.interval.denominator, c.nDenominator);
        pCamera.reset();
        EXPECT_EQ(pSystem->Held(), 0);
    }
}

TEST(V4l2Camera, SendsEachControlAsFiveWritesToTheVendorUnit) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem);
    ASSERT_TRUE(pCamera);
    V4l2Camera& c = *pCamera;
    const std::vector<bool> results = {c.AutoFocus(), c.LightOn(),  c.LightOff(),   c.ZoomIn(),
                                       c.ZoomOut(),   c.Brighten(), c.Darken(),     c.FocusFar(),
                                       c.FocusNear(), c.Rotate(),   c.Mirror(),     c.Negative(),
                                       c.Negative(),  c.Negative(), c.BlackWhite(), c.AuxControl(),
                                       c.Freeze(),    c.Mosaic(),   c.StopControl()};
    EXPECT_EQ(results,
              (std::vector<bool>{true, true, true, true, true, true, true, true, true, false, false,
                                 true, true, true, true, true, false, false, true}));
    // Opening focuses first.
    EXPECT_EQ(pSystem->UnitWrites(), CommandWrites(0, {53, 54, 53, 54, 72, 73, 49, 50, 65, 64, 51,
                                                       52, 56, 55, 56, 80, 81, 48}));
}

TEST(V4l2Camera, AFailedWriteEndsOnlyItsOwnCommandAndOtherMakersGetNothing) {
    const auto guid = VendorUnitGuid();
    const struct {
        const char* szName;
        std::vector<uint8_t> descriptors;
        int nFailingWrite; // -1: none
        std::vector<std::string> writes;
    } cases[] = {
        {"second write of the first command fails", MakeUvcDescriptors(guid, 5), 1,
         [] {
             auto writes = CommandWrites(0, {53, 54});
             writes.erase(writes.begin() + 2, writes.begin() + 5);
             return writes;
         }()},
        {"first write of the second command fails", MakeUvcDescriptors(guid, 5), 5,
         [] {
             auto writes = CommandWrites(0, {53, 54});
             writes.resize(6);
             return writes;
         }()},
        {"only another maker's unit", MakeUvcDescriptors(guid, -1), -1, {}},
        {"the GUID in a streaming interface", MakeUvcDescriptors(guid, 5, 0x0E, 0x02), -1, {}},
        {"no USB descriptors", {}, -1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        auto pSystem = std::make_shared<FakeV4l2System>();
        FakeNodeSpec spec = Camera();
        spec.descriptors = c.descriptors;
        pSystem->Plug(0, spec);
        CameraPtr pCamera = OpenCamera(pSystem);
        ASSERT_TRUE(pCamera);
        const size_t nBefore = pSystem->UnitWrites().size();
        if (c.nFailingWrite >= 0) {
            pSystem->FailUnitWrite(c.nFailingWrite);
        }
        EXPECT_TRUE(pCamera->AutoFocus());
        const std::vector<std::string> writes = pSystem->UnitWrites();
        EXPECT_EQ(
            std::vector<std::string>(writes.begin() + static_cast<long>(nBefore), writes.end()),
            c.writes);
    }
}

TEST(V4l2Camera, ShowsOnlyTheNewestOfThreeSamplesAndPassesOverDamagedOnes) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem);
    ASSERT_TRUE(pCamera);
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "none");

    ASSERT_TRUE(pSystem->Deliver(0, Frame("red")));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    unsigned char* pData = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    ASSERT_TRUE(pCamera->LockFrame(pData, nSize, nWidth, nHeight));
    const std::vector<uint8_t> red(pData, pData + nWidth * nHeight * 4);
    for (const char* szColour : {"green", "blue", "yellow"}) {
        ASSERT_TRUE(pSystem->Deliver(0, Frame(szColour)));
    }
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_TRUE(std::vector<uint8_t>(pData, pData + red.size()) == red); // locked: untouched
    pCamera->UnlockFrame();
    unsigned char* pYellow = nullptr;
    unsigned char* pAgain = nullptr;
    EXPECT_EQ(Shown(*pCamera, &pYellow), "yellow");
    EXPECT_EQ(Shown(*pCamera, &pAgain), "yellow");
    EXPECT_EQ(pAgain, pYellow); // handed out again, not decoded again
    // Green and blue went back undecoded, red when yellow took over.
    EXPECT_EQ(pSystem->State(0).nQueued, pSystem->State(0).nBuffers - 1);

    // A frame the driver marks as damaged never reaches the slots. One the
    // decoder refuses makes way for the next without an unlock; this one
    // has no end and the driver claims more than its buffer: only the
    // buffer is read (past it the fake faults).
    const std::vector<uint8_t> green = Frame("green");
    ASSERT_TRUE(pSystem->Deliver(0, green, V4L2_BUF_FLAG_ERROR));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "yellow");
    ASSERT_TRUE(pSystem->Deliver(0, {green.begin(), green.end() - 2}, 0, 1u << 24));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "yellow"); // unlocking moves on to the broken frame
    EXPECT_EQ(Shown(*pCamera), "none");
    EXPECT_EQ(Shown(*pCamera), "none");
    ASSERT_TRUE(pSystem->Deliver(0, Frame("blue")));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "blue");
    EXPECT_EQ(pSystem->State(0).nQueued, pSystem->State(0).nBuffers - 1);
}

// Unplugged, the last picture stays. The camera comes back under another
// node number, beside another camera and its own metadata node, and
// streams again at the size it had.
TEST(V4l2Camera, StreamsAgainWhenUnpluggedAndPluggedBackIn) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    FakeNodeSpec spec = Camera();
    spec.mjpeg = {{1280, 720, {{1, 30}}}};
    pSystem->Plug(0, spec);
    CameraPtr pCamera = OpenCamera(pSystem);
    ASSERT_TRUE(pCamera);
    ASSERT_TRUE(pSystem->Deliver(0, Frame("red")));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "red");

    pSystem->Unplug(0);
    ASSERT_TRUE(pSystem->WaitListings(2)); // it has looked and waited at least once
    EXPECT_EQ(Shown(*pCamera), "red");
    FakeNodeSpec other = spec;
    other.strBusInfo = "usb-0000:00:14.0-2";
    pSystem->Plug(1, other);
    FakeNodeSpec metadata = spec;
    metadata.nCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    pSystem->Plug(2, metadata);
    FakeNodeSpec back = spec;
    back.mjpeg.insert(back.mjpeg.begin(), {1920, 1080, {{1, 30}}});
    pSystem->Plug(3, back);
    ASSERT_TRUE(pSystem->WaitIdle(3));
    EXPECT_FALSE(pSystem->State(1).bStreaming || pSystem->State(2).bStreaming);
    EXPECT_EQ(pSystem->State(3).nWidth * pSystem->State(3).nHeight, 1280u * 720u);
    ASSERT_TRUE(pSystem->Deliver(3, Frame("blue")));
    ASSERT_TRUE(pSystem->WaitIdle(3));
    EXPECT_EQ(Shown(*pCamera), "red");
    EXPECT_EQ(Shown(*pCamera), "blue");

    // Commands reach the camera where it is now, focused anew.
    pCamera->LightOn();
    const std::vector<std::string> writes = pSystem->UnitWrites();
    EXPECT_EQ(std::vector<std::string>(writes.end() - 15, writes.end()),
              CommandWrites(3, {53, 54, 72}));
    pCamera.reset();
    EXPECT_EQ(pSystem->Held(), 0);
}

// Were Release to wait out an hour's watch interval, the test would run
// into ctest's time limit.
TEST(V4l2Camera, ReleaseEndsTheWatchAtOnce) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem, 3600 * 1000);
    ASSERT_TRUE(pCamera);
    ASSERT_TRUE(pSystem->Deliver(0, Frame("red")));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    pSystem->Unplug(0);
    ASSERT_TRUE(pSystem->WaitListings(1));
    // Decoding the picture gives the watch the moment it needs to start
    // waiting; should it not have, the test passes without proving much.
    EXPECT_EQ(Shown(*pCamera), "red");
    pCamera.reset();
    EXPECT_EQ(pSystem->Held(), 0);
}

TEST(V4l2DeviceList, ListsCaptureNodesByCardNameInNumberOrder) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    const std::string strLong(32, 'L'); // fills the card field, no zero after it
    const uint32_t kCamera = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    const struct {
        int nNode;
        std::string strCard;
        uint32_t nCaps;
    } nodes[] = {{10, "Camera C", kCamera},
                 {0, "Camera A", kCamera},
                 {1, "Camera A", V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING},
                 {2, "Grabber", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE},
                 {3, strLong, kCamera},
                 {4, "Camera D", kCamera}};
    for (const auto& node : nodes) {
        FakeNodeSpec spec = Camera();
        spec.strCard = node.strCard;
        spec.nCaps = node.nCaps;
        if (node.nNode == 3) {
            spec.mjpeg.clear();
        }
        pSystem->Plug(node.nNode, spec);
    }
    V4l2DeviceList list(pSystem, kFastWatchMs);
    list.Enumerate();
    std::vector<std::string> names;
    for (int i = 0; i < list.GetCount(); ++i) {
        names.push_back(list.GetName(static_cast<unsigned int>(i)));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Camera A", strLong, "Camera D", "Camera C"}));
    EXPECT_EQ(list.GetName(4), nullptr);
    EXPECT_EQ(list.FindName("Camera C"), 3);
    EXPECT_EQ(list.FindName("Camera"), -1);
    EXPECT_EQ(list.CreateCamera(4, 0), nullptr);
    EXPECT_EQ(list.CreateCamera(1, 0), nullptr); // no MJPEG
    pSystem->Unplug(4);                          // gone since the listing
    EXPECT_EQ(list.CreateCamera(2, 0), nullptr);
    EXPECT_EQ(pSystem->Held(), 0);
    ICamera* pCamera = list.CreateCamera(3, 0);
    ASSERT_NE(pCamera, nullptr);
    EXPECT_TRUE(pCamera->IsRunning() && pSystem->State(10).bStreaming);
    pCamera->Release();
    list.Enumerate();
    EXPECT_EQ(list.GetCount(), 3);
}

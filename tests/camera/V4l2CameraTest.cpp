#include "camera/V4l2Camera.h"
#include "camera/V4l2DeviceList.h"
#include "tests/camera/FakeV4l2.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

const std::map<std::string, Bgr> kColours = {
    {"red", {30, 30, 220}}, {"green", {40, 200, 40}}, {"blue", {210, 40, 30}}};

std::vector<uint8_t> Frame(const std::string& strColour) {
    const Bgr& bgr = kColours.at(strColour);
    return Jpeg(48, 32, {bgr, bgr, bgr, bgr}, TJSAMP_422);
}

FakeNode Camera() {
    FakeNode node;
    node.descriptors = UvcDescriptorsWith(kVendorGuid, 5);
    return node;
}

// The colour LockFrame shows, or "none"; unlocks again.
std::string Shown(ICamera& camera, unsigned char** ppData = nullptr) {
    unsigned char* pData = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    if (!camera.LockFrame(pData, nSize, nWidth, nHeight)) {
        return "none";
    }
    std::string strShown = "other";
    for (const auto& colour : kColours) {
        if (std::abs(pData[0] - colour.second[0]) + std::abs(pData[1] - colour.second[1]) +
                std::abs(pData[2] - colour.second[2]) <
            30) {
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
    void operator()(ICamera* pCamera) const { pCamera->Release(); }
};
using CameraPtr = std::unique_ptr<ICamera, Released>;

CameraPtr OpenCamera(std::shared_ptr<FakeV4l2System> pSystem, int nWatchMs = 5) {
    auto* pCamera = new V4l2Camera(std::move(pSystem), nWatchMs);
    CameraPtr pOwned(pCamera);
    return pCamera->Open("/dev/video0", 0) ? std::move(pOwned) : nullptr;
}

// The five writes of each command to unit 5 of node nNode.
std::vector<std::string> CommandWrites(int nNode, std::initializer_list<int> codes) {
    const std::string strTo = "video" + std::to_string(nNode) + " unit 5 selector 4 query 1:";
    std::vector<std::string> writes;
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
    const struct {
        const char* szName;
        std::vector<std::array<uint32_t, 4>> sizes;
        uint32_t nWidth, nHeight, nDenominator; // 0: the driver's rate
    } cases[] = {
        {"exactly 15 a second wins, just below not",
         {{640, 480, 1, 30}, {1600, 1200, 1, 10}, {1600, 1200, 1, 15}, {2592, 1944, 2, 29}},
         1600,
         1200,
         15},
        {"taller at the same width", {{1280, 720, 1, 30}, {1280, 960, 1, 20}}, 1280, 960, 20},
        {"none fast enough: the current size", {{1920, 1080, 1, 5}}, 800, 600, 0},
        {"no MJPEG: not opened", {}, 800, 600, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        auto pSystem = std::make_shared<FakeV4l2System>();
        FakeNode node = Camera();
        node.mjpeg = c.sizes;
        pSystem->Plug(0, node);
        CameraPtr pCamera = OpenCamera(pSystem);
        const FakeNode state = pSystem->State(0);
        EXPECT_EQ(!!pCamera, !c.sizes.empty());
        EXPECT_EQ(state.bStreaming, !c.sizes.empty());
        EXPECT_EQ(state.nWidth * 10000 + state.nHeight, c.nWidth * 10000 + c.nHeight);
        EXPECT_EQ(state.interval.denominator, c.nDenominator);
        EXPECT_EQ(state.interval.numerator, c.nDenominator ? 1u : 0u);
        pCamera.reset();
        EXPECT_EQ(pSystem->Held(), 0);
    }
}

// Byte by byte; opening focuses first. A failed write ends its own command
// only, and a camera without the vendor's unit gets no writes at all.
TEST(V4l2Camera, SendsEachControlAsFiveWritesToTheVendorUnit) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem);
    ASSERT_TRUE(pCamera);
    ICamera& c = *pCamera;
    const std::vector<bool> results = {c.AutoFocus(), c.LightOn(),  c.LightOff(),   c.ZoomIn(),
                                       c.ZoomOut(),   c.Brighten(), c.Darken(),     c.FocusFar(),
                                       c.FocusNear(), c.Rotate(),   c.Mirror(),     c.Negative(),
                                       c.Negative(),  c.Negative(), c.BlackWhite(), c.AuxControl(),
                                       c.Freeze(),    c.Mosaic(),   c.StopControl()};
    EXPECT_EQ(results,
              (std::vector<bool>{1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 0, 0, 1}));
    EXPECT_EQ(pSystem->Writes(), CommandWrites(0, {53, 54, 53, 54, 72, 73, 49, 50, 65, 64, 51, 52,
                                                   56, 55, 56, 80, 81, 48}));

    std::vector<std::string> expected = pSystem->Writes();
    pSystem->FailWrite(1); // the second write of 53
    EXPECT_TRUE(c.AutoFocus());
    const auto focus = CommandWrites(0, {53, 54});
    expected.insert(expected.end(), {focus[0], focus[1]});
    expected.insert(expected.end(), focus.begin() + 5, focus.end());
    EXPECT_EQ(pSystem->Writes(), expected);

    pSystem->Plug(0, FakeNode{});
    pCamera.reset();
    pCamera = OpenCamera(pSystem);
    ASSERT_TRUE(pCamera);
    EXPECT_TRUE(pCamera->LightOn());
    EXPECT_EQ(pSystem->Writes(), expected);
}

TEST(V4l2Camera, ShowsOnlyTheNewestOfThreeSamplesPassesOverDamagedOnesAndReleasesAtOnce) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem, 3600 * 1000);
    ASSERT_TRUE(pCamera);
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "none");

    ASSERT_TRUE(pSystem->Deliver(0, Frame("red")));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    unsigned char* pData = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    ASSERT_TRUE(pCamera->LockFrame(pData, nSize, nWidth, nHeight));
    const std::vector<uint8_t> red(pData, pData + nWidth * nHeight * 4);
    for (const char* szColour : {"green", "red", "blue"}) {
        ASSERT_TRUE(pSystem->Deliver(0, Frame(szColour)));
    }
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_TRUE(std::vector<uint8_t>(pData, pData + red.size()) == red); // locked: untouched
    pCamera->UnlockFrame();
    unsigned char* pBlue = nullptr;
    unsigned char* pAgain = nullptr;
    EXPECT_EQ(Shown(*pCamera, &pBlue), "blue");
    EXPECT_EQ(Shown(*pCamera, &pAgain), "blue");
    EXPECT_EQ(pAgain, pBlue); // handed out again, not decoded again
    // Green and red went back undecoded, the first red when blue took over.
    EXPECT_EQ(pSystem->State(0).nQueued, 3);

    // A frame the driver marks as damaged never reaches the slots. One the
    // decoder refuses makes way for the next without an unlock; this one
    // has no end and the driver claims more than its buffer: only the
    // buffer is read (past it the fake faults).
    const std::vector<uint8_t> green = Frame("green");
    ASSERT_TRUE(pSystem->Deliver(0, green, V4L2_BUF_FLAG_ERROR));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "blue");
    ASSERT_TRUE(pSystem->Deliver(0, {green.begin(), green.end() - 2}, 0, 1u << 24));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "blue"); // unlocking moves on to the broken frame
    EXPECT_EQ(Shown(*pCamera), "none");
    EXPECT_EQ(Shown(*pCamera), "none");
    ASSERT_TRUE(pSystem->Deliver(0, Frame("red")));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "red");
    EXPECT_EQ(pSystem->State(0).nQueued, 3);

    // Unplugged, it waits an hour before it looks again; were Release to
    // wait that out, the test would run into ctest's time limit. Decoding
    // the picture gives the watch the moment it needs to start waiting.
    pSystem->Unplug(0);
    ASSERT_TRUE(pSystem->WaitListings(1));
    EXPECT_EQ(Shown(*pCamera), "red");
    pCamera.reset();
    EXPECT_EQ(pSystem->Held(), 0);
}

// Listed by its card name, beside its own metadata node, another camera, a
// grabber that cannot stream and a camera without MJPEG. Unplugged, the last
// picture stays. It comes back under another node number and streams again
// at the size it had; commands reach it there.
TEST(V4l2Camera, IsListedAndStreamsAgainWhenUnpluggedAndPluggedBackIn) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    FakeNode node = Camera(), metadata = Camera(), other = Camera(), grabber = Camera();
    node.strCard = std::string(32, 'L'); // fills the field, no zero after it
    node.mjpeg = {{1280, 720, 1, 30}};
    metadata.nCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    other.strCard = "Webcam";
    other.strBusInfo = "usb-0000:00:14.0-2";
    grabber.nCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
    FakeNode old = other;
    old.strCard = "Old";
    old.mjpeg.clear();
    int nNumber = 0;
    for (const FakeNode& plugged : {node, metadata, other, grabber, old}) {
        pSystem->Plug(nNumber == 4 ? 5 : nNumber, plugged); // 4 is where it comes back
        ++nNumber;
    }
    V4l2DeviceList list(pSystem, 5);
    list.Enumerate();
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(std::string(list.GetName(0)) + "|" + list.GetName(1) + "|" + list.GetName(2),
              node.strCard + "|Webcam|Old");
    EXPECT_EQ(list.GetName(3), nullptr);
    EXPECT_EQ(list.FindName("Old"), 2);
    EXPECT_EQ(list.FindName("Web"), -1);
    EXPECT_EQ(list.CreateCamera(3, 0), nullptr);
    EXPECT_EQ(list.CreateCamera(2, 0), nullptr); // no MJPEG
    CameraPtr pCamera(list.CreateCamera(0, 0));
    ASSERT_TRUE(pCamera && pCamera->IsRunning());
    ASSERT_TRUE(pSystem->Deliver(0, Frame("red")));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "red");

    pSystem->Unplug(0);
    EXPECT_EQ(list.CreateCamera(0, 0), nullptr); // gone since the listing
    ASSERT_TRUE(pSystem->WaitListings(3));       // it has looked and waited at least once
    EXPECT_EQ(Shown(*pCamera), "red");
    node.mjpeg.insert(node.mjpeg.begin(), {1920, 1080, 1, 30});
    pSystem->Plug(4, node);
    ASSERT_TRUE(pSystem->WaitIdle(4));
    EXPECT_FALSE(pSystem->State(1).bStreaming || pSystem->State(2).bStreaming);
    EXPECT_EQ(pSystem->State(4).nWidth * pSystem->State(4).nHeight, 1280u * 720u);
    ASSERT_TRUE(pSystem->Deliver(4, Frame("blue")));
    ASSERT_TRUE(pSystem->WaitIdle(4));
    EXPECT_EQ(Shown(*pCamera), "red");
    EXPECT_EQ(Shown(*pCamera), "blue");

    pCamera->LightOn();
    const std::vector<std::string> writes = pSystem->Writes();
    EXPECT_EQ(std::vector<std::string>(writes.end() - 15, writes.end()),
              CommandWrites(4, {53, 54, 72}));
    pCamera.reset();
    EXPECT_EQ(pSystem->Held(), 0);
}

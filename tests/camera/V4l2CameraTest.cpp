#include "camera/V4l2Camera.h"
#include "camera/V4l2DeviceList.h"
#include "tests/camera/FakeV4l2.h"
#include "tests/camera/MjpegTestFrames.h"

#include <gtest/gtest.h>

#include <linux/usb/video.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

static bool operator==(const FakeUnitWrite& a, const FakeUnitWrite& b) {
    return a.nNode == b.nNode && a.nUnit == b.nUnit && a.nSelector == b.nSelector &&
           a.nQuery == b.nQuery && a.nSize == b.nSize && a.data == b.data;
}

static std::ostream& operator<<(std::ostream& out, const FakeUnitWrite& write) {
    out << "node " << write.nNode << " unit " << write.nUnit << " selector " << write.nSelector
        << " query " << write.nQuery << " size " << write.nSize << " bytes";
    for (int nByte : write.data) {
        out << ' ' << nByte;
    }
    return out;
}

namespace {

constexpr int kFastWatchMs = 5;

struct Colour {
    uint8_t nBlue, nGreen, nRed;
};
constexpr Colour kRed{30, 30, 220};
constexpr Colour kGreen{40, 200, 40};
constexpr Colour kBlue{210, 40, 30};
constexpr Colour kYellow{30, 210, 220};

std::vector<uint8_t> Frame(Colour colour) {
    return EncodeMjpeg(MakeSolid(48, 32, colour.nBlue, colour.nGreen, colour.nRed),
                       AV_PIX_FMT_YUVJ422P);
}

FakeNodeSpec Camera(int nUnit = 5) {
    FakeNodeSpec spec;
    spec.descriptors = MakeUvcDescriptors(VendorUnitGuid(), nUnit);
    return spec;
}

// What LockFrame shows: "none", or the colour of the middle pixel, matched
// against the test colours; it unlocks again.
std::string Shown(ICamera& camera, unsigned char** ppData = nullptr) {
    unsigned char* pData = nullptr;
    int nSize = 0;
    int nWidth = 0;
    int nHeight = 0;
    if (!camera.LockFrame(pData, nSize, nWidth, nHeight)) {
        return "none";
    }
    const unsigned char* pPixel = pData + ((nHeight / 2) * nWidth + nWidth / 2) * 4;
    std::string strName = "other";
    for (const auto& named : {std::make_pair("red", kRed), std::make_pair("green", kGreen),
                              std::make_pair("blue", kBlue), std::make_pair("yellow", kYellow)}) {
        const Colour& c = named.second;
        if (std::abs(pPixel[0] - c.nBlue) < 12 && std::abs(pPixel[1] - c.nGreen) < 12 &&
            std::abs(pPixel[2] - c.nRed) < 12) {
            strName = named.first;
        }
    }
    if (ppData) {
        *ppData = pData;
    }
    camera.UnlockFrame();
    return strName;
}

// Releases the camera at the end of a test, also a failing one.
struct Released {
    void operator()(V4l2Camera* pCamera) const { pCamera->Release(); }
};
using CameraPtr = std::unique_ptr<V4l2Camera, Released>;

CameraPtr OpenCamera(const std::shared_ptr<FakeV4l2System>& pSystem, int nNode,
                     int nWatchMs = kFastWatchMs) {
    CameraPtr pCamera(new V4l2Camera(pSystem, nWatchMs));
    if (!pCamera->Open("/dev/video" + std::to_string(nNode), 0)) {
        return nullptr;
    }
    return pCamera;
}

std::vector<FakeUnitWrite> CommandWrites(int nNode, std::initializer_list<int> codes) {
    std::vector<FakeUnitWrite> writes;
    for (int nCode : codes) {
        const std::array<std::array<uint8_t, 4>, 5> data = {{{0x20, 0x46, 0xB4, uint8_t(nCode)},
                                                             {0x20, 0x38, 0xB4, 0x02},
                                                             {0x20, 0x40, 0xB4, 0x00},
                                                             {0x20, 0x41, 0xB4, 0x00},
                                                             {0x20, 0x44, 0xB4, 0x01}}};
        for (const auto& bytes : data) {
            writes.push_back({nNode, 5, 4, UVC_SET_CUR, 4, bytes});
        }
    }
    return writes;
}

} // namespace

TEST(V4l2Camera, StreamsTheLargestMjpegSizeThatGivesFifteenPicturesASecond) {
    using Size = FakeNodeSpec::Size;
    struct Case {
        const char* szName;
        std::vector<Size> sizes;
        uint32_t nWidth, nHeight;
        v4l2_fract interval;
    };
    const Case cases[] = {
        {"exactly 15 a second wins, just below does not",
         {{640, 480, {{1, 30}}},
          {1600, 1200, {{1, 10}, {1, 15}}},
          {1280, 720, {{1, 30}}},
          {2592, 1944, {{2, 29}}}},
         1600,
         1200,
         {1, 15}},
        {"taller at the same width, listed first",
         {{1280, 960, {{1, 20}}}, {1280, 720, {{1, 30}}}},
         1280,
         960,
         {1, 20}},
        {"none fast enough: the current size",
         {{1920, 1080, {{1, 5}}}, {800, 600, {{1, 10}}}},
         800,
         600,
         {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        auto pSystem = std::make_shared<FakeV4l2System>();
        FakeNodeSpec spec = Camera();
        spec.mjpeg = c.sizes;
        spec.nWidth = 800;
        spec.nHeight = 600;
        pSystem->Plug(0, spec);
        CameraPtr pCamera = OpenCamera(pSystem, 0);
        ASSERT_TRUE(pCamera);
        const FakeNodeState state = pSystem->State(0);
        EXPECT_TRUE(state.bStreaming);
        EXPECT_EQ(state.nWidth, c.nWidth);
        EXPECT_EQ(state.nHeight, c.nHeight);
        EXPECT_EQ(state.interval.numerator, c.interval.numerator);
        EXPECT_EQ(state.interval.denominator, c.interval.denominator);
        pCamera.reset();
        EXPECT_EQ(pSystem->OpenDevices(), 0);
        EXPECT_EQ(pSystem->Mappings(), 0);
    }
    // A camera without MJPEG is no camera here, and is left closed.
    auto pSystem = std::make_shared<FakeV4l2System>();
    FakeNodeSpec spec = Camera();
    spec.mjpeg.clear();
    pSystem->Plug(0, spec);
    EXPECT_FALSE(OpenCamera(pSystem, 0));
    EXPECT_EQ(pSystem->OpenDevices(), 0);
}

TEST(V4l2Camera, SendsEachControlAsFiveWritesToTheVendorUnit) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem, 0);
    ASSERT_TRUE(pCamera);
    V4l2Camera& camera = *pCamera;
    const std::vector<bool> results = {
        camera.AutoFocus(), camera.LightOn(),  camera.LightOff(),   camera.ZoomIn(),
        camera.ZoomOut(),   camera.Brighten(), camera.Darken(),     camera.FocusFar(),
        camera.FocusNear(), camera.Rotate(),   camera.Mirror(),     camera.Negative(),
        camera.Negative(),  camera.Negative(), camera.BlackWhite(), camera.AuxControl(),
        camera.Freeze(),    camera.Mosaic(),   camera.StopControl()};
    EXPECT_EQ(results,
              (std::vector<bool>{true, true, true, true, true, true, true, true, true, false, false,
                                 true, true, true, true, true, false, false, true}));
    // Opening focuses first.
    EXPECT_EQ(pSystem->UnitWrites(), CommandWrites(0, {53, 54, 53, 54, 72, 73, 49, 50, 65, 64, 51,
                                                       52, 56, 55, 56, 80, 81, 48}));
}

TEST(V4l2Camera, AFailedWriteEndsOnlyItsOwnCommandAndOtherMakersGetNothing) {
    struct Case {
        const char* szName;
        std::vector<uint8_t> descriptors;
        int nFailingWrite; // -1: none
        size_t nWrites;    // of AutoFocus
    };
    const auto guid = VendorUnitGuid();
    const Case cases[] = {
        {"second write of the first command fails", MakeUvcDescriptors(guid, 5), 1, 2 + 5},
        {"first write of the second command fails", MakeUvcDescriptors(guid, 5), 5, 5 + 1},
        {"only another maker's unit", MakeUvcDescriptors(guid, -1), -1, 0},
        {"the GUID in a streaming interface", MakeUvcDescriptors(guid, 5, 0x0E, 0x02), -1, 0},
        {"no USB descriptors", {}, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        auto pSystem = std::make_shared<FakeV4l2System>();
        FakeNodeSpec spec = Camera();
        spec.descriptors = c.descriptors;
        pSystem->Plug(0, spec);
        CameraPtr pCamera = OpenCamera(pSystem, 0);
        ASSERT_TRUE(pCamera);
        const size_t nBefore = pSystem->UnitWrites().size();
        if (c.nFailingWrite >= 0) {
            pSystem->FailUnitWrite(c.nFailingWrite);
        }
        EXPECT_TRUE(pCamera->AutoFocus());
        const std::vector<FakeUnitWrite> writes = pSystem->UnitWrites();
        ASSERT_EQ(writes.size() - nBefore, c.nWrites);
        if (c.nWrites > 0) {
            // The second command starts after the failed write of the first
            // or after all five.
            EXPECT_EQ(writes[nBefore + (c.nFailingWrite == 1 ? 2 : 5)].data[3], 54);
        }
    }
}

TEST(V4l2Camera, ShowsOnlyTheNewestOfThreeSamplesAndPassesOverDamagedOnes) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem, 0);
    ASSERT_TRUE(pCamera);
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "none");

    ASSERT_TRUE(pSystem->Deliver(0, Frame(kRed)));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    unsigned char* pData = nullptr;
    int nSize = 0;
    int nWidth = 0;
    int nHeight = 0;
    ASSERT_TRUE(pCamera->LockFrame(pData, nSize, nWidth, nHeight));
    const std::vector<uint8_t> red(pData, pData + nWidth * nHeight * 4);
    for (Colour colour : {kGreen, kBlue, kYellow}) {
        ASSERT_TRUE(pSystem->Deliver(0, Frame(colour)));
    }
    ASSERT_TRUE(pSystem->WaitIdle(0));
    // Nothing arriving touches a picture that is locked.
    EXPECT_TRUE(std::vector<uint8_t>(pData, pData + red.size()) == red);
    pCamera->UnlockFrame();
    unsigned char* pYellow = nullptr;
    EXPECT_EQ(Shown(*pCamera, &pYellow), "yellow");
    unsigned char* pAgain = nullptr;
    EXPECT_EQ(Shown(*pCamera, &pAgain), "yellow");
    EXPECT_EQ(pAgain, pYellow); // handed out again, not decoded again
    // Green and blue went back undecoded, red once yellow took over.
    EXPECT_EQ(pSystem->State(0).nQueued, pSystem->State(0).nBuffers - 1);

    // A frame the driver marks as damaged never reaches the slots; one that
    // cannot be decoded is passed over as soon as a newer one arrives.
    const std::vector<uint8_t> green = Frame(kGreen);
    const std::vector<uint8_t> endless(green.begin(), green.end() - 2);
    ASSERT_TRUE(pSystem->Deliver(0, green, V4L2_BUF_FLAG_ERROR));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "yellow");
    // A frame without its end, which the decoder reads up to the end of its
    // length; the driver claims more than its buffer holds.
    ASSERT_TRUE(pSystem->Deliver(0, endless, 0, 1u << 24));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "yellow"); // unlocking moves on to the broken frame
    EXPECT_EQ(Shown(*pCamera), "none");
    EXPECT_EQ(Shown(*pCamera), "none");
    ASSERT_TRUE(pSystem->Deliver(0, Frame(kBlue)));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "blue");
    EXPECT_EQ(pSystem->State(0).nQueued, pSystem->State(0).nBuffers - 1);
}

// Unplugged: the last picture stays. The camera comes back under another
// node number, beside another camera and its own metadata node, and
// streams again at the size it had.
TEST(V4l2Camera, StreamsAgainWhenUnpluggedAndPluggedBackIn) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    FakeNodeSpec spec = Camera();
    spec.mjpeg = {{1280, 720, {{1, 30}}}};
    pSystem->Plug(0, spec);
    CameraPtr pCamera = OpenCamera(pSystem, 0);
    ASSERT_TRUE(pCamera);
    ASSERT_TRUE(pSystem->Deliver(0, Frame(kRed)));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "red");

    pSystem->Unplug(0);
    ASSERT_TRUE(pSystem->WaitListings(2)); // it has looked and waited at least once
    EXPECT_EQ(Shown(*pCamera), "red");
    EXPECT_TRUE(pCamera->IsRunning());

    FakeNodeSpec other = Camera();
    other.strBusInfo = "usb-0000:00:14.0-2";
    pSystem->Plug(1, other);
    FakeNodeSpec metadata = spec;
    metadata.nCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    pSystem->Plug(2, metadata);
    FakeNodeSpec back = spec;
    back.mjpeg = {{1920, 1080, {{1, 30}}}, {1280, 720, {{1, 30}}}};
    pSystem->Plug(3, back);
    ASSERT_TRUE(pSystem->WaitIdle(3));
    EXPECT_FALSE(pSystem->State(1).bStreaming);
    EXPECT_EQ(pSystem->State(3).nWidth, 1280u);
    EXPECT_EQ(pSystem->State(3).nHeight, 720u);
    EXPECT_EQ(Shown(*pCamera), "red");
    ASSERT_TRUE(pSystem->Deliver(3, Frame(kBlue)));
    ASSERT_TRUE(pSystem->WaitIdle(3));
    EXPECT_EQ(Shown(*pCamera), "red");
    EXPECT_EQ(Shown(*pCamera), "blue");

    // Commands reach the camera where it is now, focused anew.
    pCamera->LightOn();
    std::vector<FakeUnitWrite> writes = pSystem->UnitWrites();
    writes.erase(writes.begin(), writes.end() - 15);
    EXPECT_EQ(writes, CommandWrites(3, {53, 54, 72}));
    pCamera.reset();
    EXPECT_EQ(pSystem->OpenDevices(), 0);
    EXPECT_EQ(pSystem->Mappings(), 0);
}

// A stream that fails while its device stays: the held picture lets go of
// the old stream, so that the same node can be opened again.
TEST(V4l2Camera, StreamsAgainFromTheSameNodeAfterAStreamError) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem, 0);
    ASSERT_TRUE(pCamera);
    ASSERT_TRUE(pSystem->Deliver(0, Frame(kRed)));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "red");
    pSystem->BreakStream(0);
    ASSERT_TRUE(pSystem->WaitListings(1));
    EXPECT_EQ(Shown(*pCamera), "red");
    ASSERT_TRUE(pSystem->WaitIdle(0));
    ASSERT_TRUE(pSystem->Deliver(0, Frame(kGreen)));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), "red");
    EXPECT_EQ(Shown(*pCamera), "green");
}

// With a watch interval of an hour, Release must not wait it out: were it
// to, the test would run into ctest's time limit.
TEST(V4l2Camera, ReleaseEndsTheWatchAtOnce) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    pSystem->Plug(0, Camera());
    CameraPtr pCamera = OpenCamera(pSystem, 0, 3600 * 1000);
    ASSERT_TRUE(pCamera);
    ASSERT_TRUE(pSystem->Deliver(0, Frame(kRed)));
    ASSERT_TRUE(pSystem->WaitIdle(0));
    pSystem->Unplug(0);
    ASSERT_TRUE(pSystem->WaitListings(1));
    // Showing the picture (a decode) gives the watch the moment it needs to
    // start waiting; if it has not, the test passes without proving much.
    EXPECT_EQ(Shown(*pCamera), "red");
    pCamera.reset();
    EXPECT_EQ(pSystem->OpenDevices(), 0);
}

TEST(V4l2DeviceList, ListsCaptureNodesByCardNameInNumberOrder) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    const std::string strLong(32, 'L'); // fills the card field without a terminating zero
    const struct {
        int nNode;
        const char* szCard;
        uint32_t nCaps;
        bool bMjpeg;
    } nodes[] = {
        {10, "Camera C", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING, true},
        {0, "Camera A", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING, true},
        {1, "Camera A", V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING, true},
        {2, "Grabber", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE, true},
        {3, strLong.c_str(), V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING, false},
        {4, "Camera D", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING, true},
    };
    for (const auto& node : nodes) {
        FakeNodeSpec spec = Camera();
        spec.strCard = node.szCard;
        spec.nCaps = node.nCaps;
        if (!node.bMjpeg) {
            spec.mjpeg.clear();
        }
        pSystem->Plug(node.nNode, spec);
    }
    V4l2DeviceList list(pSystem, kFastWatchMs);
    EXPECT_EQ(list.GetCount(), 0);
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

    pSystem->Unplug(4); // gone since the listing
    EXPECT_EQ(list.CreateCamera(2, 0), nullptr);
    EXPECT_EQ(pSystem->OpenDevices(), 0);
    ICamera* pCamera = list.CreateCamera(3, 0);
    ASSERT_NE(pCamera, nullptr);
    EXPECT_TRUE(pCamera->IsRunning());
    EXPECT_TRUE(pSystem->State(10).bStreaming);
    pCamera->Release();
    list.Enumerate();
    EXPECT_EQ(list.GetCount(), 3);
}

// The video view's frame loop, controls, photos and camera switch, driven
// tick by tick with fake cameras.

#include "app/SharedState.h"
#include "panels/ControlType.h"
#include "tests/support/TestEnvironment.h"
#include "tests/view/ViewTestHost.h"
#include "view/ShutterSound.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QImageReader>
#include <QPushButton>
#include <QTimer>

namespace {

using VideoViewTest = ViewTestHost;

const QRgb Opaque = 0xFF000000u;

TEST_F(VideoViewTest, OpensTheStoredCameraOrTheFirstOrRunsWithoutOne) {
    const struct {
        std::vector<std::string> names;
        const char* szStored;
        int nOpened; // index of the camera opened, -1 for none
    } rows[] = {
        {{}, "0", -1}, {{"A", "B"}, "B", 1}, {{"A", "B"}, "gone", 0}, {{"A", "B"}, nullptr, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.szStored ? row.szStored : "none stored");
        if (row.szStored) {
            WriteConfigValue("Setting/Device", row.szStored);
        }
        std::vector<int> opened;
        MakeView(row.names, [&opened](unsigned int nIndex) {
            opened.push_back(int(nIndex));
            return new FakeCamera(64, 48);
        });
        EXPECT_EQ(opened, row.nOpened < 0 ? std::vector<int>{} : std::vector<int>{row.nOpened});
        auto* pNoPicture = m_pView->findChild<QWidget*>("noPictureLabel");
        EXPECT_TRUE(pNoPicture->isVisible());
        m_pView->OnOneControlHappend(CONTROL_ROTATE);
        const QImage picture = Tick();
        // The text goes with the first picture.
        EXPECT_EQ(pNoPicture->isVisible(), row.nOpened < 0);
        EXPECT_EQ(picture.isNull() ? QSize() : picture.size(),
                  row.nOpened < 0 ? QSize() : QSize(48, 64));
        TearDown();
        SetUp();
    }
}

TEST_F(VideoViewTest, ControlsReachTheCameraOrItsSoftwareStandIn) {
    MakeView({"A"}, Cameras(64, 48));
    const char* names[] = {nullptr,   "AutoFocus", "LightOn", "LightOff", "ZoomIn",
                           "ZoomOut", "Brighten",  "Darken",  "FocusFar", "FocusNear",
                           "Rotate",  "Mirror",    nullptr,   nullptr,    "AuxControl",
                           nullptr,   nullptr,     "Freeze",  "Mosaic",   "StopControl"};
    std::vector<std::string> expected;
    for (int nCode = -1; nCode < 21; ++nCode) {
        m_pView->OnOneControlHappend(nCode);
        if (nCode >= 0 && nCode < 20 && names[nCode]) {
            expected.push_back(names[nCode]);
        }
    }
    EXPECT_EQ(m_devices->cameras.at(0)->controls, expected);
}

TEST_F(VideoViewTest, RotatesInSoftwareOnlyWhenTheCameraCannot) {
    FakeCamera* pCamera = nullptr;
    MakeView({"A"}, [&pCamera](unsigned int) { return pCamera = new FakeCamera(64, 48); });
    for (int nAngle : {90, 180, 270, 0}) {
        m_pView->OnOneControlHappend(CONTROL_ROTATE);
        EXPECT_EQ(CurrentRotateAngle, nAngle);
        EXPECT_EQ(Tick().size(), nAngle % 180 ? QSize(48, 64) : QSize(64, 48)) << nAngle;
    }
    pCamera->SetHardware("Rotate");
    m_pView->OnOneControlHappend(CONTROL_ROTATE);
    EXPECT_EQ(CurrentRotateAngle, 0);
    EXPECT_EQ(Tick().size(), QSize(64, 48));
}

// Held for 10 ticks on 1920 x 1080: the cut-out (160, 90, 1600, 900) fills
// the picture. Held on, it stops at its smallest inside the picture.
TEST_F(VideoViewTest, DigitalZoomCutsOutStepByStepAndStopsAtItsSmallest) {
    FakeCamera* pCamera = nullptr;
    MakeView({"A"}, [&pCamera](unsigned int) {
        pCamera = new FakeCamera(1920, 1080);
        pCamera->SetPattern(Where);
        return pCamera;
    });
    m_pView->OnOneControlHappend(CONTROL_ZOOM_IN);
    QImage picture = Tick(10);
    EXPECT_EQ(picture.pixel(0, 0), Where(160, 90) | Opaque);
    EXPECT_EQ(picture.pixel(1919, 1079), Where(1759, 989) | Opaque);

    // 640 x 360 allows 19 steps: the cut-out (304, 171, 32, 18).
    pCamera->SetSize(640, 360);
    picture = Tick(30);
    EXPECT_EQ(picture.pixel(0, 0), Where(304, 171) | Opaque);
    EXPECT_EQ(picture.pixel(639, 359), Where(335, 188) | Opaque);

    m_pView->OnOneControlHappend(CONTROL_STOP);
    m_pView->OnOneControlHappend(CONTROL_ZOOM_OUT);
    EXPECT_EQ(Tick(18).pixel(0, 0), Where(16, 9) | Opaque);
    EXPECT_EQ(Tick(5).pixel(639, 359), Where(639, 359) | Opaque);
}

// The default pattern moves by one step of red per picture. Compare keeps
// the left half still, title the top strip; each switches the other off.
TEST_F(VideoViewTest, CompareAndTitleSwitchEachOtherOff) {
    MakeView({"A"}); // 640 x 480
    const struct {
        int nCode;
        bool bLeftStill;
        bool bTopStill;
    } rows[] = {{CONTROL_COMPARE, true, false}, {CONTROL_TITLE, false, true},
                {CONTROL_COMPARE, true, false}, {CONTROL_COMPARE, false, false},
                {CONTROL_TITLE, false, true},   {CONTROL_TITLE, false, false}};
    for (const auto& row : rows) {
        m_pView->OnOneControlHappend(row.nCode);
        const QImage before = Tick();
        const QImage after = Tick();
        SCOPED_TRACE(row.nCode);
        EXPECT_EQ(before.pixel(5, 470) == after.pixel(5, 470), row.bLeftStill);
        EXPECT_EQ(before.pixel(635, 5) == after.pixel(635, 5), row.bTopStill);
    }
}

TEST_F(VideoViewTest, FreezeStopsReadingTheCameraUntilPressedAgain) {
    MakeView({"A"}, Cameras(64, 48));
    const auto& log = *m_devices->cameras.at(0);
    Tick(2);
    m_pView->OnOneControlHappend(CONTROL_FROZEN);
    Tick(3);
    EXPECT_EQ(log.nLocks, 2);
    m_pView->OnOneControlHappend(CONTROL_FROZEN);
    Tick(3);
    EXPECT_EQ(log.nLocks, 5);
    EXPECT_EQ(log.nPairingErrors, 0);
}

// A camera whose word on its size does not fit its buffer is not read.
TEST_F(VideoViewTest, AFrameLargerThanItsBufferIsSkipped) {
    MakeView({"A"}, [](unsigned int) {
        auto* pCamera = new FakeCamera(64, 48);
        pCamera->SetReportsTooLarge(true);
        return pCamera;
    });
    EXPECT_TRUE(Tick(2).isNull());
    EXPECT_EQ(m_devices->cameras.at(0)->nUnlocks, 2);
}

QStringList Photos() {
    return QDir(TestDocumentsFolder() + "/Orvane/Screenshot").entryList({"*.jpg"}, QDir::Files);
}

// Every index reads its size; one outside the table is the default 1.
// Photos within one second keep distinct names.
TEST_F(VideoViewTest, PhotosTakeTheChosenSizeAndNeverReplaceOneAnother) {
    MakeView({"A"}, Cameras(640, 360));
    Tick();
    const auto* pShutter = m_pView->findChild<ShutterSound*>();
    const struct {
        int nIndex;
        QSize size;
    } rows[] = {{0, {1920, 1080}}, {1, {1600, 1200}}, {2, {2592, 1544}},
                {3, {3264, 2440}}, {4, {1600, 1200}}, {-1, {1600, 1200}}};
    QStringList taken;
    for (const auto& row : rows) {
        WriteConfigValue("Setting/SaveResolution", row.nIndex);
        m_pView->OnSetControlHappend(0);
        EXPECT_EQ(TakeWarning(), QString());
        QStringList added = Photos();
        for (const QString& strOld : taken) {
            added.removeOne(strOld);
        }
        ASSERT_EQ(added.size(), 1) << row.nIndex;
        taken << added;
        const QString strPath = TestDocumentsFolder() + "/Orvane/Screenshot/" + added[0];
        EXPECT_EQ(QImageReader(strPath).size(), row.size) << row.nIndex;
        EXPECT_EQ(pShutter->PlayCount(), taken.size());
    }
    EXPECT_TRUE(taken.filter("-1.jpg").size() >= 1) << taken.join(' ').toStdString();
}

TEST_F(VideoViewTest, APhotoThatIsNotWrittenIsToldAndMakesNoSound) {
    MakeView({"A"}, Cameras(64, 48));
    const auto* pShutter = m_pView->findChild<ShutterSound*>();
    m_pView->OnSetControlHappend(0); // before the first picture
    EXPECT_TRUE(TakeWarning().contains("还没有摄像头画面"));
    Tick();
    const QString strMissing = TestHomeFolder() + "/gone/deeper";
    WriteConfigValue("Setting/SavePath", strMissing);
    m_pView->OnSetControlHappend(0);
    EXPECT_TRUE(TakeWarning().contains(strMissing + "/Screenshot/"));
    EXPECT_FALSE(QDir(strMissing).exists());
    EXPECT_EQ(pShutter->PlayCount(), 0);
}

// The dialog picks the second camera: the first is released before the
// second is made, and the frame timer runs at its start-up interval.
TEST_F(VideoViewTest, ASettingsChangeOfCameraReleasesTheOldOneFirst) {
    std::vector<bool> releasedBefore;
    MakeView({"A", "B"}, [this, &releasedBefore](unsigned int nIndex) {
        releasedBefore.push_back(!m_devices->cameras.empty() && m_devices->cameras[0]->bReleased);
        return new FakeCamera(nIndex ? 32 : 64, 24);
    });
    QTimer::singleShot(0, [] {
        auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(pDialog, nullptr);
        pDialog->findChild<QComboBox*>("deviceCB")->setCurrentIndex(1);
        pDialog->findChild<QPushButton*>("okButton")->click();
    });
    m_pView->OnSetControlHappend(2);
    EXPECT_EQ(releasedBefore, (std::vector<bool>{false, true}));
    EXPECT_EQ(ReadConfigString("Setting/Device", ""), "B");
    const auto timers = m_pView->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(timers.size(), 1);
    EXPECT_TRUE(timers[0]->isActive());
    EXPECT_EQ(timers[0]->interval(), 50);
    EXPECT_EQ(Tick().size(), QSize(32, 24));
}

} // namespace

// The video view's frame loop, controls, photos and camera switch, and its
// widgets as the user meets them: where the picture is placed, where the
// mouse lands in the picture, and the text remark box; driven tick by tick
// with fake cameras.

#include "app/SharedState.h"
#include "panels/ControlType.h"
#include "render/RemarkType.h"
#include "tests/support/TestEnvironment.h"
#include "tests/view/ViewTestHost.h"
#include "view/ShutterSound.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

namespace {

using VideoViewTest = ViewTestHost;
using VideoWidgetsTest = ViewTestHost;

// A stored name that is not found (nothing stored reads as "0") opens the
// first camera.
TEST_F(VideoViewTest, OpensTheStoredCameraOrTheFirstOrRunsWithoutOne) {
    const struct {
        std::vector<std::string> names;
        const char* szStored;
        std::string strOpened; // the camera asked for, empty for none
    } rows[] = {{{}, "0", ""},
                {{"A", "B"}, "B", "local camera 1 0; "},
                {{"A", "B"}, "gone", "local camera 0 0; "}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.szStored);
        WriteConfigValue("Setting/Device", row.szStored);
        MakeView(row.names, Cameras(64, 48));
        EXPECT_EQ(m_devices->strCalls, "local enumerate; " + row.strOpened);
        auto* pNoPicture = m_pView->findChild<QWidget*>("noPictureLabel");
        EXPECT_TRUE(pNoPicture->isVisible());
        m_pView->OnOneControlHappend(CONTROL_ROTATE);
        const QImage picture = Tick();
        // The text goes with the first picture.
        EXPECT_EQ(pNoPicture->isVisible(), row.strOpened.empty());
        EXPECT_EQ(picture.size(), row.strOpened.empty() ? QSize(0, 0) : QSize(48, 64));
        TearDown();
        SetUp();
    }
}

TEST_F(VideoViewTest, ControlsReachTheCameraOrItsSoftwareStandIn) {
    MakeView({"A"}, Cameras(64, 48));
    for (int nCode = -1; nCode < 21; ++nCode) {
        m_pView->OnOneControlHappend(nCode);
    }
    // In the order of the codes; 0, 12, 13, 15 and 16 are the view's own,
    // -1 and 20 no codes at all.
    EXPECT_EQ(
        m_devices->cameras.at(0)->controls,
        (std::vector<std::string>{"AutoFocus", "LightOn", "LightOff", "ZoomIn", "ZoomOut",
                                  "Brighten", "Darken", "FocusFar", "FocusNear", "Rotate", "Mirror",
                                  "AuxControl", "Freeze", "Mosaic", "StopControl"}));
}

// Held for 10 ticks on 1920 x 1080: the cut-out (160, 90, 1600, 900) fills
// the picture. Held on, it stops at its smallest inside the picture.
TEST_F(VideoViewTest, DigitalZoomCutsOutStepByStepAndStopsAtItsSmallest) {
    MakeView({"A"}, Cameras(1920, 1080, Where));
    m_pView->OnOneControlHappend(CONTROL_ZOOM_IN);
    QImage picture = Tick(10);
    EXPECT_EQ(picture.pixel(0, 0), Where(160, 90));
    EXPECT_EQ(picture.pixel(1919, 1079), Where(1759, 989));

    // 640 x 360 allows 19 steps: the cut-out (304, 171, 32, 18).
    m_pCamera->SetSize(640, 360);
    picture = Tick(30);
    EXPECT_EQ(picture.pixel(0, 0), Where(304, 171));
    EXPECT_EQ(picture.pixel(639, 359), Where(335, 188));

    m_pView->OnOneControlHappend(CONTROL_STOP);
    m_pView->OnOneControlHappend(CONTROL_ZOOM_OUT);
    EXPECT_EQ(Tick(18).pixel(0, 0), Where(16, 9));
    EXPECT_EQ(Tick(5).pixel(639, 359), Where(639, 359));
}

// FakeCamera's own pattern moves by one step of red per picture. Compare
// keeps the left half still, title the top strip; each switches the other off.
TEST_F(VideoViewTest, CompareAndTitleSwitchEachOtherOff) {
    MakeView({"A"});
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

// Frozen, the camera is not read. A camera whose word on its size does not
// fit its buffer is read, but its picture is not shown.
TEST_F(VideoViewTest, FreezeStopsReadingTheCameraAndAFrameLargerThanItsBufferIsSkipped) {
    MakeView({"A"}, Cameras(64, 48));
    const auto& log = *m_devices->cameras.at(0);
    Tick(2);
    m_pView->OnOneControlHappend(CONTROL_FROZEN);
    Tick(3);
    EXPECT_EQ(log.nLocks, 2);
    m_pView->OnOneControlHappend(CONTROL_FROZEN);
    m_pCamera->SetReportsTooLarge(true);
    m_pCamera->SetSize(32, 24);
    EXPECT_EQ(Tick(3).size(), QSize(64, 48));
    EXPECT_EQ(log.nLocks, 5);
    EXPECT_EQ(log.nPairingErrors, 0); // every frame, shown or skipped, let go before the next
}

QStringList Photos() {
    return QDir(TestDocumentsFolder() + "/Orvane/Screenshot").entryList({"*.jpg"}, QDir::Files);
}

// Every index reads its size; one outside the table is the default 1.
// Photos within one second keep distinct names. They show the newest
// picture, which nothing has painted yet. One asked for before the first
// picture, or into a folder that cannot be made, is told and makes no sound.
TEST_F(VideoViewTest, PhotosTakeTheChosenSizeAndNeverReplaceOneAnother) {
    MakeView({"A"}, Cameras(1280, 720, Where));
    const auto* pShutter = m_pView->findChild<ShutterSound*>();
    m_pView->OnSetControlHappend(0);
    EXPECT_TRUE(TakeWarning().contains("还没有摄像头画面"));
    m_pCamera->SetSize(640, 360);
    m_pView->OnReadFrame();
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
        const QImage photo(TestDocumentsFolder() + "/Orvane/Screenshot/" + added[0]);
        EXPECT_EQ(photo.size(), row.size) << row.nIndex;
        // The middle of the picture: Where(320, 180) is (64, 180, 1).
        const QRgb cr = photo.pixel(photo.width() / 2, photo.height() / 2);
        EXPECT_LE(qAbs(qRed(cr) - 64) + qAbs(qGreen(cr) - 180) + qBlue(cr), 24) << row.nIndex;
        EXPECT_EQ(pShutter->PlayCount(), taken.size());
    }
    EXPECT_TRUE(taken.filter("-1.jpg").size() >= 1) << taken.join(' ').toStdString();
    const QString strMissing = TestHomeFolder() + "/gone/deeper";
    WriteConfigValue("Setting/SavePath", strMissing);
    m_pView->OnSetControlHappend(0);
    EXPECT_TRUE(TakeWarning().contains(strMissing + "/Screenshot/"));
    EXPECT_FALSE(QDir(strMissing).exists());
    EXPECT_EQ(pShutter->PlayCount(), taken.size());
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
    const auto timers = m_pView->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(timers.size(), 1);
    EXPECT_TRUE(timers[0]->isActive());
    EXPECT_EQ(timers[0]->interval(), 50);
    EXPECT_EQ(Tick().size(), QSize(32, 24));
}

TEST_F(VideoWidgetsTest, PlacesThePictureWithoutEnlargingAndKeepsItForARefusedOne) {
    MakeView({"A"});
    const struct {
        QSize camera, area;
        int nTurns;
        QRect rc;
    } rows[] = {{{640, 480}, {1055, 697}, 0, {207, 108, 640, 480}},
                {{1920, 1080}, {1055, 697}, 0, {0, 52, 1055, 593}},
                {{1920, 1080}, {1055, 697}, 1, {331, 0, 392, 697}},
                {{1920, 1080}, {500, 697}, 1, {0, 208, 500, 281}}};
    for (const auto& row : rows) {
        m_pCamera->SetSize(row.camera.width(), row.camera.height());
        Tick();
        for (int i = 0; i < row.nTurns; ++i) {
            m_pView->OnOneControlHappend(CONTROL_ROTATE);
        }
        m_pView->resize(row.area);
        QApplication::processEvents();
        EXPECT_EQ(RenderWidget()->geometry(), row.rc) << row.camera.width() << " " << row.nTurns;
    }
    // A picture the renderer refuses (too wide for 32 bits) moves nothing.
    EXPECT_FALSE(m_pView->ViewWidget()->SetFrame(QImage(70000000, 1, QImage::Format_Grayscale8)));
    EXPECT_EQ(RenderWidget()->geometry(), QRect(0, 208, 500, 281));
}

// Turned in software while the camera cannot turn it, and only then.
TEST_F(VideoWidgetsTest, EveryEdgePixelMapsInsideThePictureToThePixelShownThere) {
    // Not square, and shown smaller than it is in every orientation: turned,
    // 82 x 199, where one scale for both axes would reach past the last row.
    // Picture pixel (x, y) has red x and green y.
    MakeView({"A"}, Cameras(240, 100, Where));
    m_pView->resize(200, 199);
    QApplication::processEvents();
    const QRect rcPicture(0, 0, 240, 100);
    for (int nTurn = 1; nTurn <= 8; ++nTurn) {
        if (nTurn == 5) {
            m_pView->OnOneControlHappend(CONTROL_MIRROR);
        }
        m_pView->OnOneControlHappend(CONTROL_ROTATE);
        EXPECT_EQ(CurrentRotateAngle, nTurn % 4 * 90);
        Tick();
        const QImage shown = Shown();
        const int nWidth = shown.width(), nHeight = shown.height();
        ASSERT_LT(nWidth * nHeight, rcPicture.width() * rcPicture.height());
        // Round the border: whole top and bottom rows, the ends of the others.
        for (int nY = 0; nY < nHeight; ++nY) {
            const int nStep = nY == 0 || nY == nHeight - 1 ? 1 : nWidth - 1;
            for (int nX = 0; nX < nWidth; nX += nStep) {
                const QPoint ptPicture = RenderWidget()->MapToPicture(nX, nY);
                const QRgb cr = shown.pixel(nX, nY);
                // The mapping truncates, the draw samples pixel centres.
                ASSERT_TRUE(rcPicture.contains(ptPicture) && qAbs(ptPicture.x() - qRed(cr)) <= 1 &&
                            qAbs(ptPicture.y() - qGreen(cr)) <= 1)
                    << "turn " << nTurn << ": " << nX << "," << nY << " maps to " << ptPicture.x()
                    << "," << ptPicture.y() << " and shows " << qRed(cr) << "," << qGreen(cr);
            }
        }
    }
    m_pCamera->SetHardware("Rotate");
    m_pView->OnOneControlHappend(CONTROL_ROTATE);
    EXPECT_EQ(CurrentRotateAngle, 0);
    EXPECT_EQ(Tick().size(), QSize(240, 100));
}

TEST_F(VideoWidgetsTest, ADoodleFollowsTheHeldMouseInQuadraticPieces) {
    MakeView({"A"}, Cameras(240, 160, Where)); // shown at its own size
    const QImage blank = Tick();
    RenderWidget()->SetPen(QPen(QColor(255, 0, 0), 1));
    RenderWidget()->Render()->SetRemarkType(RemarkDoodle);
    const auto inked = [&](std::initializer_list<QPoint> points) {
        const QImage shown = Shown();
        std::string strInk; // 'x' where the picture changed within two pixels
        for (const QPoint& pt : points) {
            const QRect rc(pt - QPoint(2, 2), QSize(5, 5));
            strInk += shown.copy(rc) != blank.copy(rc) ? 'x' : '.';
        }
        return strInk;
    };
    QTest::mouseClick(RenderWidget(), Qt::LeftButton, Qt::NoModifier, {10, 10}); // two points
    EXPECT_EQ(inked({{10, 10}}), ".");
    // One piece from (10, 10) to (50, 10) bent towards (30, 30), through
    // (30, 20); a move without the button held would add no point.
    QTest::mousePress(RenderWidget(), Qt::LeftButton, Qt::NoModifier, {10, 10});
    QMouseEvent move(QEvent::MouseMove, {30, 30}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(RenderWidget(), &move);
    QTest::mouseRelease(RenderWidget(), Qt::LeftButton, Qt::NoModifier, {50, 10});
    EXPECT_EQ(inked({{10, 10}, {30, 20}, {50, 10}, {30, 10}, {30, 30}}), "xxx..");
}

// Enter commits, Shift+Enter breaks the line, Escape abandons. A click on
// the picture with any button, or on another widget, commits and opens
// nothing; a menu, another window, a tool change or a new frame keep the
// typed text.
TEST_F(VideoWidgetsTest, TheTextBoxCommitsOnEnterAndClicksElsewhereOnly) {
    MakeView({"A"}, Cameras(640, 480, Where)); // shown at its own size
    const QImage blank = Tick();
    RenderWidget()->Render()->SetRemarkType(RemarkText);
    RenderWidget()->SetTextColor(QColor(255, 0, 0));
    QTextEdit* pBox = RenderWidget()->TextBox();
    const auto click = [this](const QPoint& pt, Qt::MouseButton nButton = Qt::LeftButton) {
        QTest::mouseClick(RenderWidget(), nButton, Qt::NoModifier, pt);
    };
    const auto type = [&](const QString& strText) { // in a box at (30, 40), nothing drawn yet
        RenderWidget()->ClearRemark();
        click({30, 40});
        EXPECT_TRUE(pBox->isVisible());
        QTest::keyClicks(pBox, strText);
    };
    const auto beside = [](QImage image) { // all but the box at (30, 40)
        QPainter(&image).fillRect(30, 40, 300, 300, Qt::black);
        return image;
    };
    QTest::mousePress(RenderWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    EXPECT_FALSE(pBox->isVisible()); // opens on release, not on press
    type("ab");
    QTest::keyClick(pBox, Qt::Key_Return, Qt::ShiftModifier);
    QMenu menu; // as a right click in the box opens its context menu
    menu.addAction("Paste");
    menu.popup(pBox->mapToGlobal(QPoint(20, 20)));
    EXPECT_TRUE(pBox->isVisible());
    menu.close();
    EXPECT_TRUE(pBox->hasFocus());
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QApplication::setActiveWindow(m_pView.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_pView.get()));
    RenderWidget()->Render()->SetRemarkType(RemarkLine);
    Tick();
    QTest::keyClicks(pBox, "cd");
    EXPECT_EQ(pBox->toPlainText(), "ab\ncd");
    RenderWidget()->ComposePicture(); // what a photo would take: no text yet
    EXPECT_EQ(RenderWidget()->Render()->CopyPicture().convertToFormat(QImage::Format_RGB32), blank);
    QTest::keyClick(pBox, Qt::Key_Return);
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_NE(Shown(), blank);

    RenderWidget()->Render()->SetRemarkType(RemarkText);
    type("gone");
    QTest::keyClick(pBox, Qt::Key_Escape);
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_TRUE(RenderWidget()->hasFocus());
    EXPECT_EQ(Shown(), blank);
    type("Hi");
    click({400, 300}, Qt::RightButton);
    EXPECT_FALSE(pBox->isVisible());
    const QImage withText = Shown();
    EXPECT_NE(withText, blank);
    EXPECT_EQ(beside(withText), beside(blank));
    // The next click is not swallowed; an empty box closes drawing nothing,
    // and the click that closes it opens no other.
    click({100, 200});
    ASSERT_TRUE(pBox->isVisible());
    click({500, 400});
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_EQ(Shown(), withText);

    auto* pButton = new QPushButton("photo", m_pView.get()); // another widget of the window
    pButton->show();
    type("Hi");
    QTest::mouseClick(pButton, Qt::LeftButton);
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_EQ(Shown(), withText);
    // Closing the view while typing must not crash.
    type("typed");
    m_pView.reset();
}

} // namespace

// The video widgets as the user meets them: where the picture is placed,
// where a mouse drag lands in the picture, and the text remark box.

#include "tests/render/RenderHost.h"
#include "tests/support/TestEnvironment.h"
#include "view/VideoRenderWidget.h"
#include "view/VideoViewWidget.h"

#include <QApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QRgb Black = qRgb(0, 0, 0);

void MoveHeld(QWidget* pWidget, const QPoint& pt) {
    QMouseEvent event(QEvent::MouseMove, pt, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

class VideoWidgetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pView = std::make_unique<VideoViewWidget>();
        m_pView->resize(1055, 697);
        m_pView->show();
        QApplication::setActiveWindow(m_pView.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_pView.get()));
    }
    VideoRenderWidget* Widget() { return m_pView->RenderWidget(); }
    void Turn(int nAngle, bool bMirror) {
        m_pView->SetRotation(nAngle);
        Widget()->SetMirrorFlag(bMirror);
        Widget()->Render()->SetMirror(bMirror);
        QApplication::processEvents();
    }
    QImage Shown() { return Rgb32(Widget()->grab().toImage()); }

    std::unique_ptr<VideoViewWidget> m_pView;
};

TEST_F(VideoWidgetsTest, PlacesThePictureWithoutEnlargingAndMapsPixelsIntoIt) {
    EXPECT_FALSE(m_pView->SetFrame(QImage()));
    ASSERT_TRUE(m_pView->SetFrame(SolidFrame(640, 480, Black)));
    EXPECT_EQ(Widget()->geometry(), QRect(207, 108, 640, 480));
    m_pView->SetFrame(SolidFrame(1920, 1080, Black));
    EXPECT_EQ(Widget()->geometry(), QRect(0, 52, 1055, 593));
    m_pView->SetRotation(90);
    EXPECT_EQ(Widget()->geometry(), QRect(331, 0, 392, 697));
    // A narrower area: full width, height by the picture's ratio.
    m_pView->SetRotation(180);
    m_pView->resize(500, 697);
    QApplication::processEvents();
    EXPECT_EQ(Widget()->geometry(), QRect(0, 208, 500, 281));

    // Widget (10, 20) in the picture: scale 1920 / 1055 across, 1080 / 392
    // when turned; a mirror flips the turned picture, i.e. along its height.
    m_pView->resize(1055, 697);
    const struct {
        int nAngle;
        bool bMirror;
        QPoint ptExpected;
    } rows[] = {
        // clang-format off
        {0, false, {18, 36}}, {0, true, {1902, 36}}, {90, false, {55, 1053}}, {90, true, {55, 27}},
        {180, false, {1902, 1044}}, {270, false, {1865, 27}}, {270, true, {1865, 1053}},
        // clang-format on
    };
    for (const auto& row : rows) {
        Turn(row.nAngle, row.bMirror);
        EXPECT_EQ(Widget()->MapToPicture(10, 20), row.ptExpected)
            << row.nAngle << " " << row.bMirror;
    }
}

TEST_F(VideoWidgetsTest, DrawingLandsUnderTheMouseInEveryOrientation) {
    m_pView->SetPen(QPen(QColor(255, 0, 0), 3));
    Widget()->Render()->SetRemarkType(1);
    // Something other than the black frame within two pixels of pt.
    const auto inkedNear = [](const QImage& shown, const QPoint& pt) {
        return shown.copy(QRect(pt - QPoint(2, 2), QSize(5, 5))) != Rgb32(SolidFrame(5, 5, Black));
    };
    for (int nAngle : {0, 90, 180, 270}) {
        for (bool bMirror : {false, true}) {
            Turn(nAngle, bMirror);
            m_pView->SetFrame(SolidFrame(240, 160, Black));
            Widget()->ClearRemark();
            QApplication::processEvents();
            QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, {20, 30});
            MoveHeld(Widget(), {40, 30});
            MoveHeld(Widget(), {60, 30});
            QTest::mouseRelease(Widget(), Qt::LeftButton, Qt::NoModifier, {60, 30});
            const QImage shown = Shown();
            std::string strInk;
            for (const QPoint& pt :
                 {QPoint(20, 30), QPoint(40, 30), QPoint(60, 30), QPoint(40, 40)}) {
                strInk += inkedNear(shown, pt) ? 'x' : '.';
            }
            EXPECT_EQ(strInk, "xxx.") << nAngle << " " << bMirror;
        }
    }
}

TEST_F(VideoWidgetsTest, TextBoxOpensOnReleaseAndDrawsOnFocusOut) {
    m_pView->SetFrame(SolidFrame(640, 480, Black));
    QTextEdit* pBox = Widget()->TextBox();
    Widget()->Render()->SetRemarkType(8);
    Widget()->Render()->SetFontSize(26);
    Widget()->SetTextColor(QColor(255, 0, 0));

    QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    EXPECT_FALSE(pBox->isVisible()); // opens on release, not on press
    QTest::mouseRelease(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    ASSERT_TRUE(pBox->isVisible());
    EXPECT_EQ(pBox->geometry(), QRect(30, 40, 300, 300));
    QTest::keyClicks(pBox, "Hello");

    // A click elsewhere takes the focus: the text is drawn in the box's place
    // and that click opens no second box.
    QTest::mouseClick(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
    EXPECT_FALSE(pBox->isVisible());
    QImage shown = Shown();
    const QImage withText = shown;
    EXPECT_NE(shown.copy(30, 40, 300, 300), Rgb32(SolidFrame(300, 300, Black)));
    QPainter(&shown).fillRect(30, 40, 300, 300, Qt::black);
    EXPECT_EQ(shown, Rgb32(SolidFrame(640, 480, Black)));

    // The next click opens an empty box; left empty, it draws nothing.
    QTest::mouseClick(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
    ASSERT_TRUE(pBox->isVisible());
    EXPECT_TRUE(pBox->toPlainText().isEmpty());
    QTest::mouseClick(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(500, 400));
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_EQ(Shown(), withText);

    // Closing the view while typing must not crash.
    QTest::mouseClick(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    ASSERT_TRUE(pBox->hasFocus());
    QTest::keyClicks(pBox, "typed");
    m_pView.reset();
}

TEST_F(VideoWidgetsTest, SavePhotoStretchesTheComposedPicture) {
    const QString strPath = TestDocumentsFolder() + "/photo.jpg";
    EXPECT_FALSE(Widget()->SavePhoto(strPath, 1600, 1200)); // nothing painted yet
    m_pView->SetFrame(SolidFrame(1920, 1080, qRgb(0, 0, 255)));
    Widget()->repaint();
    ASSERT_TRUE(Widget()->SavePhoto(strPath, 1600, 1200));
    QImageReader reader(strPath);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage photo = reader.read();
    EXPECT_EQ(photo.size(), QSize(1600, 1200));
    EXPECT_GT(qBlue(photo.pixel(800, 600)), 240);
    EXPECT_FALSE(Widget()->SavePhoto(TestDocumentsFolder() + "/no/such/folder/p.jpg", 16, 9));
}

} // namespace

// The video widgets as the user meets them: where the picture is placed,
// where a mouse drag lands in the picture, and the text remark box.

#include "render/IVideoRender.h"
#include "tests/support/TestEnvironment.h"
#include "view/VideoRenderWidget.h"
#include "view/VideoViewWidget.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QPen>
#include <QPixmap>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

QImage SolidFrame(int nWidth, int nHeight, QRgb crColor) {
    QImage frame(nWidth, nHeight, QImage::Format_ARGB32);
    frame.fill(crColor);
    return frame;
}

void MoveHeld(QWidget* pWidget, const QPoint& pt) {
    QMouseEvent event(QEvent::MouseMove, pt, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

void DragWithMouse(QWidget* pWidget, const QPoint& ptFrom, const QPoint& ptTo) {
    QTest::mousePress(pWidget, Qt::LeftButton, Qt::NoModifier, ptFrom);
    MoveHeld(pWidget, (ptFrom + ptTo) / 2);
    MoveHeld(pWidget, ptTo);
    QTest::mouseRelease(pWidget, Qt::LeftButton, Qt::NoModifier, ptTo);
}

// Red shows within two pixels of pt on the widget as painted.
bool InkedNear(const QImage& shown, const QPoint& pt) {
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            const QPoint ptNear = pt + QPoint(dx, dy);
            if (shown.rect().contains(ptNear) && qRed(shown.pixel(ptNear)) > 100) {
                return true;
            }
        }
    }
    return false;
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
    VideoRenderWidget* RenderWidget() { return m_pView->RenderWidget(); }
    QRect Placement() { return RenderWidget()->geometry(); }

    std::unique_ptr<VideoViewWidget> m_pView;
};

TEST_F(VideoWidgetsTest, FitsAndCentresThePictureWithoutEnlarging) {
    EXPECT_FALSE(m_pView->SetFrame(QImage()));

    ASSERT_TRUE(m_pView->SetFrame(SolidFrame(640, 480, qRgb(1, 2, 3))));
    EXPECT_EQ(Placement(), QRect(207, 108, 640, 480));

    m_pView->SetFrame(SolidFrame(1920, 1080, qRgb(1, 2, 3)));
    EXPECT_EQ(Placement(), QRect(0, 52, 1055, 593));

    m_pView->SetRotation(90);
    EXPECT_EQ(Placement(), QRect(331, 0, 392, 697));
    m_pView->SetRotation(180);
    EXPECT_EQ(Placement(), QRect(0, 52, 1055, 593));

    // A narrower area: full width, height by the picture's ratio.
    m_pView->resize(500, 697);
    QApplication::processEvents();
    EXPECT_EQ(Placement(), QRect(0, 208, 500, 281));
}

TEST_F(VideoWidgetsTest, MapsWidgetPixelsToPicturePixels) {
    m_pView->SetFrame(SolidFrame(1920, 1080, qRgb(1, 2, 3)));
    QApplication::processEvents();
    EXPECT_EQ(RenderWidget()->MapToPicture(10, 20), QPoint(18, 36));
    RenderWidget()->SetMirrorFlag(true);
    EXPECT_EQ(RenderWidget()->MapToPicture(10, 20), QPoint(1902, 36));
    RenderWidget()->SetMirrorFlag(false);

    // Turned by 90 the widget is 392 wide over a 1080-wide source.
    m_pView->SetRotation(90);
    QApplication::processEvents();
    EXPECT_EQ(RenderWidget()->MapToPicture(10, 20), QPoint(55, 1080 - 27));
    m_pView->SetRotation(180);
    QApplication::processEvents();
    EXPECT_EQ(RenderWidget()->MapToPicture(10, 20), QPoint(1920 - 18, 1080 - 36));
    m_pView->SetRotation(270);
    QApplication::processEvents();
    EXPECT_EQ(RenderWidget()->MapToPicture(10, 20), QPoint(1920 - 55, 27));
    // Mirrored, the turned picture is flipped along the picture's height.
    RenderWidget()->SetMirrorFlag(true);
    EXPECT_EQ(RenderWidget()->MapToPicture(10, 20), QPoint(1920 - 55, 1080 - 27));
}

TEST_F(VideoWidgetsTest, DrawingLandsUnderTheMouseInEveryOrientation) {
    m_pView->SetPen(QPen(QColor(255, 0, 0), 3));
    RenderWidget()->Render()->SetRemarkType(1);
    for (int nAngle : {0, 90, 180, 270}) {
        for (bool bMirror : {false, true}) {
            m_pView->SetRotation(nAngle);
            RenderWidget()->SetMirrorFlag(bMirror);
            RenderWidget()->Render()->SetMirror(bMirror);
            m_pView->SetFrame(SolidFrame(240, 160, qRgb(0, 0, 0)));
            RenderWidget()->ClearRemark();
            QApplication::processEvents();

            DragWithMouse(RenderWidget(), QPoint(20, 30), QPoint(60, 30));
            const QImage shown = RenderWidget()->grab().toImage();
            EXPECT_TRUE(InkedNear(shown, {20, 30})) << nAngle << " " << bMirror;
            EXPECT_TRUE(InkedNear(shown, {40, 30})) << nAngle << " " << bMirror;
            EXPECT_TRUE(InkedNear(shown, {60, 30})) << nAngle << " " << bMirror;
            EXPECT_FALSE(InkedNear(shown, {40, 40})) << nAngle << " " << bMirror;
        }
    }
}

TEST_F(VideoWidgetsTest, TextBoxOpensOnReleaseAndDrawsOnFocusOut) {
    m_pView->SetFrame(SolidFrame(640, 480, qRgb(0, 0, 0)));
    VideoRenderWidget* pRender = RenderWidget();
    QTextEdit* pBox = pRender->TextBox();
    pRender->Render()->SetRemarkType(8);
    pRender->Render()->SetFontSize(26);
    pRender->SetTextColor(QColor(255, 0, 0));
    EXPECT_EQ(pBox->palette().color(QPalette::Inactive, QPalette::Text), QColor(255, 0, 0));

    QTest::mousePress(pRender, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    EXPECT_FALSE(pBox->isVisible()); // opens on release, not on press
    QTest::mouseRelease(pRender, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    ASSERT_TRUE(pBox->isVisible());
    EXPECT_EQ(pBox->pos(), QPoint(30, 40));
    EXPECT_EQ(pBox->size(), QSize(300, 300));
    EXPECT_TRUE(pBox->hasFocus());
    QTest::keyClicks(pBox, "Hello");

    // A click elsewhere on the picture takes the focus: the text is drawn at
    // the first click, and this click opens no second box.
    QTest::mouseClick(pRender, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
    EXPECT_FALSE(pBox->isVisible());
    const QImage shown = pRender->grab().toImage();
    int nInkNearAnchor = 0, nInkElsewhere = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (qRed(shown.pixel(x, y)) > 100) {
                const bool bNearAnchor = x >= 30 && x < 330 && y >= 40 && y < 340;
                (bNearAnchor ? nInkNearAnchor : nInkElsewhere)++;
            }
        }
    }
    EXPECT_GT(nInkNearAnchor, 20);
    EXPECT_EQ(nInkElsewhere, 0);

    // The next click opens a box again.
    QTest::mouseClick(pRender, Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
    EXPECT_TRUE(pBox->isVisible());
    EXPECT_TRUE(pBox->toPlainText().isEmpty());
}

TEST_F(VideoWidgetsTest, EmptyTextBoxDrawsNothing) {
    const QImage frame = SolidFrame(640, 480, qRgb(0, 0, 0));
    m_pView->SetFrame(frame);
    VideoRenderWidget* pRender = RenderWidget();
    pRender->Render()->SetRemarkType(8);
    pRender->SetTextColor(QColor(255, 0, 0));
    QTest::mouseClick(pRender, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    ASSERT_TRUE(pRender->TextBox()->isVisible());
    QTest::mouseClick(pRender, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
    EXPECT_FALSE(pRender->TextBox()->isVisible());
    EXPECT_EQ(pRender->grab().toImage().convertToFormat(QImage::Format_RGB32),
              frame.convertToFormat(QImage::Format_RGB32));
}

TEST_F(VideoWidgetsTest, ClosingWhileTypingDrawsNothingAndDoesNotCrash) {
    m_pView->SetFrame(SolidFrame(640, 480, qRgb(0, 0, 0)));
    RenderWidget()->Render()->SetRemarkType(8);
    QTest::mouseClick(RenderWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    ASSERT_TRUE(RenderWidget()->TextBox()->hasFocus());
    QTest::keyClicks(RenderWidget()->TextBox(), "typed");
    m_pView.reset();
}

TEST_F(VideoWidgetsTest, SavePhotoStretchesTheComposedPicture) {
    const QString strPath = TestDocumentsFolder() + "/photo.jpg";
    // Nothing painted yet: no photo.
    EXPECT_FALSE(RenderWidget()->SavePhoto(strPath, 1600, 1200));
    EXPECT_FALSE(QFile::exists(strPath));

    m_pView->SetFrame(SolidFrame(1920, 1080, qRgb(0, 0, 255)));
    RenderWidget()->repaint();
    ASSERT_TRUE(RenderWidget()->SavePhoto(strPath, 1600, 1200));
    QImageReader reader(strPath);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage photo = reader.read();
    EXPECT_EQ(photo.size(), QSize(1600, 1200));
    EXPECT_GT(qBlue(photo.pixel(800, 600)), 240);
    EXPECT_LT(qRed(photo.pixel(800, 600)), 15);

    EXPECT_FALSE(RenderWidget()->SavePhoto(TestDocumentsFolder() + "/no/such/folder/p.jpg", 16, 9));
    EXPECT_FALSE(RenderWidget()->SavePhoto(strPath + "2", 0, 9));
}

} // namespace

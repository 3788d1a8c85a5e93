// The video widgets as the user meets them: where the picture is placed,
// where the mouse lands in the picture, and the text remark box.

#include "tests/render/RenderHost.h"
#include "tests/support/TestEnvironment.h"
#include "view/VideoRenderWidget.h"
#include "view/VideoViewWidget.h"

#include <QApplication>
#include <QImageReader>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPushButton>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QImage Black640 = Rgb32(SolidFrame(640, 480, qRgb(0, 0, 0)));

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

TEST_F(VideoWidgetsTest, PlacesThePictureWithoutEnlarging) {
    EXPECT_FALSE(m_pView->SetFrame(QImage()));
    ASSERT_TRUE(m_pView->SetFrame(SolidFrame(640, 480, 0)));
    EXPECT_EQ(Widget()->geometry(), QRect(207, 108, 640, 480));
    m_pView->SetFrame(SolidFrame(1920, 1080, 0));
    EXPECT_EQ(Widget()->geometry(), QRect(0, 52, 1055, 593));
    m_pView->SetRotation(90);
    EXPECT_EQ(Widget()->geometry(), QRect(331, 0, 392, 697));
    // A narrower area: full width, height by the picture's ratio.
    m_pView->SetRotation(180);
    m_pView->resize(500, 697);
    QApplication::processEvents();
    EXPECT_EQ(Widget()->geometry(), QRect(0, 208, 500, 281));
    // A picture the renderer refuses (too wide for 32 bits) moves nothing.
    EXPECT_FALSE(m_pView->SetFrame(QImage(70000000, 1, QImage::Format_Grayscale8)));
    EXPECT_EQ(Widget()->geometry(), QRect(0, 208, 500, 281));
}

TEST_F(VideoWidgetsTest, EveryEdgePixelMapsInsideThePictureToThePixelShownThere) {
    // Not square, and shown smaller than it is in every orientation: turned,
    // 82 x 199, where one scale for both axes would reach past the last row.
    // Picture pixel (x, y) has red x and green y.
    m_pView->resize(200, 199);
    const QRect rcPicture(0, 0, 240, 100);
    m_pView->SetFrame(PatternFrame(rcPicture.width(), rcPicture.height(), 0));
    for (int nAngle : {0, 90, 180, 270}) {
        for (bool bMirror : {false, true}) {
            Turn(nAngle, bMirror);
            const QImage shown = Shown();
            const int nWidth = shown.width(), nHeight = shown.height();
            ASSERT_LT(nWidth * nHeight, rcPicture.width() * rcPicture.height());
            // Round the border: whole top and bottom rows, the ends of the others.
            for (int i = 0; i < nWidth * nHeight; ++i) {
                const QPoint pt(i % nWidth, i / nWidth);
                if (pt.y() > 0 && pt.y() < nHeight - 1 && pt.x() > 0 && pt.x() < nWidth - 1) {
                    continue;
                }
                const QPoint ptPicture = Widget()->MapToPicture(pt.x(), pt.y());
                const QRgb cr = shown.pixel(pt);
                // The mapping truncates, the draw samples pixel centres.
                if (!rcPicture.contains(ptPicture) || qAbs(ptPicture.x() - qRed(cr)) > 1 ||
                    qAbs(ptPicture.y() - qGreen(cr)) > 1) {
                    ADD_FAILURE() << nAngle << " " << bMirror << ": " << pt.x() << "," << pt.y()
                                  << " maps to " << ptPicture.x() << "," << ptPicture.y()
                                  << " and shows " << qRed(cr) << "," << qGreen(cr);
                    break;
                }
            }
        }
    }
}

TEST_F(VideoWidgetsTest, ADoodleFollowsTheHeldMouseInQuadraticPieces) {
    m_pView->SetPen(QPen(QColor(255, 0, 0), 1));
    Widget()->Render()->SetRemarkType(2);
    m_pView->SetFrame(SolidFrame(240, 160, 0)); // shown at its own size
    const auto inked = [this](std::initializer_list<QPoint> points) {
        const QImage shown = Shown();
        std::string strInk; // 'x' where anything but black is within two pixels
        for (const QPoint& pt : points) {
            const QImage near = shown.copy(QRect(pt - QPoint(2, 2), QSize(5, 5)));
            strInk += near != Rgb32(SolidFrame(5, 5, 0)) ? 'x' : '.';
        }
        return strInk;
    };
    QTest::mouseClick(Widget(), Qt::LeftButton, Qt::NoModifier, {10, 10}); // two points: nothing
    EXPECT_EQ(inked({{10, 10}}), ".");
    // One piece from (10, 10) to (50, 10) bent towards (30, 30), through
    // (30, 20); a move without the button held would add no point.
    QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, {10, 10});
    QMouseEvent move(QEvent::MouseMove, {30, 30}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Widget(), &move);
    QTest::mouseRelease(Widget(), Qt::LeftButton, Qt::NoModifier, {50, 10});
    EXPECT_EQ(inked({{10, 10}, {30, 20}, {50, 10}, {30, 10}, {30, 30}}), "xxx..");
}

// Enter commits, Shift+Enter breaks the line, Escape abandons. A click on
// the picture with any button, or on another widget, commits and opens
// nothing; a menu, another window, a tool change or a new frame keep the
// typed text.
TEST_F(VideoWidgetsTest, TheTextBoxCommitsOnEnterAndClicksElsewhereOnly) {
    m_pView->SetFrame(Black640);
    Widget()->Render()->SetRemarkType(8);
    Widget()->SetTextColor(QColor(255, 0, 0));
    QTextEdit* pBox = Widget()->TextBox();
    const auto click = [this](const QPoint& pt, Qt::MouseButton nButton = Qt::LeftButton) {
        QTest::mouseClick(Widget(), nButton, Qt::NoModifier, pt);
    };
    const auto type = [&](const QString& strText) { // in a box opened at (30, 40)
        click({30, 40});
        EXPECT_TRUE(pBox->isVisible());
        QTest::keyClicks(pBox, strText);
    };
    const auto shownBesideTheBox = [this] {
        QImage shown = Shown();
        QPainter(&shown).fillRect(30, 40, 300, 300, Qt::black);
        return shown;
    };
    QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    EXPECT_FALSE(pBox->isVisible()); // opens on release, not on press
    type("ab");
    EXPECT_EQ(pBox->geometry(), QRect(30, 40, 300, 300));
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
    Widget()->Render()->SetRemarkType(1);
    m_pView->SetFrame(Black640);
    QTest::keyClicks(pBox, "cd");
    EXPECT_EQ(pBox->toPlainText(), "ab\ncd");
    Widget()->ComposePicture(); // what a photo would take: no text yet
    EXPECT_EQ(Rgb32(Widget()->Render()->CopyPicture()), Black640);
    QTest::keyClick(pBox, Qt::Key_Return);
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_NE(Shown(), Black640);
    EXPECT_EQ(shownBesideTheBox(), Black640);

    Widget()->ClearRemark();
    Widget()->Render()->SetRemarkType(8);
    type("gone");
    QTest::keyClick(pBox, Qt::Key_Escape);
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_TRUE(Widget()->hasFocus());
    EXPECT_EQ(Shown(), Black640);
    type("Hi");
    click({400, 300}, Qt::RightButton);
    EXPECT_FALSE(pBox->isVisible());
    const QImage withText = Shown();
    EXPECT_NE(withText, Black640);
    EXPECT_EQ(shownBesideTheBox(), Black640);
    // The next click is not swallowed; an empty box closes drawing nothing,
    // and the click that closes it opens no other.
    click({100, 200});
    ASSERT_TRUE(pBox->isVisible());
    click({500, 400});
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_EQ(Shown(), withText);

    auto* pButton = new QPushButton("photo", m_pView.get()); // another widget of the window
    pButton->show();
    Widget()->ClearRemark();
    type("Hi");
    QTest::mouseClick(pButton, Qt::LeftButton);
    EXPECT_FALSE(pBox->isVisible());
    EXPECT_EQ(Shown(), withText);
    // Closing the view while typing must not crash.
    type("typed");
    m_pView.reset();
}

TEST_F(VideoWidgetsTest, SavePhotoStretchesTheNewestPicturePaintedOrNot) {
    const QString strPath = TestDocumentsFolder() + "/photo.jpg";
    EXPECT_FALSE(Widget()->SavePhoto(strPath, 1600, 1200)); // no picture yet
    m_pView->SetFrame(SolidFrame(1920, 1080, qRgb(0, 0, 255)));
    ASSERT_TRUE(Widget()->SavePhoto(strPath, 1600, 1200));
    QImageReader reader(strPath);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage photo = reader.read();
    EXPECT_EQ(photo.size(), QSize(1600, 1200));
    EXPECT_GT(qBlue(photo.pixel(800, 600)), 240);
    EXPECT_FALSE(Widget()->SavePhoto(TestDocumentsFolder() + "/no/such/folder/p.jpg", 16, 9));
}

} // namespace

// The video widgets as the user meets them: where the picture is placed,
// where the mouse lands in the picture, and the text remark box.

#include "tests/render/RenderHost.h"
#include "tests/support/TestEnvironment.h"
#include "view/VideoRenderWidget.h"
#include "view/VideoViewWidget.h"

#include <QApplication>
#include <QFontMetrics>
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

const QRgb Black = qRgb(0, 0, 0);

void MoveHeld(QWidget* pWidget, const QPoint& pt) {
    QMouseEvent event(QEvent::MouseMove, pt, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

// The rows of picture that hold anything but black, as (first, last).
std::pair<int, int> InkedRows(const QImage& picture) {
    int nFirst = -1;
    int nLast = -1;
    for (int y = 0; y < picture.height(); ++y) {
        if (picture.copy(0, y, picture.width(), 1) !=
            Rgb32(SolidFrame(picture.width(), 1, Black))) {
            nFirst = nFirst < 0 ? y : nFirst;
            nLast = y;
        }
    }
    return {nFirst, nLast};
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

TEST_F(VideoWidgetsTest, PlacesThePictureWithoutEnlarging) {
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
            const int nWidth = shown.width();
            const int nHeight = shown.height();
            ASSERT_LT(nWidth * nHeight, rcPicture.width() * rcPicture.height());
            int nWrong = 0;
            QString strFirst;
            for (int i = 0; i < 2 * (nWidth + nHeight); ++i) {
                // Round the border: top and bottom rows, left and right columns.
                const QPoint pt = i < 2 * nWidth
                                      ? QPoint(i % nWidth, i < nWidth ? 0 : nHeight - 1)
                                      : QPoint(i % 2 ? nWidth - 1 : 0, (i - 2 * nWidth) / 2);
                const QPoint ptPicture = Widget()->MapToPicture(pt.x(), pt.y());
                const QRgb cr = shown.pixel(pt);
                // The mapping truncates, the draw samples pixel centres.
                if (!rcPicture.contains(ptPicture) || qAbs(ptPicture.x() - qRed(cr)) > 1 ||
                    qAbs(ptPicture.y() - qGreen(cr)) > 1) {
                    strFirst = nWrong++ ? strFirst
                                        : QString("(%1, %2) -> (%3, %4), shows (%5, %6)")
                                              .arg(pt.x())
                                              .arg(pt.y())
                                              .arg(ptPicture.x())
                                              .arg(ptPicture.y())
                                              .arg(qRed(cr))
                                              .arg(qGreen(cr));
                }
            }
            EXPECT_EQ(nWrong, 0) << nAngle << " " << bMirror << ": " << strFirst.toStdString();
        }
    }
}

TEST_F(VideoWidgetsTest, DrawingLandsUnderTheMouse) {
    m_pView->SetPen(QPen(QColor(255, 0, 0), 3));
    Widget()->Render()->SetRemarkType(1);
    Turn(90, true);
    m_pView->SetFrame(SolidFrame(240, 160, Black));
    QApplication::processEvents();
    QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, {20, 30});
    MoveHeld(Widget(), {40, 30});
    MoveHeld(Widget(), {60, 30});
    QTest::mouseRelease(Widget(), Qt::LeftButton, Qt::NoModifier, {60, 30});
    // Something other than black within two pixels of each point.
    const QImage shown = Shown();
    std::string strInk;
    for (const QPoint& pt : {QPoint(20, 30), QPoint(40, 30), QPoint(60, 30), QPoint(40, 40)}) {
        strInk +=
            shown.copy(QRect(pt - QPoint(2, 2), QSize(5, 5))) != Rgb32(SolidFrame(5, 5, Black))
                ? 'x'
                : '.';
    }
    EXPECT_EQ(strInk, "xxx.");
}

class TextBoxTest : public VideoWidgetsTest {
protected:
    void SetUp() override {
        VideoWidgetsTest::SetUp();
        m_pView->SetFrame(SolidFrame(640, 480, Black));
        Widget()->Render()->SetRemarkType(8);
        Widget()->Render()->SetFontSize(26);
        Widget()->SetTextColor(QColor(255, 0, 0));
    }
    QTextEdit* Box() { return Widget()->TextBox(); }
    void Click(const QPoint& pt, Qt::MouseButton nButton = Qt::LeftButton) {
        QTest::mouseClick(Widget(), nButton, Qt::NoModifier, pt);
    }
    // What is shown with the box's area at (30, 40) blacked out: all black
    // when nothing was drawn elsewhere.
    QImage ShownBesideTheBox() {
        QImage shown = Shown();
        QPainter(&shown).fillRect(30, 40, 300, 300, Qt::black);
        return shown;
    }
};

TEST_F(TextBoxTest, EnterCommitsShiftEnterBreaksTheLineEscapeAbandons) {
    QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    EXPECT_FALSE(Box()->isVisible()); // opens on release, not on press
    QTest::mouseRelease(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    ASSERT_TRUE(Box()->isVisible());
    EXPECT_EQ(Box()->geometry(), QRect(30, 40, 300, 300));
    QTest::keyClicks(Box(), "ab");
    QTest::keyClick(Box(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(Box(), "cd");
    EXPECT_EQ(Box()->toPlainText(), "ab\ncd");
    QTest::keyClick(Box(), Qt::Key_Return);
    EXPECT_FALSE(Box()->isVisible());
    const QImage withText = Shown();
    // Two lines, from the box's top, and nothing beside the box.
    QFont font;
    font.setPointSize(26);
    const auto rows = InkedRows(withText);
    EXPECT_GE(rows.first, 40);
    EXPECT_GT(rows.second - rows.first, QFontMetrics(font).height());
    EXPECT_EQ(ShownBesideTheBox(), Rgb32(SolidFrame(640, 480, Black)));

    Click({100, 200});
    ASSERT_TRUE(Box()->isVisible());
    EXPECT_TRUE(Box()->toPlainText().isEmpty());
    QTest::keyClicks(Box(), "gone");
    QTest::keyClick(Box(), Qt::Key_Escape);
    EXPECT_FALSE(Box()->isVisible());
    EXPECT_EQ(Shown(), withText);
    EXPECT_TRUE(Widget()->hasFocus());
}

TEST_F(TextBoxTest, AnyClickBesideTheBoxCommitsAndOpensNothing) {
    QPushButton button("photo", m_pView.get()); // another widget of the window
    button.setGeometry(0, 0, 60, 30);
    button.show();
    Click({30, 40});
    QTest::keyClicks(Box(), "Hi");
    Click({400, 300}, Qt::RightButton);
    EXPECT_FALSE(Box()->isVisible());
    const QImage withText = Shown();
    EXPECT_NE(withText, Rgb32(SolidFrame(640, 480, Black)));
    EXPECT_EQ(ShownBesideTheBox(), Rgb32(SolidFrame(640, 480, Black)));

    // The next click is not swallowed; an empty box closes drawing nothing,
    // and the click that closes it opens no other.
    Click({100, 200});
    ASSERT_TRUE(Box()->isVisible());
    Click({500, 400});
    EXPECT_FALSE(Box()->isVisible());
    EXPECT_EQ(Shown(), withText);

    Click({30, 40});
    QTest::keyClicks(Box(), "Hi");
    Widget()->ClearRemark();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_FALSE(Box()->isVisible());
    EXPECT_EQ(Shown(), withText);
}

TEST_F(TextBoxTest, AMenuAnotherWindowAToolChangeOrANewFrameKeepTheTypedText) {
    Click({30, 40});
    QTest::keyClicks(Box(), "ab");
    // The box's context menu, as a right click inside it opens it.
    QMenu menu;
    menu.addAction("Paste");
    menu.popup(Box()->mapToGlobal(QPoint(20, 20)));
    EXPECT_TRUE(Box()->isVisible());
    menu.close();
    EXPECT_TRUE(Box()->hasFocus());

    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QApplication::setActiveWindow(m_pView.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_pView.get()));
    EXPECT_TRUE(Box()->hasFocus());

    Widget()->Render()->SetRemarkType(1);
    m_pView->SetFrame(SolidFrame(640, 480, Black));
    QTest::keyClicks(Box(), "c");
    EXPECT_EQ(Box()->toPlainText(), "abc");
    Widget()->ComposePicture(); // what a photo would take: no text yet
    EXPECT_EQ(Rgb32(Widget()->Render()->CopyPicture()), Rgb32(SolidFrame(640, 480, Black)));
    Click({400, 300});
    EXPECT_FALSE(Box()->isVisible());
    EXPECT_NE(Shown(), Rgb32(SolidFrame(640, 480, Black)));

    // Closing the view while typing must not crash.
    Widget()->Render()->SetRemarkType(8);
    Click({30, 40});
    QTest::keyClicks(Box(), "typed");
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

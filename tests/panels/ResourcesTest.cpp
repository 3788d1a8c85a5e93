// The compiled resources: the style sheet and every button icon, each with a
// selected twin that looks different, and no panel button pointing at a
// picture that does not exist.

#include "panels/ControlPanel.h"
#include "panels/PanelLook.h"
#include "panels/ToolView.h"

#include <QAbstractButton>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QString IconPath(const QString& strFile) {
    return QString::fromLatin1(kIconFolder) + strFile;
}

// Share of pixels that differ clearly between two pictures of one size.
double DifferingShare(const QImage& a, const QImage& b) {
    const QImage first = a.convertToFormat(QImage::Format_ARGB32);
    const QImage second = b.convertToFormat(QImage::Format_ARGB32);
    int nDiffering = 0;
    for (int y = 0; y < first.height(); ++y) {
        for (int x = 0; x < first.width(); ++x) {
            const QRgb p = first.pixel(x, y);
            const QRgb q = second.pixel(x, y);
            const int nDelta = qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) +
                               qAbs(qBlue(p) - qBlue(q)) + qAbs(qAlpha(p) - qAlpha(q));
            if (nDelta > 96) {
                ++nDiffering;
            }
        }
    }
    return double(nDiffering) / (first.width() * first.height());
}

double OpaqueShare(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int nOpaque = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            nOpaque += qAlpha(argb.pixel(x, y)) > 128 ? 1 : 0;
        }
    }
    return double(nOpaque) / (argb.width() * argb.height());
}

TEST(ResourcesTest, StyleSheetIsCompiledIn) {
    QFile file(":/Tessaly/Resources/Tessaly.qss");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString strSheet = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(strSheet.contains("QPushButton:hover"));
    EXPECT_TRUE(strSheet.contains("background-color: rgb(67, 195, 234)"));
}

TEST(ResourcesTest, EveryIconHasALegibleSelectedTwin) {
    const char* squares[] = {"Auto",     "Lamp",      "ZoomOut",   "ZoomIn", "Brighten", "Darken",
                             "FocusFar", "FocusNear", "Rotate",    "Mirror", "Negative", "Title",
                             "Frozen",   "Mosaic",    "Emphasize", "Shade",  "Line",     "Doodle",
                             "Arrow",    "Triangle",  "Rect",      "Round",  "Text",     "Erase",
                             "Clear",    "Blue",      "Red",       "Yellow", "Black",    "More",
                             "Photo",    "Record",    "Setting",   "Info"};
    std::vector<std::pair<QString, QSize>> icons;
    for (const char* szName : squares) {
        icons.emplace_back(szName, QSize(64, 64));
    }
    for (int i = 1; i <= 4; ++i) {
        icons.emplace_back(QString("Line%1").arg(i), QSize(76, 39));
    }
    for (const auto& icon : icons) {
        const QImage normal(IconPath(icon.first + ".png"));
        const QImage selected(IconPath(icon.first + "Sel.png"));
        ASSERT_FALSE(normal.isNull()) << qPrintable(icon.first);
        ASSERT_FALSE(selected.isNull()) << qPrintable(icon.first) << "Sel";
        EXPECT_EQ(normal.size(), icon.second) << qPrintable(icon.first);
        EXPECT_EQ(selected.size(), icon.second) << qPrintable(icon.first);
        // Told apart at a glance: a good part of the picture changes.
        EXPECT_GT(DifferingShare(normal, selected), 0.3) << qPrintable(icon.first);
        // Not blank: the glyph covers a visible part of the normal icon.
        EXPECT_GT(OpaqueShare(normal), 0.01) << qPrintable(icon.first);
    }
}

TEST(ResourcesTest, EveryPanelButtonShowsAnExistingIcon) {
    ControlPanel controlPanel;
    ToolView toolView;
    int nButtons = 0;
    for (QWidget* pPanel :
         {static_cast<QWidget*>(&controlPanel), static_cast<QWidget*>(&toolView)}) {
        for (QAbstractButton* pButton : pPanel->findChildren<QAbstractButton*>()) {
            ++nButtons;
            const QString strFile = ButtonIconFile(pButton);
            EXPECT_FALSE(strFile.isEmpty()) << qPrintable(pButton->objectName());
            EXPECT_TRUE(QFile::exists(IconPath(strFile))) << qPrintable(strFile);
            EXPECT_FALSE(pButton->icon().isNull()) << qPrintable(pButton->objectName());
        }
    }
    EXPECT_EQ(nButtons, 16 + 9 + 9);
}

} // namespace

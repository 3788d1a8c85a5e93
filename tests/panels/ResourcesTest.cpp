// The compiled resources and the translation: every icon has a selected twin
// that looks clearly different, and every text the code passes through tr()
// has a finished English translation that the compiled file gives.

#include "panels/ControlPanel.h"
#include "panels/PanelLook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

TEST(ResourcesTest, EveryIconHasALegibleSelectedTwin) {
    EXPECT_TRUE(QFile::exists(":/Tessaly/Resources/Tessaly.qss"));
    const QDir folder(kIconFolder);
    const QStringList files = folder.entryList({"*.png"});
    ASSERT_FALSE(files.isEmpty());
    for (QString strFile : files) {
        if (strFile.endsWith("Sel.png")) {
            continue;
        }
        SCOPED_TRACE(qPrintable(strFile));
        const QImage normal =
            QImage(folder.filePath(strFile)).convertToFormat(QImage::Format_ARGB32);
        const QImage selected = QImage(folder.filePath(strFile.replace(".png", "Sel.png")))
                                    .convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(selected.size(), normal.size());
        int nDiffering = 0;
        int nOpaque = 0;
        for (int y = 0; y < normal.height(); ++y) {
            for (int x = 0; x < normal.width(); ++x) {
                const QRgb p = normal.pixel(x, y);
                const QRgb q = selected.pixel(x, y);
                const int nDelta = qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) +
                                   qAbs(qBlue(p) - qBlue(q)) + qAbs(qAlpha(p) - qAlpha(q));
                nDiffering += nDelta > 96;
                nOpaque += qAlpha(p) > 128;
            }
        }
        // Told apart at a glance, and not blank.
        EXPECT_GT(nDiffering, normal.width() * normal.height() * 3 / 10);
        EXPECT_GT(nOpaque, normal.width() * normal.height() / 100);
    }
}

// lupdate merges the texts of the code into a copy of the translation: a
// text without a translation comes out marked unfinished, and a translation
// whose text left the code is dropped; the rest must not be empty.
TEST(ResourcesTest, EveryTextInTheCodeHasAFinishedTranslation) {
    QTemporaryDir dir;
    const QString strTs = dir.filePath("Orvane_en.ts");
    ASSERT_TRUE(QFile::copy(ORVANE_TS_FILE, strTs));
    QProcess lupdate;
    lupdate.setWorkingDirectory(ORVANE_SOURCE_DIR);
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(ORVANE_LUPDATE,
                  {"-silent", "-no-obsolete", "-locations", "none", "-extensions", "h,cpp,ui",
                   "app", "view", "render", "camera", "recorder", "phone", "panels", "-ts", strTs});
    ASSERT_TRUE(lupdate.waitForFinished(60000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAll().constData();
    QFile merged(strTs);
    ASSERT_TRUE(merged.open(QIODevice::ReadOnly));
    const QString strMerged = QString::fromUtf8(merged.readAll());
    // The panels alone hold more than thirty texts: fewer means the scan failed.
    EXPECT_GT(strMerged.count("<message>"), 30);
    const QRegularExpression unfinished(
        "<source>([^<]*)</source>\\s*<translation( type=|/>|></translation>)");
    for (auto it = unfinished.globalMatch(strMerged); it.hasNext();) {
        ADD_FAILURE() << "no finished translation: " << it.next().captured(1).toStdString();
    }

    QTranslator compiled;
    ASSERT_TRUE(compiled.load(ORVANE_QM_FILE));
    ASSERT_TRUE(QCoreApplication::installTranslator(&compiled));
    ControlPanel panel;
    EXPECT_EQ(panel.findChild<QWidget*>("zoomInButton")->toolTip(), "Zoom in");
    QCoreApplication::removeTranslator(&compiled);
}

} // namespace

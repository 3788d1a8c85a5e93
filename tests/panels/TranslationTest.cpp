// The English translation: every text the code passes through tr() has a
// finished translation, and the compiled file the program loads works.

#include "panels/ControlPanel.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

struct Message {
    QString strContext;
    QString strSource;
    QString strTranslation;
    bool bFinished = true;
};

// Reads the messages of a Qt Linguist file.
std::vector<Message> ReadTs(const QString& strPath) {
    std::vector<Message> messages;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot open " << qPrintable(strPath);
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString strContext;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            strContext = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            message = Message();
            message.strContext = strContext;
        } else if (xml.name() == QLatin1String("source")) {
            message.strSource = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            // An unfinished, vanished or obsolete entry is not used by the
            // program, whatever text it holds.
            message.bFinished = xml.attributes().value("type").isEmpty();
            message.strTranslation = xml.readElementText();
            messages.push_back(message);
        }
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    return messages;
}

QString Key(const Message& message) {
    return message.strContext + " / " + message.strSource;
}

TEST(TranslationTest, EveryTextInTheCodeHasAFinishedTranslation) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strCodeTs = dir.filePath("code.ts");
    QProcess lupdate;
    lupdate.setWorkingDirectory(ORVANE_SOURCE_DIR);
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(ORVANE_LUPDATE,
                  {"-silent", "-locations", "none", "-extensions", "h,cpp,ui", "app", "view",
                   "render", "camera", "recorder", "phone", "panels", "-ts", strCodeTs});
    ASSERT_TRUE(lupdate.waitForFinished(60000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAll().constData();

    QMap<QString, Message> translated;
    for (const Message& message : ReadTs(ORVANE_TS_FILE)) {
        translated.insert(Key(message), message);
        EXPECT_TRUE(message.bFinished) << qPrintable(Key(message));
        EXPECT_FALSE(message.strTranslation.trimmed().isEmpty()) << qPrintable(Key(message));
    }

    const std::vector<Message> inCode = ReadTs(strCodeTs);
    // The panels alone hold more than thirty texts: an empty list means the
    // source scan itself went wrong.
    EXPECT_GT(inCode.size(), 30u);
    for (const Message& message : inCode) {
        const auto it = translated.constFind(Key(message));
        ASSERT_NE(it, translated.constEnd()) << "no translation: " << qPrintable(Key(message));
    }
}

TEST(TranslationTest, CompiledTranslationTurnsThePanelsEnglish) {
    QTranslator translator;
    ASSERT_TRUE(translator.load(ORVANE_QM_FILE));
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    {
        ControlPanel panel;
        auto* pButton = panel.findChild<QWidget*>("zoomInButton");
        ASSERT_NE(pButton, nullptr);
        EXPECT_EQ(pButton->toolTip(), "Zoom in");
    }
    EXPECT_EQ(QCoreApplication::translate("TessalyClass", "Orvane"), "Orvane");
    EXPECT_EQ(QCoreApplication::translate("VideoView", "提示"), "Notice");
    QCoreApplication::removeTranslator(&translator);
}

} // namespace

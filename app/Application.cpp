#include "app/Application.h"

#include "app/Configuration.h"
#include "app/Tessaly.h"
#include "app/UnixSignalWatcher.h"
#include "view/IDeviceMgr.h"
#include "view/VideoView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTranslator>

QString FindTranslation(const QLocale& locale) {
    if (locale.language() == QLocale::Chinese) {
        return QString();
    }
    for (const QString& strFolder : {QCoreApplication::applicationDirPath(), QDir::currentPath()}) {
        const QString strFile = QDir(strFolder).filePath("Orvane_en.qm");
        if (QFile::exists(strFile)) {
            return strFile;
        }
    }
    return QString();
}

int RunApplication(int argc, char* argv[], const DeviceManagerFactory& makeDeviceManager) {
    QApplication app(argc, argv);

    auto* pTranslator = new QTranslator(&app);
    const QString strTranslation = FindTranslation(QLocale::system());
    if (!strTranslation.isEmpty() && pTranslator->load(strTranslation)) {
        QApplication::installTranslator(pTranslator);
    }

    OpenConfiguration();

    QFile styleFile(":/Tessaly/Resources/Tessaly.qss");
    if (styleFile.open(QIODevice::ReadOnly)) {
        app.setStyleSheet(QString::fromUtf8(styleFile.readAll()));
        styleFile.close();
    }

    std::unique_ptr<IDeviceMgr> pDeviceManager = makeDeviceManager();
    DeviceManager = pDeviceManager.get();

    int nResult = 0;
    {
        Tessaly window;
        window.show();
        window.GetVideoView()->LoadSounds();
        window.GetVideoView()->RepairRecordings();
        UnixSignalWatcher watcher;
        QObject::connect(&watcher, &UnixSignalWatcher::SignalHappend, &window, [&window] {
            window.close();
            // Also ends the loop of a dialog that is open at the time.
            QCoreApplication::quit();
        });
        nResult = app.exec();
        // The window goes here: the camera is released and a running
        // recording finished before the device manager goes.
    }

    DeviceManager = nullptr;
    pDeviceManager.reset();
    CloseConfiguration();
    return nResult;
}

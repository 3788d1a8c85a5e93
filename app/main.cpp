#include "app/Configuration.h"
#include "camera/V4l2DeviceList.h"
#include "phone/AndroidUsbDevices.h"
#include "view/DeviceMgr.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    auto* pTranslator = new QTranslator(&app);
    if (pTranslator->load("Orvane_en.qm", QString(), QString(), QString())) {
        QApplication::installTranslator(pTranslator);
    }

    OpenConfiguration();

    QFile styleFile(":/Tessaly/Resources/Tessaly.qss");
    if (styleFile.open(QIODevice::ReadOnly)) {
        app.setStyleSheet(QString::fromUtf8(styleFile.readAll()));
        styleFile.close();
    }

    DeviceManager =
        new DeviceMgr(std::make_unique<V4l2DeviceList>(), std::make_unique<AndroidUsbDevices>());

    int nResult = 0;
    {
        QMainWindow window;
        window.setObjectName("TessalyClass");
        window.setWindowTitle(QApplication::translate("TessalyClass", "Orvane"));
        window.resize(1251, 772);
        window.show();
        nResult = app.exec();
    }

    delete DeviceManager;
    DeviceManager = nullptr;
    CloseConfiguration();
    return nResult;
}

#include "app/Configuration.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

QSettings* ConfigSettings = nullptr;

QString ConfigFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Orvane";
}

void OpenConfiguration() {
    const QString strFolder = ConfigFolder();
    QDir dir(strFolder);
    if (!dir.exists()) {
        // Failure is tolerated: QSettings then reads defaults and cannot save.
        QDir().mkpath(strFolder);
    }
    delete ConfigSettings;
    ConfigSettings = new QSettings(strFolder + "/config.ini", QSettings::IniFormat);
}

void CloseConfiguration() {
    delete ConfigSettings;
    ConfigSettings = nullptr;
}

int ReadConfigInt(const QString& strKey, int nDefault) {
    if (!ConfigSettings) {
        return nDefault;
    }
    return ConfigSettings->value(strKey, nDefault).toInt();
}

int ReadConfigIndex(const QString& strKey, int nDefault, int nCount) {
    const int nValue = ReadConfigInt(strKey, nDefault);
    return (nValue >= 0 && nValue < nCount) ? nValue : nDefault;
}

QString ReadConfigString(const QString& strKey, const QString& strDefault) {
    if (!ConfigSettings) {
        return strDefault;
    }
    return ConfigSettings->value(strKey, strDefault).toString();
}

QColor ReadConfigColor(const QString& strKey, QRgb crDefault) {
    QRgb crValue = crDefault;
    if (ConfigSettings) {
        crValue = ConfigSettings->value(strKey, static_cast<uint>(crDefault)).toUInt();
    }
    return QColor::fromRgb(crValue | 0xFF000000u);
}

void WriteConfigValue(const QString& strKey, const QVariant& value) {
    if (ConfigSettings) {
        ConfigSettings->setValue(strKey, value);
    }
}

void WriteConfigColor(const QString& strKey, const QColor& crColor) {
    WriteConfigValue(strKey, static_cast<uint>(crColor.rgba()));
}

QString StorageRoot() {
    const QString strPath = ReadConfigString("Setting/SavePath", QString());
    return strPath.isEmpty() ? ConfigFolder() : strPath;
}

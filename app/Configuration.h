#pragma once

#include <QColor>
#include <QString>

class QSettings;

// The process-wide settings object on <documents>/Orvane/config.ini.
// Set by OpenConfiguration(), destroyed by CloseConfiguration(); null outside
// that span, in which case the Read* helpers below give their defaults.
extern QSettings* ConfigSettings;

// Creates the configuration folder when missing and opens config.ini in it.
// A folder that cannot be created is not an error: settings then cannot be
// saved and every key reads as its default.
void OpenConfiguration();

// Destroys ConfigSettings, writing pending changes to the file.
void CloseConfiguration();

// <documents folder>/Orvane: the configuration folder and the default root
// for photos and recordings.
QString ConfigFolder();

// Typed reads and writes of one key, "Group/Key". A value of another type
// (text where a number is expected) reads as 0, not as the default.
int ReadConfigInt(const QString& strKey, int nDefault);
QString ReadConfigString(const QString& strKey, const QString& strDefault);
// Colours are stored as the unsigned decimal of a 32-bit ARGB value and read
// back with alpha forced opaque.
QColor ReadConfigColor(const QString& strKey, QRgb crDefault);
// An index into a table of nCount entries; a value outside 0 .. nCount - 1
// (a hand-edited file) reads as nDefault, so it never selects past the table.
int ReadConfigIndex(const QString& strKey, int nDefault, int nCount);
void WriteConfigValue(const QString& strKey, const QVariant& value);
void WriteConfigColor(const QString& strKey, const QColor& crColor);

// The storage root for photos and recordings: "Setting/SavePath", or
// ConfigFolder() when that is empty.
QString StorageRoot();

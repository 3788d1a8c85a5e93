#pragma once

#include <QString>

#include <functional>
#include <memory>

class IDeviceMgr;
class QLocale;

// Makes the device manager of the run, with whatever camera sources exist.
// Called once the application object exists.
using DeviceManagerFactory = std::function<std::unique_ptr<IDeviceMgr>()>;

// The program from start to end: the application object, the translation,
// the configuration, the style sheet, the device manager and the main window;
// then the event loop, until the window is closed or SIGTERM or SIGINT
// arrives (both close it like its close button, so that a recording is
// finished). Returns the event loop's exit code.
int RunApplication(int argc, char* argv[], const DeviceManagerFactory& makeDeviceManager);

// The English translation for a user of locale: empty for a Chinese locale
// (the texts are Chinese), else "Orvane_en.qm" next to the program or,
// failing that, in the working directory; empty when neither has it.
QString FindTranslation(const QLocale& locale);

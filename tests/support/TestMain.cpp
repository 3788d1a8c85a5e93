// The main of every test program: a private home folder, the offscreen
// platform and a QApplication, then GoogleTest.

#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
QString g_strHome;
}

QString TestHomeFolder() {
    return g_strHome;
}

QString TestDocumentsFolder() {
    return g_strHome + "/Documents";
}

bool WaitFor(const std::function<bool()>& bCondition, int nTimeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!bCondition()) {
        if (timer.elapsed() > nTimeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);

    // Everything a test writes lands below this folder, never in the real
    // user's home; it is removed when the program ends.
    QTemporaryDir home(QDir::tempPath() + "/orvane-test-XXXXXX");
    if (!home.isValid()) {
        return 2;
    }
    g_strHome = home.path();
    QDir(g_strHome).mkpath("Documents");
    QDir(g_strHome).mkpath("runtime");
    QFile::setPermissions(g_strHome + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray home8 = g_strHome.toLocal8Bit();
    setenv("HOME", home8.constData(), 1);
    setenv("XDG_CONFIG_HOME", (home8 + "/.config").constData(), 1);
    setenv("XDG_DATA_HOME", (home8 + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", (home8 + "/.cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (home8 + "/runtime").constData(), 1);
    setenv("XDG_DOCUMENTS_DIR", (home8 + "/Documents").constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

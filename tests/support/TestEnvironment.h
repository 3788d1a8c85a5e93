#pragma once

#include <QString>

#include <functional>

// The private home folder of this test process (HOME and the XDG folders all
// point into it), created by the test main before QApplication exists.
QString TestHomeFolder();

// The documents folder the program sees: <TestHomeFolder()>/Documents.
QString TestDocumentsFolder();

// Runs the event loop until bCondition() holds or nTimeoutMs have passed;
// whether it holds. (Qt's QTRY_ macros report to QTest, not to GoogleTest:
// a timeout there would end the test as passed.)
bool WaitFor(const std::function<bool()>& bCondition, int nTimeoutMs);

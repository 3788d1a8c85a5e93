#pragma once

#include <QString>

// The private home folder of this test process (HOME and the XDG folders all
// point into it), created by the test main before QApplication exists.
QString TestHomeFolder();

// The documents folder the program sees: <TestHomeFolder()>/Documents.
QString TestDocumentsFolder();

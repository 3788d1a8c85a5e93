#pragma once

#include <QColor>
#include <QString>

class QAbstractButton;
class QWidget;

// Icons live in the compiled resources under this folder. Every icon has an
// on-state twin whose name ends in "Sel" ("Line.png", "LineSel.png").
extern const char* const kIconFolder;

// Sets the icon ":/Tessaly/Resources/Icon/<strFile>" on the button and
// remembers the file name, so that tests and tools can tell which picture a
// button shows (QIcon itself forgets where it came from).
void SetButtonIcon(QAbstractButton* pButton, const QString& strFile);

// The file name last given to SetButtonIcon for this button, or empty.
QString ButtonIconFile(const QAbstractButton* pButton);

// The on or off look of a tool or colour button: "<strBaseName>Sel.png" with
// black text, or "<strBaseName>.png" with white text.
void SetButtonSelected(QAbstractButton* pButton, const QString& strBaseName, bool bSelected);

// The text colours of an off and an on button (their style sheets).
extern const char* const kNormalTextStyle;
extern const char* const kSelectedTextStyle;

// Background colours: the bottom bar's panels and the tool column's panels.
extern const QColor kBottomBarColor;
extern const QColor kToolColumnColor;

// Fills the whole widget with one colour; call from a paint event.
void FillPanel(QWidget* pWidget, const QColor& crColor);

// A recorded length as the record button counts it: "mm:ss", the minutes
// going on past 59.
QString MinutesSeconds(qint64 nSeconds);

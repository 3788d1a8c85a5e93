#pragma once

#include "panels/PanelLook.h"

#include <QAbstractButton>
#include <QFile>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

// Clicks the button named strName, or strName + "Button", on one of the panels.
inline void ClickButton(std::initializer_list<QWidget*> panels, const QString& strName) {
    QAbstractButton* pButton = nullptr;
    for (QWidget* pPanel : panels) {
        for (const QString& strTry : {strName, strName + "Button"}) {
            pButton = pButton ? pButton : pPanel->findChild<QAbstractButton*>(strTry);
        }
    }
    ASSERT_NE(pButton, nullptr) << qPrintable(strName);
    QTest::mouseClick(pButton, Qt::LeftButton);
}

// The buttons shown on, by icon name without "Sel.png", sorted and joined
// with spaces. Every button must show an existing icon, and a button with a
// text style black text exactly when it is on.
inline QString SelectedIcons(std::initializer_list<QWidget*> panels) {
    QStringList selected;
    for (QWidget* pPanel : panels) {
        for (QAbstractButton* pButton : pPanel->findChildren<QAbstractButton*>()) {
            const QString strIcon = ButtonIconFile(pButton);
            const bool bOn = strIcon.endsWith("Sel.png");
            EXPECT_TRUE(strIcon.endsWith(".png") && QFile::exists(kIconFolder + strIcon) &&
                        !pButton->icon().isNull())
                << qPrintable(pButton->objectName()) << " shows " << qPrintable(strIcon);
            if (!pButton->styleSheet().isEmpty()) {
                EXPECT_EQ(pButton->styleSheet(), bOn ? kSelectedTextStyle : kNormalTextStyle)
                    << qPrintable(strIcon);
            }
            if (bOn) {
                selected << strIcon.chopped(7);
            }
        }
    }
    selected.sort();
    return selected.join(' ');
}

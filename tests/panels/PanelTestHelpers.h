#pragma once

#include "panels/PanelLook.h"

#include <QAbstractButton>
#include <QColor>
#include <QObject>
#include <QWidget>

#include <utility>
#include <vector>

// The named button of a panel, or null.
inline QAbstractButton* ButtonOf(QWidget* pPanel, const char* szName) {
    return pPanel->findChild<QAbstractButton*>(QString::fromLatin1(szName));
}

inline QString IconOf(QWidget* pPanel, const char* szName) {
    QAbstractButton* pButton = ButtonOf(pPanel, szName);
    return pButton ? ButtonIconFile(pButton) : QString("<no button %1>").arg(szName);
}

// Records what OptionPanel::OptionSettingChanged announces. QSignalSpy cannot
// record a QColor& argument, so a slot copies it, as the view does.
struct PenRecorder {
    std::vector<std::pair<int, QRgb>> pens;
    std::vector<int> alphas;
    void Record(int nWidthIndex, QColor& crColor) {
        pens.emplace_back(nWidthIndex, crColor.rgba());
        alphas.push_back(crColor.alpha());
    }
};

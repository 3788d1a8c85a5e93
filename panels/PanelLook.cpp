#include "panels/PanelLook.h"

#include <QAbstractButton>
#include <QIcon>
#include <QPainter>
#include <QVariant>

const char* const kIconFolder = ":/Tessaly/Resources/Icon/";
const char* const kNormalTextStyle = "color: rgb(255, 255, 255);";
const char* const kSelectedTextStyle = "color: rgb(0, 0, 0);";
const QColor kBottomBarColor(98, 104, 116);
const QColor kToolColumnColor(112, 118, 130);

namespace {
const char* const kIconFileProperty = "iconFile";
}

void SetButtonIcon(QAbstractButton* pButton, const QString& strFile) {
    pButton->setIcon(QIcon(QString::fromLatin1(kIconFolder) + strFile));
    pButton->setProperty(kIconFileProperty, strFile);
}

QString ButtonIconFile(const QAbstractButton* pButton) {
    return pButton->property(kIconFileProperty).toString();
}

void SetButtonSelected(QAbstractButton* pButton, const QString& strBaseName, bool bSelected) {
    SetButtonIcon(pButton, strBaseName + (bSelected ? "Sel.png" : ".png"));
    pButton->setStyleSheet(bSelected ? kSelectedTextStyle : kNormalTextStyle);
}

void FillPanel(QWidget* pWidget, const QColor& crColor) {
    QPainter painter(pWidget);
    painter.fillRect(pWidget->rect(), crColor);
}

QString MinutesSeconds(qint64 nSeconds) {
    return QString("%1:%2")
        .arg(nSeconds / 60, 2, 10, QChar('0'))
        .arg(nSeconds % 60, 2, 10, QChar('0'));
}

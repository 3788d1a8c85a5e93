#include "panels/OptionPanel.h"

#include "app/Configuration.h"
#include "panels/PanelLook.h"
#include "render/RemarkType.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QFrame>
#include <QPushButton>
#include <QSettings>

namespace {
const int kWidthCount = 4;

// Colours are compared as stored: the raw value, alpha included. A stored 0
// (the default) is drawn as opaque black but is not the black entry's value,
// so it shows as "more".
QRgb ReadStoredColor(const QString& strKey, QRgb crDefault) {
    if (!ConfigSettings) {
        return crDefault;
    }
    return ConfigSettings->value(strKey, static_cast<uint>(crDefault)).toUInt();
}
} // namespace

QString OptionPanel::PenGroup(int nOperation) {
    switch (nOperation) {
    case RemarkLine:
        return "Line";
    case RemarkDoodle:
        return "Doodle";
    case RemarkArrow:
        return "Arrow";
    case RemarkTriangle:
        return "Triangle";
    case RemarkRectangle:
        return "Rectangle";
    case RemarkDiamond:
        return "Diamond";
    case RemarkEllipse:
        return "Round";
    case RemarkText:
        return "Text";
    default:
        return QString();
    }
}

OptionPanel::OptionPanel(QWidget* parent) : QWidget(parent) {
    SetupForm();
    connect(m_pWidthGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
            &OptionPanel::OnSizeButtonClicked);
    connect(m_pColorGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
            &OptionPanel::OnColorButtonClicked);
    connect(m_colors.back().pButton, &QPushButton::clicked, this,
            &OptionPanel::OnMoreColorButtonClicked);
    LoadStartupPen();
}

OptionPanel::~OptionPanel() = default;

void OptionPanel::SetupForm() {
    if (objectName().isEmpty()) {
        setObjectName("OptionPanel");
    }
    setFixedSize(184, 174);

    m_pWidthGroup = new QButtonGroup(this);
    m_pColorGroup = new QButtonGroup(this);
    for (int i = 0; i < kWidthCount; ++i) {
        QPushButton* pButton = new QPushButton(this);
        pButton->setObjectName(QString("sizeWidth%1").arg(i + 1));
        pButton->setGeometry(4, 2 + 41 * i, 76, 39);
        pButton->setFlat(true);
        pButton->setIconSize(QSize(76, 39));
        SetButtonIcon(pButton, QString("Line%1.png").arg(i + 1));
        m_pWidthGroup->addButton(pButton);
        m_widthButtons.push_back(pButton);
    }

    QFrame* pLine = new QFrame(this);
    pLine->setObjectName("line");
    pLine->setGeometry(84, 12, 2, 150);
    pLine->setFrameShape(QFrame::VLine);
    pLine->setFrameShadow(QFrame::Sunken);

    struct Entry {
        const char* szName;
        const char* szIconBase;
        QRgb crValue;
    };
    const Entry entries[] = {
        {"blueButton", "Blue", qRgb(0, 0, 255)},
        {"redButton", "Red", qRgb(255, 0, 0)},
        {"yellowButton", "Yellow", qRgb(255, 255, 0)},
        {"blackButton", "Black", qRgb(0, 0, 0)},
        {"moreButton", "More", 0},
    };
    int y = 4;
    for (const Entry& entry : entries) {
        QPushButton* pButton = new QPushButton(this);
        pButton->setObjectName(QString::fromLatin1(entry.szName));
        pButton->setGeometry(88, y, 86, 30);
        pButton->setFlat(true);
        pButton->setIconSize(QSize(24, 24));
        SetButtonSelected(pButton, QString::fromLatin1(entry.szIconBase), false);
        m_colors.push_back({pButton, QString::fromLatin1(entry.szIconBase), entry.crValue});
        y += 34;
    }
    // "more" is not in the group: it opens the dialog instead.
    for (int i = 0; i < 4; ++i) {
        m_pColorGroup->addButton(m_colors[i].pButton);
    }
    Retranslate();
}

void OptionPanel::Retranslate() {
    setWindowTitle(tr("Form"));
    m_colors[0].pButton->setText(tr("蓝色"));
    m_colors[1].pButton->setText(tr("红色"));
    m_colors[2].pButton->setText(tr("黄色"));
    m_colors[3].pButton->setText(tr("黑色"));
    m_colors[4].pButton->setText(tr("更多"));
}

// The pen of the text tool is shown at start, before any tool is chosen,
// and shown as selected: otherwise a first tool whose stored pen equals it
// would find nothing to change and leave every button unselected.
void OptionPanel::LoadStartupPen() {
    m_nWidthIndex = ReadConfigIndex("Text/Weight", 0, kWidthCount);
    m_crColor = ReadStoredColor("Text/Color", m_colors[0].crValue);
    SetButtonIcon(m_widthButtons[m_nWidthIndex], QString("Line%1Sel.png").arg(m_nWidthIndex + 1));
    const ColorEntry& entry = EntryFor(m_crColor);
    SetButtonSelected(entry.pButton, entry.strIconBase, true);
}

const OptionPanel::ColorEntry& OptionPanel::EntryFor(QRgb crValue) const {
    for (int i = 0; i < 4; ++i) {
        if (m_colors[i].crValue == crValue) {
            return m_colors[i];
        }
    }
    return m_colors.back();
}

void OptionPanel::ChangeWidth(int nWidthIndex) {
    if (nWidthIndex == m_nWidthIndex) {
        return;
    }
    if (m_nWidthIndex >= 0 && m_nWidthIndex < kWidthCount) {
        SetButtonIcon(m_widthButtons[m_nWidthIndex], QString("Line%1.png").arg(m_nWidthIndex + 1));
    }
    m_nWidthIndex = nWidthIndex;
    if (nWidthIndex >= 0 && nWidthIndex < kWidthCount) {
        SetButtonIcon(m_widthButtons[nWidthIndex], QString("Line%1Sel.png").arg(nWidthIndex + 1));
    }
}

void OptionPanel::ChangeColor(QRgb crValue) {
    if (crValue == m_crColor) {
        return;
    }
    const ColorEntry& oldEntry = EntryFor(m_crColor);
    SetButtonSelected(oldEntry.pButton, oldEntry.strIconBase, false);
    m_crColor = crValue;
    const ColorEntry& newEntry = EntryFor(crValue);
    SetButtonSelected(newEntry.pButton, newEntry.strIconBase, true);
}

void OptionPanel::Announce() {
    // QColor(QRgb) ignores the alpha byte: the pen is always opaque.
    QColor crColor(m_crColor);
    emit OptionSettingChanged(m_nWidthIndex, crColor);
}

void OptionPanel::OnPenTypeChanged(int nOperation) {
    const QString strGroup = PenGroup(nOperation);
    if (strGroup.isEmpty()) {
        return;
    }
    const QString strWidthKey = strGroup + (nOperation == 8 ? "/Weight" : "/Width");
    ChangeWidth(ReadConfigIndex(strWidthKey, 1, kWidthCount));
    ChangeColor(ReadStoredColor(strGroup + "/Color", 0));
    Announce();
}

void OptionPanel::OnSizeButtonClicked(QAbstractButton* button) {
    for (int i = 0; i < kWidthCount; ++i) {
        if (m_widthButtons[i]->objectName() == button->objectName()) {
            ChangeWidth(i);
            Announce();
            return;
        }
    }
}

void OptionPanel::OnColorButtonClicked(QAbstractButton* button) {
    for (int i = 0; i < 4; ++i) {
        if (m_colors[i].pButton->objectName() == button->objectName()) {
            ChangeColor(m_colors[i].crValue);
            Announce();
            return;
        }
    }
}

void OptionPanel::OnMoreColorButtonClicked() {
    QColorDialog dialog;
    dialog.setStyleSheet("QPushButton{text-align: center;}");
    // A cancelled dialog reports an invalid colour, which would read as
    // black: the pen stays as it was and nothing is announced.
    if (dialog.exec() != QDialog::Accepted || !dialog.selectedColor().isValid()) {
        return;
    }
    ChangeColor(dialog.selectedColor().rgb());
    Announce();
}

void OptionPanel::paintEvent(QPaintEvent*) {
    FillPanel(this, kToolColumnColor);
}

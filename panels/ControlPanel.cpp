#include "panels/ControlPanel.h"

#include "app/SharedState.h"
#include "panels/ControlType.h"
#include "panels/GlPushButton.h"
#include "panels/PanelLook.h"
#include "render/RemarkType.h"

#include <QDebug>
#include <QPushButton>

namespace {
const int kButtonSide = 64;
const int kSmallIconSide = 60;
const int kRowTop = 2;
const int kButtonGap = 2;
} // namespace

ControlPanel::ControlPanel(QWidget* parent) : QWidget(parent) {
    SetupForm();
    setFocusPolicy(Qt::StrongFocus);
    m_displayOrder = {
        m_pAutoButton,     m_pZoomInButton,    m_pZoomOutButton,   m_pLedButton,
        m_pBrightenButton, m_pDarkenButton,    m_pFocusNearButton, m_pFocusFarButton,
        m_pRotateButton,   m_pMirrorButton,    m_pFrozenButton,    m_pNegativeButton,
        m_pShadeButton,    m_pEmphasizeButton, m_pMosaicButton,    m_pBlackWhiteButton};
    ConnectButtons();
    setAttribute(Qt::WA_AcceptTouchEvents);
    m_pZoomInButton->installEventFilter(this);
    m_pZoomOutButton->installEventFilter(this);
}

ControlPanel::~ControlPanel() = default;

QPushButton* ControlPanel::AddButton(QPushButton* pButton, const char* szName,
                                     const QString& strIcon, int nIconSide) {
    pButton->setObjectName(QString::fromLatin1(szName));
    pButton->setGeometry(0, 0, kButtonSide, kButtonSide);
    pButton->setMaximumSize(kButtonSide, kButtonSide);
    pButton->setFlat(true);
    pButton->setIconSize(QSize(nIconSide, nIconSide));
    SetButtonIcon(pButton, strIcon);
    return pButton;
}

void ControlPanel::SetupForm() {
    if (objectName().isEmpty()) {
        setObjectName("ControlPanel");
    }
    resize(1058, 72);
    setMinimumSize(1058, 72);
    setMaximumSize(QWIDGETSIZE_MAX, 72);

    m_pAutoButton = AddButton(new QPushButton(this), "autoButton", "Auto.png", kSmallIconSide);
    m_pLedButton = AddButton(new QPushButton(this), "ledButton", "Lamp.png", kButtonSide);
    m_pZoomOutButton =
        AddButton(new GlPushButton(this), "zoomOutButton", "ZoomOut.png", kButtonSide);
    m_pZoomInButton = AddButton(new GlPushButton(this), "zoomInButton", "ZoomIn.png", kButtonSide);
    m_pBrightenButton =
        AddButton(new QPushButton(this), "brightenButton", "Brighten.png", kButtonSide);
    m_pDarkenButton = AddButton(new QPushButton(this), "darkenButton", "Darken.png", kButtonSide);
    m_pFocusFarButton =
        AddButton(new QPushButton(this), "focusFarButton", "FocusFar.png", kSmallIconSide);
    m_pFocusNearButton =
        AddButton(new QPushButton(this), "focusNearButton", "FocusNear.png", kButtonSide);
    m_pRotateButton = AddButton(new QPushButton(this), "rotateButton", "Rotate.png", kButtonSide);
    m_pMirrorButton = AddButton(new QPushButton(this), "mirrorButton", "Mirror.png", kButtonSide);
    m_pNegativeButton =
        AddButton(new QPushButton(this), "negativeButton", "Negative.png", kButtonSide);
    m_pBlackWhiteButton =
        AddButton(new QPushButton(this), "blackWhiteButton", "Title.png", kButtonSide);
    m_pFrozenButton = AddButton(new QPushButton(this), "frozenButton", "Frozen.png", kButtonSide);
    m_pMosaicButton = AddButton(new QPushButton(this), "mosaicButton", "Mosaic.png", kButtonSide);
    m_pEmphasizeButton =
        AddButton(new QPushButton(this), "emphasizeButton", "Emphasize.png", kButtonSide);
    m_pShadeButton = AddButton(new QPushButton(this), "shadeButton", "Shade.png", kButtonSide);

    // Zoom runs from press to release; focus steps repeat while held, each
    // repeat arriving as a pressed/released pair.
    m_pAutoButton->setAutoRepeat(false);
    m_pZoomOutButton->setAutoRepeat(false);
    m_pZoomInButton->setAutoRepeat(false);
    m_pFocusFarButton->setAutoRepeat(true);
    m_pFocusNearButton->setAutoRepeat(true);

    Retranslate();
}

void ControlPanel::Retranslate() {
    m_pAutoButton->setToolTip(tr("自动"));
    m_pLedButton->setToolTip(tr("LED"));
    m_pZoomOutButton->setToolTip(tr("缩小"));
    m_pZoomInButton->setToolTip(tr("放大"));
    m_pBrightenButton->setToolTip(tr("变亮"));
    m_pDarkenButton->setToolTip(tr("变暗"));
    m_pFocusFarButton->setToolTip(tr("聚焦减"));
    m_pFocusNearButton->setToolTip(tr("聚焦加"));
    m_pRotateButton->setToolTip(tr("旋转"));
    m_pMirrorButton->setToolTip(tr("镜像"));
    m_pNegativeButton->setToolTip(tr("同屏对比"));
    m_pBlackWhiteButton->setToolTip(tr("标题"));
    m_pFrozenButton->setToolTip(tr("冻结"));
    m_pMosaicButton->setToolTip(tr("马赛克"));
    m_pEmphasizeButton->setToolTip(tr("强调"));
    m_pShadeButton->setToolTip(tr("遮罩"));
}

void ControlPanel::ConnectButtons() {
    connect(m_pAutoButton, &QPushButton::clicked, this, &ControlPanel::OnClickAutoButton);
    connect(m_pLedButton, &QPushButton::clicked, this, &ControlPanel::OnClickLedButton);
    connect(m_pZoomInButton, &QPushButton::pressed, this, &ControlPanel::OnPressZoomInButton);
    connect(m_pZoomInButton, &QPushButton::released, this, &ControlPanel::OnReleaseZoomInButton);
    connect(m_pZoomOutButton, &QPushButton::pressed, this, &ControlPanel::OnPressZoomOutButton);
    connect(m_pZoomOutButton, &QPushButton::released, this, &ControlPanel::OnReleaseZoomOutButton);
    connect(m_pBrightenButton, &QPushButton::clicked, this, &ControlPanel::OnClickBrightenButton);
    connect(m_pDarkenButton, &QPushButton::clicked, this, &ControlPanel::OnClickDarkenButton);
    connect(m_pFocusFarButton, &QPushButton::pressed, this, &ControlPanel::OnPressFocusFarButton);
    connect(m_pFocusFarButton, &QPushButton::released, this, &ControlPanel::OnReleaseButton);
    connect(m_pFocusNearButton, &QPushButton::pressed, this, &ControlPanel::OnPressFocusNearButton);
    connect(m_pFocusNearButton, &QPushButton::released, this, &ControlPanel::OnReleaseButton);
    connect(m_pRotateButton, &QPushButton::clicked, this, &ControlPanel::OnClickRotateButton);
    connect(m_pMirrorButton, &QPushButton::clicked, this, &ControlPanel::OnClickMirrorButton);
    connect(m_pNegativeButton, &QPushButton::clicked, this, &ControlPanel::OnClickNegativeButton);
    connect(m_pBlackWhiteButton, &QPushButton::clicked, this,
            &ControlPanel::OnClickBlackWhiteButton);
    connect(m_pShadeButton, &QPushButton::clicked, this, &ControlPanel::OnClickShadeButton);
    connect(m_pEmphasizeButton, &QPushButton::clicked, this, &ControlPanel::OnClickEmphasizeButton);
    connect(m_pFrozenButton, &QPushButton::clicked, this, &ControlPanel::OnClickFrozenButton);
    connect(m_pMosaicButton, &QPushButton::clicked, this, &ControlPanel::OnClickMosaicButton);
}

int ControlPanel::ButtonRowWidth() const {
    const int nCount = static_cast<int>(m_displayOrder.size());
    return nCount * (m_displayOrder.front()->maximumWidth() + kButtonGap) - kButtonGap;
}

bool ControlPanel::eventFilter(QObject* watched, QEvent* event) {
    return QWidget::eventFilter(watched, event);
}

void ControlPanel::paintEvent(QPaintEvent*) {
    FillPanel(this, kBottomBarColor);
}

void ControlPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int nCount = static_cast<int>(m_displayOrder.size());
    const int nStep = m_displayOrder.front()->maximumWidth() + kButtonGap;
    int x = (width() - nCount * nStep + kButtonGap) / 2;
    for (QPushButton* pButton : m_displayOrder) {
        pButton->move(x, kRowTop);
        x += nStep;
    }
}

void ControlPanel::ShowState(QPushButton* pButton, bool& bState, const QString& strBaseName,
                             bool bOn) {
    bState = bOn;
    SetButtonIcon(pButton, strBaseName + (bOn ? "Sel.png" : ".png"));
}

void ControlPanel::OnOptionChanged(int nOperation) {
    if (m_bEmphasize && nOperation != RemarkEmphasize) {
        ShowState(m_pEmphasizeButton, m_bEmphasize, "Emphasize", false);
    }
    if (m_bShade && nOperation != RemarkShade) {
        ShowState(m_pShadeButton, m_bShade, "Shade", false);
    }
}

void ControlPanel::OnClickAutoButton() {
    emit OneControlHappend(CONTROL_AUTO);
}

void ControlPanel::OnClickLedButton() {
    const bool bWasOn = m_bLampOn;
    emit OneControlHappend(bWasOn ? CONTROL_LED_OFF : CONTROL_LED_ON);
    ShowState(m_pLedButton, m_bLampOn, "Lamp", !bWasOn);
}

void ControlPanel::OnClickZoomInButton() {
    emit OneControlHappend(CONTROL_ZOOM_IN);
}

void ControlPanel::OnClickZoomOutButton() {
    emit OneControlHappend(CONTROL_ZOOM_OUT);
}

void ControlPanel::OnPressZoomInButton() {
    qDebug() << "OnPressZoomInButton";
    emit OneControlHappend(CONTROL_ZOOM_IN);
}

void ControlPanel::OnPressZoomOutButton() {
    qDebug() << "OnPressZoomOutButton";
    emit OneControlHappend(CONTROL_ZOOM_OUT);
}

void ControlPanel::OnClickBrightenButton() {
    emit OneControlHappend(CONTROL_BRIGHTEN);
}

void ControlPanel::OnClickDarkenButton() {
    emit OneControlHappend(CONTROL_DARKEN);
}

void ControlPanel::OnPressFocusFarButton() {
    emit OneControlHappend(CONTROL_FOCUS_FAR);
}

void ControlPanel::OnPressFocusNearButton() {
    emit OneControlHappend(CONTROL_FOCUS_NEAR);
}

void ControlPanel::OnClickRotateButton() {
    // The view updates the angle while it handles the code, so it is read
    // only after the emit has returned.
    emit OneControlHappend(CONTROL_ROTATE);
    SetButtonIcon(m_pRotateButton, CurrentRotateAngle == 0 ? "Rotate.png" : "RotateSel.png");
}

void ControlPanel::OnClickMirrorButton() {
    emit OneControlHappend(CONTROL_MIRROR);
    ShowState(m_pMirrorButton, m_bMirror, "Mirror", !m_bMirror);
}

void ControlPanel::OnClickNegativeButton() {
    emit OneControlHappend(CONTROL_COMPARE);
    if (m_bCompare) {
        ShowState(m_pNegativeButton, m_bCompare, "Negative", false);
        return;
    }
    if (m_bTitle) {
        ShowState(m_pBlackWhiteButton, m_bTitle, "Title", false);
    }
    ShowState(m_pNegativeButton, m_bCompare, "Negative", true);
}

void ControlPanel::OnClickBlackWhiteButton() {
    emit OneControlHappend(CONTROL_TITLE);
    if (m_bTitle) {
        ShowState(m_pBlackWhiteButton, m_bTitle, "Title", false);
        return;
    }
    if (m_bCompare) {
        ShowState(m_pNegativeButton, m_bCompare, "Negative", false);
    }
    ShowState(m_pBlackWhiteButton, m_bTitle, "Title", true);
}

// The state is decided before the code goes out: receivers answer it with
// a remark operation that comes back through OnOptionChanged, which may
// reset the state while the emit runs.
void ControlPanel::OnClickShadeButton() {
    if (m_bShade) {
        emit OneControlHappend(CONTROL_EFFECT_OFF);
        ShowState(m_pShadeButton, m_bShade, "Shade", false);
        return;
    }
    // Shade replaces an active emphasize; the receivers learn that from the
    // shade code itself, so the emphasize goes off without a code.
    if (m_bEmphasize) {
        ShowState(m_pEmphasizeButton, m_bEmphasize, "Emphasize", false);
    }
    emit OneControlHappend(CONTROL_SHADE_ON);
    ShowState(m_pShadeButton, m_bShade, "Shade", true);
}

void ControlPanel::OnClickEmphasizeButton() {
    if (m_bEmphasize) {
        emit OneControlHappend(CONTROL_EFFECT_OFF);
        ShowState(m_pEmphasizeButton, m_bEmphasize, "Emphasize", false);
        return;
    }
    if (m_bShade) {
        ShowState(m_pShadeButton, m_bShade, "Shade", false);
    }
    emit OneControlHappend(CONTROL_EMPHASIZE_ON);
    ShowState(m_pEmphasizeButton, m_bEmphasize, "Emphasize", true);
}

void ControlPanel::OnClickFrozenButton() {
    emit OneControlHappend(CONTROL_FROZEN);
    ShowState(m_pFrozenButton, m_bFrozen, "Frozen", !m_bFrozen);
}

void ControlPanel::OnClickMosaicButton() {
    emit OneControlHappend(CONTROL_MOSAIC);
    ShowState(m_pMosaicButton, m_bMosaic, "Mosaic", !m_bMosaic);
}

void ControlPanel::OnReleaseZoomInButton() {
    emit OneControlHappend(CONTROL_STOP);
}

void ControlPanel::OnReleaseZoomOutButton() {
    emit OneControlHappend(CONTROL_STOP);
}

void ControlPanel::OnReleaseButton() {
    emit OneControlHappend(CONTROL_STOP);
}

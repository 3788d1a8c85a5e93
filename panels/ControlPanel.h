#pragma once

#include <QWidget>

#include <vector>

class QPushButton;

// The strip of camera and picture-effect buttons. Every press becomes one
// control code (ControlType.h) announced through OneControlHappend; the panel
// itself only keeps the on/off state it needs to show the on-state icon of
// toggling buttons, and keeps compare/title and emphasize/shade exclusive.
class ControlPanel : public QWidget {
    Q_OBJECT

public:
    explicit ControlPanel(QWidget* parent = nullptr);
    ~ControlPanel() override;

    // Width of the row of buttons: the main window's minimum width uses it.
    int ButtonRowWidth() const;

signals:
    void OneControlHappend(int nType);

public slots:
    // The annotation operation changed: an emphasize or shade that is no
    // longer the current operation shows as off again.
    void OnOptionChanged(int nOperation);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void OnClickAutoButton();
    void OnClickLedButton();
    void OnClickZoomInButton();
    void OnClickZoomOutButton();
    void OnPressZoomInButton();
    void OnPressZoomOutButton();
    void OnClickBrightenButton();
    void OnClickDarkenButton();
    void OnPressFocusFarButton();
    void OnPressFocusNearButton();
    void OnClickRotateButton();
    void OnClickMirrorButton();
    void OnClickNegativeButton();
    void OnClickBlackWhiteButton();
    void OnClickShadeButton();
    void OnClickEmphasizeButton();
    void OnClickFrozenButton();
    void OnClickMosaicButton();
    void OnReleaseZoomInButton();
    void OnReleaseZoomOutButton();
    void OnReleaseButton();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SetupForm();
    void Retranslate();
    void ConnectButtons();
    QPushButton* AddButton(QPushButton* pButton, const char* szName, const QString& strIcon,
                           int nIconSide);
    // Sets a toggle's state and shows its matching icon.
    void ShowState(QPushButton* pButton, bool& bState, const QString& strBaseName, bool bOn);

    QPushButton* m_pAutoButton = nullptr;
    QPushButton* m_pLedButton = nullptr;
    QPushButton* m_pZoomOutButton = nullptr;
    QPushButton* m_pZoomInButton = nullptr;
    QPushButton* m_pBrightenButton = nullptr;
    QPushButton* m_pDarkenButton = nullptr;
    QPushButton* m_pFocusFarButton = nullptr;
    QPushButton* m_pFocusNearButton = nullptr;
    QPushButton* m_pRotateButton = nullptr;
    QPushButton* m_pMirrorButton = nullptr;
    QPushButton* m_pNegativeButton = nullptr;
    QPushButton* m_pBlackWhiteButton = nullptr;
    QPushButton* m_pFrozenButton = nullptr;
    QPushButton* m_pMosaicButton = nullptr;
    QPushButton* m_pEmphasizeButton = nullptr;
    QPushButton* m_pShadeButton = nullptr;

    // Left to right as the user sees them; not owning.
    std::vector<QPushButton*> m_displayOrder;

    bool m_bLampOn = false;
    bool m_bFrozen = false;
    bool m_bMirror = false;
    bool m_bMosaic = false;
    bool m_bEmphasize = false;
    bool m_bShade = false;
    bool m_bCompare = false;
    bool m_bTitle = false;
};

#include "panels/SettingPanel.h"

#include "app/Configuration.h"
#include "app/SharedState.h"
#include "panels/PanelLook.h"

#include <QDesktopServices>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {
// Often enough that the seconds never visibly lag.
const int kClockInterval = 250;
} // namespace

SettingPanel::SettingPanel(QWidget* pParent) : QWidget(pParent) {
    if (objectName().isEmpty()) {
        setObjectName("SettingPanel");
    }
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(200, 72);

    m_pPhotoButton = AddButton("photoButton", 4, 4, "Photo.png");
    m_pRecordButton = AddButton("recordButton", 104, 4, "Record.png");
    m_pSetButton = AddButton("setButton", 4, 38, "Setting.png");
    m_pInfoButton = AddButton("infoButton", 104, 38, "Info.png");
    m_pPhotoButton->setText(tr("拍照"));
    m_pRecordButton->setText(tr("摄像"));
    m_pSetButton->setText(tr("设置"));
    m_pInfoButton->setText(tr("历史"));

    m_pClock = new QTimer(this);
    m_pClock->setInterval(kClockInterval);
    connect(m_pClock, &QTimer::timeout, this, &SettingPanel::ShowRecordState);

    connect(m_pPhotoButton, &QPushButton::clicked, this, &SettingPanel::OnClickPhotoButton);
    connect(m_pRecordButton, &QPushButton::clicked, this, &SettingPanel::OnClickRecordButton);
    connect(m_pInfoButton, &QPushButton::clicked, this, &SettingPanel::OnClickInfoButton);
    connect(m_pSetButton, &QPushButton::clicked, this, &SettingPanel::OnClickSetButton);
}

SettingPanel::~SettingPanel() = default;

QPushButton* SettingPanel::AddButton(const char* szName, int nX, int nY, const QString& strIcon) {
    auto* pButton = new QPushButton(this);
    pButton->setObjectName(QString::fromLatin1(szName));
    pButton->setGeometry(nX, nY, 90, 30);
    pButton->setFlat(true);
    pButton->setAutoFillBackground(false);
    pButton->setStyleSheet(kNormalTextStyle);
    pButton->setIconSize(QSize(24, 24));
    SetButtonIcon(pButton, strIcon);
    return pButton;
}

void SettingPanel::OnClickPhotoButton() {
    emit OneControlHappend(0);
}

void SettingPanel::OnClickRecordButton() {
    // The view starts or stops the recording before the emit returns.
    emit OneControlHappend(1);
    if (IsRecording) {
        m_elapsed.start();
        m_pClock->start();
    }
    ShowRecordState();
}

void SettingPanel::ShowRecordState() {
    if (!IsRecording) {
        m_pClock->stop();
        SetButtonIcon(m_pRecordButton, "Record.png");
        m_pRecordButton->setText(tr("摄像"));
        return;
    }
    const qint64 nSeconds = m_elapsed.isValid() ? m_elapsed.elapsed() / 1000 : 0;
    SetButtonIcon(m_pRecordButton, "RecordSel.png");
    m_pRecordButton->setText(MinutesSeconds(nSeconds));
}

void SettingPanel::OnClickInfoButton() {
    const QString strFolder = StorageRoot();
    if (!QDir(strFolder).exists()) {
        // Only the last level, as for photos and recordings; the file browser
        // shows whatever the system makes of a folder that is still missing.
        QDir().mkdir(strFolder);
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(strFolder));
}

void SettingPanel::OnClickSetButton() {
    emit OneControlHappend(2);
}

void SettingPanel::paintEvent(QPaintEvent*) {
    FillPanel(this, kBottomBarColor);
}

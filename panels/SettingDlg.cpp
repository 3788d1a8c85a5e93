#include "panels/SettingDlg.h"

#include "app/Configuration.h"
#include "view/IDeviceMgr.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

NetworkCameraSettings NetworkCameraConfig;

namespace {

template <typename T>
T* Place(QWidget* pParent, const char* szName, int nX, int nY, int nWidth, int nHeight) {
    T* pWidget = new T(pParent);
    pWidget->setObjectName(QString::fromLatin1(szName));
    pWidget->setGeometry(nX, nY, nWidth, nHeight);
    return pWidget;
}

QLabel* PlaceLabel(QWidget* pParent, const char* szName, const QRect& rc, const QString& strText) {
    QLabel* pLabel = Place<QLabel>(pParent, szName, rc.x(), rc.y(), rc.width(), rc.height());
    pLabel->setText(strText);
    return pLabel;
}

} // namespace

SettingDlg::SettingDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    SetupForm();

    QString strPath = ReadConfigString("Setting/SavePath", QString());
    const int nFps = ReadConfigIndex("Setting/FPS", 2, 3);
    const int nSave = ReadConfigIndex("Setting/SaveResolution", 1, 4);
    m_nRecordResolution = ReadConfigInt("Setting/RecordResolution", 1);
    m_strDeviceName = ReadConfigString("Setting/Device", "0");

    connect(findChild<QPushButton*>("chooseButton"), &QPushButton::clicked, this,
            &SettingDlg::OnClickChooseButton);
    connect(m_pNetworkCamera, &QCheckBox::stateChanged, this, &SettingDlg::OnNetworkCameraChanged);
    connect(findChild<QPushButton*>("okButton"), &QPushButton::clicked, this,
            &SettingDlg::OnClickOkButton);

    if (strPath.isEmpty()) {
        strPath = ConfigFolder() + "/";
    }
    m_pPathEdit->setText(strPath);

    m_pFpsCB->addItems({tr("10"), tr("20"), tr("30")});
    m_pFpsCB->setCurrentIndex(nFps);
    m_pSaveCB->addItems({tr("1080P"), tr("2M"), tr("5M"), tr("8M")});
    m_pSaveCB->setCurrentIndex(nSave);
    m_pRecordCB->addItems({tr("720P"), tr("1080P")});
    m_pRecordCB->setCurrentIndex(
        m_nRecordResolution == 0 || m_nRecordResolution == 1 ? m_nRecordResolution : -1);

    const int nCount = DeviceManager ? (DeviceManager->Enumerate(), DeviceManager->GetCount()) : 0;
    if (nCount > 0) {
        for (int i = 0; i < nCount; ++i) {
            const char* szName = DeviceManager->GetName(static_cast<unsigned int>(i));
            m_pDeviceCB->addItem(QString::fromUtf8(szName ? szName : ""));
        }
        const int nFound = DeviceManager->FindName(m_strDeviceName.toUtf8().constData());
        m_nDeviceIndex = (nFound >= 0 && nFound < nCount) ? nFound : 0;
        m_pDeviceCB->setCurrentIndex(m_nDeviceIndex);
    } else {
        m_pDeviceCB->setEnabled(false);
    }

    if (NetworkCameraConfig.bEnabled) {
        m_pNetworkCamera->setChecked(true);
    }
    m_pAddrEdit->setText(QString::fromStdString(NetworkCameraConfig.strAddress));
    m_pControlPortEdit->setText(QString::number(NetworkCameraConfig.nControlPort));
    m_pVideoPortEdit->setText(QString::number(NetworkCameraConfig.nVideoPort));
}

SettingDlg::~SettingDlg() = default;

void SettingDlg::SetupForm() {
    if (objectName().isEmpty()) {
        setObjectName("SettingDlg");
    }
    resize(513, 195);
    setWindowTitle(tr("设置"));

    PlaceLabel(this, "label1", {6, 10, 111, 16}, tr("保存文件路径："));
    m_pPathEdit = Place<QLineEdit>(this, "pathEdit", 121, 10, 321, 21);
    m_pPathEdit->setReadOnly(true);
    Place<QPushButton>(this, "chooseButton", 446, 6, 64, 28)->setText(tr("选择"));
    PlaceLabel(this, "label2", {6, 54, 111, 15}, tr("摄像头："));
    m_pDeviceCB = Place<QComboBox>(this, "deviceCB", 121, 50, 390, 22);
    PlaceLabel(this, "label3", {6, 94, 140, 15}, tr("帧率："));
    m_pFpsCB = Place<QComboBox>(this, "fpsCB", 160, 90, 161, 22);
    PlaceLabel(this, "label4", {6, 130, 140, 15}, tr("图片分辨率："));
    m_pSaveCB = Place<QComboBox>(this, "saveCB", 160, 126, 161, 22);
    PlaceLabel(this, "label5", {6, 170, 140, 15}, tr("录制分辨率："));
    m_pRecordCB = Place<QComboBox>(this, "recordCB", 160, 166, 161, 22);
    auto* pOkButton = Place<QPushButton>(this, "okButton", 420, 160, 80, 28);
    pOkButton->setText(tr("确认"));
    pOkButton->setStyleSheet("text-align: center;");

    // Below the dialog's first height: seen only when the user enlarges it.
    m_pNetworkCamera = Place<QCheckBox>(this, "networkCamera", 10, 200, 87, 20);
    m_pNetworkCamera->setText(tr("启用网络摄像头"));
    PlaceLabel(this, "label6", {10, 230, 61, 16},
               tr("<html><head/><body><p>IP地址：</p></body></html>"));
    m_pAddrEdit = Place<QLineEdit>(this, "addrEdit", 70, 230, 121, 21);
    PlaceLabel(this, "label7", {200, 230, 61, 16},
               tr("<html><head/><body><p>信令端口：</p></body></html>"));
    m_pControlPortEdit = Place<QLineEdit>(this, "controlPortEdit", 270, 230, 61, 21);
    PlaceLabel(this, "label8", {350, 230, 61, 16},
               tr("<html><head/><body><p>视频端口：</p></body></html>"));
    m_pVideoPortEdit = Place<QLineEdit>(this, "videoPortEdit", 420, 230, 61, 21);
    for (QLineEdit* pEdit : {m_pAddrEdit, m_pControlPortEdit, m_pVideoPortEdit}) {
        pEdit->setEnabled(false);
    }
}

void SettingDlg::OnClickChooseButton() {
    const QString strFolder =
        QFileDialog::getExistingDirectory(this, QString(), QString(), QFileDialog::ShowDirsOnly);
    if (!strFolder.isEmpty()) {
        m_pPathEdit->setText(strFolder);
    }
}

void SettingDlg::OnNetworkCameraChanged(int nState) {
    const bool bEnabled = nState == Qt::Checked;
    for (QLineEdit* pEdit : {m_pAddrEdit, m_pControlPortEdit, m_pVideoPortEdit}) {
        pEdit->setEnabled(bEnabled);
    }
}

void SettingDlg::OnClickOkButton() {
    const int nDeviceIndex = m_pDeviceCB->currentIndex();
    const int nRecord = m_pRecordCB->currentIndex();
    WriteConfigValue("Setting/SavePath", m_pPathEdit->text());
    WriteConfigValue("Setting/FPS", m_pFpsCB->currentIndex());
    WriteConfigValue("Setting/SaveResolution", m_pSaveCB->currentIndex());
    WriteConfigValue("Setting/RecordResolution", nRecord >= 0 ? nRecord : m_nRecordResolution);
    const char* szName =
        DeviceManager ? DeviceManager->GetName(static_cast<unsigned int>(nDeviceIndex)) : nullptr;
    WriteConfigValue("Setting/Device", QString::fromUtf8(szName ? szName : ""));
    // An empty list has no choice in it: nothing to switch to.
    if (nDeviceIndex >= 0 && nDeviceIndex != m_nDeviceIndex) {
        m_nDeviceIndex = nDeviceIndex;
        m_bChanged = true;
    }

    const bool bEnabled = m_pNetworkCamera->isChecked();
    const std::string strAddress = m_pAddrEdit->text().toStdString();
    // Text that is not a number reads as 0.
    const unsigned int nControlPort = m_pControlPortEdit->text().toUInt();
    const unsigned int nVideoPort = m_pVideoPortEdit->text().toUInt();
    NetworkCameraSettings& config = NetworkCameraConfig;
    if (bEnabled != config.bEnabled) {
        config.bEnabled = bEnabled;
        m_bChanged = true;
    }
    if (bEnabled) {
        const bool bDiffers = strAddress != config.strAddress ||
                              nControlPort != config.nControlPort ||
                              nVideoPort != config.nVideoPort;
        config.strAddress = strAddress;
        config.nControlPort = nControlPort;
        config.nVideoPort = nVideoPort;
        m_bChanged = m_bChanged || bDiffers;
    }
    accept();
}

#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;

// The network camera fields of the settings dialog. Kept for the run only,
// never stored; the dialog is the only reader and writer.
struct NetworkCameraSettings {
    bool bEnabled = false;
    std::string strAddress;
    unsigned int nControlPort = 0;
    unsigned int nVideoPort = 0;
};
extern NetworkCameraSettings NetworkCameraConfig;

// The settings dialog: storage folder, recording frame rate, photo and
// recording sizes, and the camera. Confirming writes all five "Setting" keys
// and tells the caller, through Changed(), whether the camera must be opened
// again. There is no cancel button: closing the window changes nothing.
class SettingDlg : public QDialog {
    Q_OBJECT

public:
    explicit SettingDlg(QWidget* pParent = nullptr);
    ~SettingDlg() override;

    bool Changed() const { return m_bChanged; }
    int DeviceIndex() const { return m_nDeviceIndex; }

public slots:
    void OnClickChooseButton();
    void OnNetworkCameraChanged(int nState);
    void OnClickOkButton();

private:
    void SetupForm();

    int m_nDeviceIndex = 0;
    QString m_strDeviceName;
    // "RecordResolution" as read: a value the list cannot show (any value
    // but 0 and 1 means the camera's own size) is written back unchanged.
    int m_nRecordResolution = 1;
    bool m_bChanged = false;

    QLineEdit* m_pPathEdit = nullptr;
    QComboBox* m_pDeviceCB = nullptr;
    QComboBox* m_pFpsCB = nullptr;
    QComboBox* m_pSaveCB = nullptr;
    QComboBox* m_pRecordCB = nullptr;
    QCheckBox* m_pNetworkCamera = nullptr;
    QLineEdit* m_pAddrEdit = nullptr;
    QLineEdit* m_pControlPortEdit = nullptr;
    QLineEdit* m_pVideoPortEdit = nullptr;
};

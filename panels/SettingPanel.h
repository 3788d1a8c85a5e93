#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QPushButton;
class QTimer;

// The photo, record, settings and folder buttons at the left of the bottom
// bar. Photo, record and settings become the codes 0, 1 and 2 of
// OneControlHappend; the folder button opens the storage folder itself.
// While a recording runs the record button shows its "RecordSel" icon and
// the time recorded so far.
class SettingPanel : public QWidget {
    Q_OBJECT

public:
    explicit SettingPanel(QWidget* pParent = nullptr);
    ~SettingPanel() override;

signals:
    void OneControlHappend(int nType);

public slots:
    void OnClickPhotoButton();
    void OnClickRecordButton();
    void OnClickInfoButton();
    void OnClickSetButton();

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    QPushButton* AddButton(const char* szName, int nX, int nY, const QString& strIcon);
    // Follows IsRecording: a recording may also end without a click (a write
    // error stops it).
    void ShowRecordState();

    QPushButton* m_pPhotoButton = nullptr;
    QPushButton* m_pRecordButton = nullptr;
    QPushButton* m_pSetButton = nullptr;
    QPushButton* m_pInfoButton = nullptr;
    QTimer* m_pClock = nullptr;
    QElapsedTimer m_elapsed;
};

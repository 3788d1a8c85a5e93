#pragma once

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class ICamera;
class IAudioSource;
class QLabel;
class QTimer;
class RecordSession;
class ShutterSound;
class VideoViewWidget;

// The video area of the main window. Pulls the newest picture from the
// camera on every tick of its frame timer, applies the digital zoom and
// hands the picture to the display widgets; carries out the control codes of
// the control panel on the camera or, where the camera declines, with its
// own software effect; applies the annotation tool and pen choices; takes
// photos and runs recordings; and opens the settings dialog.
class VideoView : public QWidget {
    Q_OBJECT

public:
    // Makes the sound source of each recording.
    using AudioSourceFactory = std::function<std::unique_ptr<IAudioSource>()>;

    explicit VideoView(QWidget* pParent = nullptr);
    // Stops a running recording (the file is finished) and releases the camera.
    ~VideoView() override;

    VideoViewWidget* ViewWidget() const { return m_pViewWidget; }
    // Without a factory recordings take the default microphone; a factory
    // that makes no source gives silent recordings.
    void SetAudioSourceFactory(AudioSourceFactory factory) { m_audioFactory = std::move(factory); }
    // Repairs, away from the GUI thread, the recordings in the record folder
    // that were cut short (the program killed, a power cut), and says so
    // when there were any. Once, at start-up.
    void RepairRecordings();
    // Loads the shutter sound, so that the first photo clicks. At start-up.
    void LoadSounds();
    // The running recording, or null.
    const RecordSession* CurrentRecording() const { return m_pRecording.get(); }

public slots:
    void OnReadFrame();
    void OnRemarkOperationChanged(int nOperation);
    void OptionSettingChanged(int nSizeIndex, QColor& crColor);
    void OnOneControlHappend(int nType);
    void OnSetControlHappend(int nType);

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void OpenStoredCamera();
    // Takes a new camera (or none) after releasing the old one.
    void ReplaceCamera(ICamera* pCamera);
    void ReadFrame();
    void ShowFrame(const QImage& image);
    void RotateBySoftware();
    void MirrorBySoftware();
    void LoadShapePen(const QString& strGroup);
    void LoadTextStyle();
    void ApplyTextStyle(int nWeightIndex, const QColor& crColor);

    void TakePhoto();
    void ToggleRecord();
    void StartRecording();
    // Ends the thread at once and finishes the file away from the GUI
    // thread; the user hears of a write failure when that is done.
    void StopRecording();
    // Tells the user what the background threads found, at a tick after.
    void ShowNews();
    void OpenSettings();
    void Warn(const QString& strText);

    VideoViewWidget* m_pViewWidget = nullptr;
    QLabel* m_pNoPictureLabel = nullptr;
    QTimer* m_pFrameTimer = nullptr;
    ICamera* m_pCamera = nullptr;
    ShutterSound* m_pShutter = nullptr;
    int m_nRemarkOperation = 0;
    bool m_bFrozen = false;
    int m_nRotation = 0;
    bool m_bMosaic = false;
    bool m_bMirror = false;
    bool m_bCompare = false;
    bool m_bTitle = false;
    int m_nFrameWidth = 0;
    int m_nFrameHeight = 0;
    int m_nZoomLevel = 0;
    bool m_bZoomInHeld = false;
    bool m_bZoomOutHeld = false;
    // The zoomed picture, reused while the picture size stays the same.
    QImage m_zoomed;

    AudioSourceFactory m_audioFactory;
    std::unique_ptr<RecordSession> m_pRecording;
    // Finishes the last stopped recording; joined before the next stop and
    // in the destructor.
    std::thread m_finisher;
    std::thread m_repairer;
    // Ends the repair early, leaving the file it is on as it was: closing
    // the window must not wait for a long recording to be rewritten.
    std::atomic<bool> m_bStopRepair{false};

    // What the finisher and the repairer leave for the GUI thread.
    struct News {
        bool bRecordingFailed = false;
        QString strFile;
        QString strError;
        double dSecondsKept = 0.0;
        int nRepaired = 0;
        QString strRepairFolder;
    };
    std::mutex m_newsMutex;
    News m_news;
};

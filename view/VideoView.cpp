#include "view/VideoView.h"

#include "app/Configuration.h"
#include "app/SharedState.h"
#include "panels/ControlType.h"
#include "panels/OptionPanel.h"
#include "panels/PanelLook.h"
#include "panels/SettingDlg.h"
#include "recorder/AudioCapture.h"
#include "recorder/RecordingRepair.h"
#include "recorder/VideoWriter.h"
#include "render/IVideoRender.h"
#include "render/RemarkType.h"
#include "view/AudioClock.h"
#include "view/ICamera.h"
#include "view/IDeviceMgr.h"
#include "view/RecordSession.h"
#include "view/ShutterSound.h"
#include "view/VideoRenderWidget.h"
#include "view/VideoViewWidget.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPen>
#include <QTextEdit>
#include <QTimer>

namespace {

const int kFrameInterval = 50;

const int PenWidths[] = {1, 3, 5, 7};
const int TextSizes[] = {18, 26, 34, 45};
const int kPenCount = 4;

const QSize PhotoSizes[] = {{1920, 1080}, {1600, 1200}, {2592, 1544}, {3264, 2440}};
const int FrameRates[] = {10, 20, 30};

// The settings group of a drawing tool's pen; text has a style of its own.
QString ShapeGroup(int nOperation) {
    return nOperation == RemarkText ? QString() : OptionPanel::PenGroup(nOperation);
}

int ValidPenIndex(int nIndex) {
    return (nIndex >= 0 && nIndex < kPenCount) ? nIndex : 0;
}

// The highest zoom level whose cut-out still lies inside a picture of
// nWidth x nHeight: the cut-out shrinks by 32 x 18 pixels per level and
// stops at its minimum size of 32 x 18.
int MaxZoomLevel(int nWidth, int nHeight) {
    return std::max(0, std::min((nWidth - 1) / 32, (nHeight - 1) / 18));
}

// folder + the local time + suffix, with "-1", "-2", ... before the suffix
// when that name is taken, so that a second file within the same second
// never replaces the first.
QString NewFileName(const QString& strFolder, const QString& strSuffix) {
    const QString strStem = strFolder + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    QString strName = strStem + strSuffix;
    for (int n = 1; QFileInfo::exists(strName); ++n) {
        strName = QString("%1-%2%3").arg(strStem).arg(n).arg(strSuffix);
    }
    return strName;
}

// Creates the last level of strFolder when it is missing; true when the
// folder exists afterwards.
bool MakeFolder(const QString& strFolder) {
    return QDir(strFolder).exists() || (QDir().mkdir(strFolder) && QDir(strFolder).exists());
}

} // namespace

VideoView::VideoView(QWidget* pParent) : QWidget(pParent) {
    if (objectName().isEmpty()) {
        setObjectName("VideoView");
    }
    resize(660, 422);
    setWindowTitle(tr("Form"));
    setFocusPolicy(Qt::StrongFocus);
    // Dark around the picture, as around a screen.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(40, 43, 50));
    setPalette(palette);
    setAutoFillBackground(true);

    m_pViewWidget = new VideoViewWidget(this);
    m_pViewWidget->show();
    m_pViewWidget->move(0, 0);
    m_pViewWidget->setFixedSize(size());

    m_pNoPictureLabel = new QLabel(this);
    m_pNoPictureLabel->setObjectName("noPictureLabel");
    m_pNoPictureLabel->setAlignment(Qt::AlignCenter);
    m_pNoPictureLabel->setWordWrap(true);
    m_pNoPictureLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Its own style sheet: the application's would give it dark text.
    m_pNoPictureLabel->setStyleSheet("color: rgb(210, 214, 222); font-size: 16px;");
    m_pNoPictureLabel->setText(
        tr("没有摄像头画面：请连接 USB 文档摄像头，或连接正在运行摄像头应用的手机。"));
    m_pNoPictureLabel->setGeometry(rect());

    m_pShutter = new ShutterSound(this);

    OpenStoredCamera();

    m_pFrameTimer = new QTimer(this);
    connect(m_pFrameTimer, &QTimer::timeout, this, &VideoView::OnReadFrame);
    m_pFrameTimer->start(kFrameInterval);
}

VideoView::~VideoView() {
    // A repair still running gives up meanwhile, leaving its file as it was.
    m_bStopRepair = true;
    // The recording thread reads the renderer, which goes with the children
    // after this body: end it first, then finish the file here and now.
    if (m_pRecording) {
        m_pRecording->StopThread();
        if (!m_pRecording->Finish()) {
            // No window is left to tell it in.
            qWarning("Recording %s failed: %s", m_pRecording->FileName().c_str(),
                     m_pRecording->WriteError().c_str());
        }
        m_pRecording.reset();
        IsRecording = false;
    }
    if (m_finisher.joinable()) {
        m_finisher.join();
    }
    if (m_repairer.joinable()) {
        m_repairer.join();
    }
    if (m_pCamera != nullptr) {
        m_pCamera->Release();
        m_pCamera = nullptr;
    }
}

void VideoView::OpenStoredCamera() {
    if (DeviceManager == nullptr || DeviceManager->GetCount() == 0) {
        return;
    }
    const QByteArray name = ReadConfigString("Setting/Device", "0").toUtf8();
    const int nIndex = DeviceManager->FindName(name.constData());
    m_pCamera = DeviceManager->CreateCamera(nIndex >= 0 ? static_cast<unsigned int>(nIndex) : 0, 0);
}

void VideoView::ReplaceCamera(ICamera* pCamera) {
    if (m_pCamera != nullptr) {
        m_pCamera->Release();
    }
    m_pCamera = pCamera;
    m_pNoPictureLabel->show();
}

void VideoView::resizeEvent(QResizeEvent*) {
    m_pViewWidget->setFixedSize(size());
    m_pNoPictureLabel->setGeometry(rect());
}

// ---- Frame loop ------------------------------------------------------------

void VideoView::OnReadFrame() {
    ShowNews();
    if (m_pCamera != nullptr && !m_bFrozen) {
        ReadFrame();
    }
    if (m_pRecording) {
        if (m_pRecording->Failed()) {
            StopRecording();
        } else {
            // The recording takes composed pictures, which a minimised or
            // covered window would otherwise never paint.
            m_pViewWidget->RenderWidget()->ComposePicture();
        }
    }
}

void VideoView::ReadFrame() {
    unsigned char* pData = nullptr;
    int nSize = 0;
    int nWidth = 0;
    int nHeight = 0;
    if (!m_pCamera->LockFrame(pData, nSize, nWidth, nHeight)) {
        return;
    }
    // The camera's word on the size is checked against its buffer before
    // anything reads it.
    if (pData != nullptr && nWidth > 0 && nHeight > 0 &&
        qint64(nWidth) * nHeight * 4 <= qint64(nSize)) {
        m_nFrameWidth = nWidth;
        m_nFrameHeight = nHeight;
        // Wrapped, not copied: the renderer makes the one copy.
        ShowFrame(QImage(pData, nWidth, nHeight, nWidth * 4, QImage::Format_RGB32));
    }
    m_pCamera->UnlockFrame();
}

void VideoView::ShowFrame(const QImage& image) {
    const int nMaxLevel = MaxZoomLevel(image.width(), image.height());
    if (m_bZoomInHeld) {
        ++m_nZoomLevel;
    }
    if (m_bZoomOutHeld) {
        --m_nZoomLevel;
    }
    m_nZoomLevel = std::max(0, std::min(m_nZoomLevel, nMaxLevel));

    if (m_nZoomLevel == 0) {
        m_pViewWidget->SetFrame(image);
    } else {
        const int nWidth = image.width();
        const int nHeight = image.height();
        const QRect rcCut(16 * m_nZoomLevel, 9 * m_nZoomLevel, nWidth - 32 * m_nZoomLevel,
                          nHeight - 18 * m_nZoomLevel);
        if (m_zoomed.size() != image.size()) {
            m_zoomed = QImage(image.size(), QImage::Format_RGB32);
        }
        QPainter painter(&m_zoomed);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(m_zoomed.rect(), image, rcCut);
        painter.end();
        m_pViewWidget->SetFrame(m_zoomed);
    }
    m_pNoPictureLabel->hide();
}

// ---- Controls --------------------------------------------------------------

void VideoView::OnOneControlHappend(int nType) {
    if (m_pCamera == nullptr) {
        return;
    }
    VideoRenderWidget* pRenderWidget = m_pViewWidget->RenderWidget();
    switch (nType) {
    case CONTROL_AUTO:
        m_pCamera->AutoFocus();
        break;
    case CONTROL_LED_ON:
        m_pCamera->LightOn();
        break;
    case CONTROL_LED_OFF:
        m_pCamera->LightOff();
        break;
    case CONTROL_ZOOM_IN:
        m_pCamera->ZoomIn();
        m_bZoomInHeld = true;
        break;
    case CONTROL_ZOOM_OUT:
        m_pCamera->ZoomOut();
        m_bZoomOutHeld = true;
        break;
    case CONTROL_BRIGHTEN:
        m_pCamera->Brighten();
        break;
    case CONTROL_DARKEN:
        m_pCamera->Darken();
        break;
    case CONTROL_FOCUS_FAR:
        m_pCamera->FocusFar();
        break;
    case CONTROL_FOCUS_NEAR:
        m_pCamera->FocusNear();
        break;
    case CONTROL_ROTATE:
        if (!m_pCamera->Rotate()) {
            RotateBySoftware();
        }
        break;
    case CONTROL_MIRROR:
        if (!m_pCamera->Mirror()) {
            MirrorBySoftware();
        }
        break;
    case CONTROL_COMPARE:
        m_bCompare = !m_bCompare;
        m_bTitle = false;
        pRenderWidget->Render()->SetCompare(m_bCompare);
        break;
    case CONTROL_TITLE:
        m_bTitle = !m_bTitle;
        m_bCompare = false;
        pRenderWidget->Render()->SetTitle(m_bTitle);
        break;
    case CONTROL_SPARE:
        m_pCamera->AuxControl();
        break;
    case CONTROL_FROZEN:
        if (!m_pCamera->Freeze()) {
            m_bFrozen = !m_bFrozen;
        }
        break;
    case CONTROL_MOSAIC:
        if (!m_pCamera->Mosaic()) {
            m_bMosaic = !m_bMosaic;
            pRenderWidget->Render()->SetMosaic(m_bMosaic);
        }
        break;
    case CONTROL_STOP:
        m_pCamera->StopControl();
        m_bZoomInHeld = false;
        m_bZoomOutHeld = false;
        break;
    default:
        break;
    }
}

void VideoView::RotateBySoftware() {
    m_nRotation = m_nRotation == 270 ? 0 : m_nRotation + 90;
    CurrentRotateAngle = m_nRotation;
    m_pViewWidget->SetRotation(m_nRotation);
}

void VideoView::MirrorBySoftware() {
    m_bMirror = !m_bMirror;
    VideoRenderWidget* pRenderWidget = m_pViewWidget->RenderWidget();
    pRenderWidget->SetMirrorFlag(m_bMirror);
    pRenderWidget->Render()->SetMirror(m_bMirror);
}

// ---- Annotation tools and pens ---------------------------------------------

void VideoView::OnRemarkOperationChanged(int nOperation) {
    if (nOperation == m_nRemarkOperation) {
        return;
    }
    if (nOperation == RemarkClear) {
        m_pViewWidget->RenderWidget()->ClearRemark();
        return;
    }
    m_nRemarkOperation = nOperation;
    m_pViewWidget->RenderWidget()->Render()->SetRemarkType(nOperation);
    const QString strGroup = ShapeGroup(nOperation);
    if (!strGroup.isEmpty()) {
        LoadShapePen(strGroup);
    } else if (nOperation == RemarkText) {
        LoadTextStyle();
    }
}

void VideoView::LoadShapePen(const QString& strGroup) {
    const int nWidthIndex = ReadConfigIndex(strGroup + "/Width", 0, kPenCount);
    const QColor crColor = ReadConfigColor(strGroup + "/Color", 0);
    m_pViewWidget->SetPen(QPen(crColor, PenWidths[nWidthIndex], Qt::SolidLine));
}

void VideoView::LoadTextStyle() {
    ApplyTextStyle(ReadConfigIndex("Text/Weight", 0, kPenCount), ReadConfigColor("Text/Color", 0));
}

void VideoView::ApplyTextStyle(int nWeightIndex, const QColor& crColor) {
    const int nSize = TextSizes[nWeightIndex];
    VideoRenderWidget* pRenderWidget = m_pViewWidget->RenderWidget();
    pRenderWidget->Render()->SetFontSize(nSize);
    QFont font = pRenderWidget->TextBox()->font();
    font.setPointSize(nSize);
    pRenderWidget->TextBox()->setFont(font);
    pRenderWidget->SetTextColor(crColor);
}

void VideoView::OptionSettingChanged(int nSizeIndex, QColor& crColor) {
    // The panel's index came from the file too: one outside the tables is
    // the key's default.
    const int nIndex = ValidPenIndex(nSizeIndex);
    const QString strGroup = ShapeGroup(m_nRemarkOperation);
    if (!strGroup.isEmpty()) {
        WriteConfigValue(strGroup + "/Width", nIndex);
        WriteConfigColor(strGroup + "/Color", crColor);
        m_pViewWidget->SetPen(QPen(crColor, PenWidths[nIndex], Qt::SolidLine));
    } else {
        WriteConfigValue("Text/Weight", nIndex);
        WriteConfigColor("Text/Color", crColor);
        ApplyTextStyle(nIndex, crColor);
    }
}

// ---- Photo, recording, settings --------------------------------------------

void VideoView::OnSetControlHappend(int nType) {
    switch (nType) {
    case 0:
        TakePhoto();
        break;
    case 1:
        ToggleRecord();
        break;
    case 2:
        OpenSettings();
        break;
    default:
        break;
    }
}

void VideoView::TakePhoto() {
    const QSize size = PhotoSizes[ReadConfigIndex("Setting/SaveResolution", 1, 4)];
    const QString strFolder = StorageRoot() + "/Screenshot/";
    // One level only: a storage root that is gone (an unplugged stick) is
    // not made again somewhere else.
    MakeFolder(strFolder);
    const QString strFile = NewFileName(strFolder, ".jpg");
    if (!m_pViewWidget->RenderWidget()->SavePhoto(strFile, size.width(), size.height())) {
        Warn(m_pNoPictureLabel->isVisible()
                 ? tr("还没有摄像头画面，无法拍照。")
                 : tr("照片未能保存：%1").arg(QDir::toNativeSeparators(strFile)));
        return;
    }
    m_pShutter->Play();
}

void VideoView::ToggleRecord() {
    if (m_pRecording) {
        StopRecording();
    } else {
        StartRecording();
    }
}

void VideoView::StartRecording() {
    // The last recording must be closed before this one opens: its thread
    // reads the renderer's pictures, which take one reader at a time, and
    // its sound device must be free.
    if (m_finisher.joinable()) {
        m_finisher.join();
    }
    const int nFrameRate = FrameRates[ReadConfigIndex("Setting/FPS", 2, 3)];
    const int nResolution = ReadConfigInt("Setting/RecordResolution", 1);

    const QString strFolder = StorageRoot() + "/Record/";
    if (!MakeFolder(strFolder)) {
        Warn(tr("创建录制文件件夹失败"));
        return;
    }
    const QString strFile = NewFileName(strFolder, ".avi");

    int nWidth = 1280;
    int nHeight = 720;
    int nBitRate = 2048;
    if (nResolution == 0) {
        nBitRate = 1024;
    } else if (nResolution == 1) {
        nWidth = 1920;
        nHeight = 1080;
        nBitRate = 3072;
    } else if (m_nFrameWidth > 0 && m_nFrameHeight > 0 &&
               (m_nFrameWidth < 1280 || m_nFrameHeight < 720)) {
        // The camera's own size; before its first picture, 720p.
        // The encoder takes 4:2:0 pictures, whose sides must be even.
        nWidth = m_nFrameWidth & ~1;
        nHeight = m_nFrameHeight & ~1;
    }

    IVideoRender* pRender = m_pViewWidget->RenderWidget()->Render();
    // The sound source, passed through a clock that the pictures follow.
    std::unique_ptr<IAudioSource> pSound =
        m_audioFactory ? m_audioFactory() : std::make_unique<AudioCapture>();
    const AudioClock* pAudioClock = nullptr;
    if (pSound) {
        auto pClock = std::make_unique<AudioClock>(std::move(pSound));
        pAudioClock = pClock.get();
        pSound = std::move(pClock);
    }
    auto pRecording =
        std::make_unique<RecordSession>(std::make_unique<VideoWriter>(std::move(pSound)),
                                        pAudioClock, [pRender] { return pRender->GetPicture(); });
    if (!pRecording->Start(strFile.toUtf8().toStdString(), nWidth, nHeight, nFrameRate, nBitRate,
                           kFrameInterval)) {
        Warn(tr("录制未能开始：%1\n%2")
                 .arg(QDir::toNativeSeparators(strFile),
                      QString::fromStdString(pRecording->WriteError())));
        return;
    }
    m_pRecording = std::move(pRecording);
    IsRecording = true;
    // Opening the encoders held up the frame timer, and the sound has just
    // begun: the first pictures should not show what was there before.
    OnReadFrame();
}

void VideoView::StopRecording() {
    // The pictures due up to now are still written, and the encoder drained:
    // both can take a while at large sizes, on a busy machine. The window
    // stays responsive meanwhile, and hears at a tick after how it went.
    m_pRecording->RequestStop();
    IsRecording = false;
    if (m_finisher.joinable()) {
        m_finisher.join();
    }
    m_finisher = std::thread([this, pRecording = std::move(m_pRecording)] {
        pRecording->StopThread();
        if (!pRecording->Finish()) {
            std::lock_guard<std::mutex> lock(m_newsMutex);
            m_news.bRecordingFailed = true;
            m_news.strFile = QString::fromStdString(pRecording->FileName());
            m_news.strError = QString::fromStdString(pRecording->WriteError());
            m_news.dSecondsKept = pRecording->SecondsKept();
        }
    });
}

void VideoView::LoadSounds() {
    m_pShutter->Load();
}

void VideoView::RepairRecordings() {
    if (m_repairer.joinable()) {
        return;
    }
    const std::string strFolder = (StorageRoot() + "/Record").toUtf8().toStdString();
    // A long recording takes seconds to rewrite. The one being recorded
    // meanwhile is locked, and left alone.
    m_repairer = std::thread([this, strFolder] {
        const int nRepaired = RecordingRepair::RepairFolder(strFolder, &m_bStopRepair);
        std::lock_guard<std::mutex> lock(m_newsMutex);
        m_news.nRepaired = nRepaired;
        m_news.strRepairFolder = QString::fromStdString(strFolder);
    });
}

void VideoView::ShowNews() {
    News news;
    {
        std::lock_guard<std::mutex> lock(m_newsMutex);
        std::swap(news, m_news);
    }
    if (news.bRecordingFailed) {
        Warn(tr("录制文件写入失败：%1\n%2\n文件保留了出错前录下的 %3。")
                 .arg(QDir::toNativeSeparators(news.strFile), news.strError,
                      MinutesSeconds(qint64(news.dSecondsKept))));
    }
    if (news.nRepaired > 0) {
        auto* pBox = new QMessageBox(QMessageBox::Information, tr("提示"),
                                     tr("已修复 %1 个未正常结束的录制文件（位于 %2）。")
                                         .arg(news.nRepaired)
                                         .arg(QDir::toNativeSeparators(news.strRepairFolder)),
                                     QMessageBox::Ok, this);
        pBox->setAttribute(Qt::WA_DeleteOnClose);
        pBox->open();
    }
}

void VideoView::OpenSettings() {
    SettingDlg dialog(this);
    // The frame timer keeps running: the dialog's event loop serves it.
    dialog.exec();
    if (!dialog.Changed()) {
        return;
    }
    // No tick may reach a released camera.
    m_pFrameTimer->stop();
    ReplaceCamera(nullptr);
    if (DeviceManager != nullptr) {
        ReplaceCamera(
            DeviceManager->CreateCamera(static_cast<unsigned int>(dialog.DeviceIndex()), 0));
    }
    // The start-up interval: a slower timer would slow the picture and every
    // recording down. It runs without a camera too, as at start-up.
    m_pFrameTimer->start(kFrameInterval);
}

void VideoView::Warn(const QString& strText) {
    // open(), not exec(): the frame loop and a recording go on while the
    // box waits for its OK.
    auto* pBox = new QMessageBox(QMessageBox::Warning, tr("提示"), strText, QMessageBox::Ok, this);
    pBox->setAttribute(Qt::WA_DeleteOnClose);
    pBox->open();
}

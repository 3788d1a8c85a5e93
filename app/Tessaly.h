#pragma once

#include <QMainWindow>
#include <QRect>

class ControlPanel;
class QFrame;
class SettingPanel;
class ToolView;
class VideoView;

// The main window: the tool column on the left, the video view beside it,
// the settings and control panels along the bottom, laid out by hand on
// every resize. It wires the panels together and does nothing else.
class Tessaly : public QMainWindow {
    Q_OBJECT

public:
    explicit Tessaly(QWidget* pParent = nullptr);
    ~Tessaly() override;

    ToolView* GetToolView() const { return m_pToolView; }
    SettingPanel* GetSettingPanel() const { return m_pSettingPanel; }
    VideoView* GetVideoView() const { return m_pVideoView; }
    ControlPanel* GetControlPanel() const { return m_pControlPanel; }

public slots:
    void OnRemarkTypeChanged(int nType);

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void LayOut();

    QFrame* m_pHorSplitLine = nullptr;
    QFrame* m_pVerSplitLine = nullptr;
    ToolView* m_pToolView = nullptr;
    SettingPanel* m_pSettingPanel = nullptr;
    VideoView* m_pVideoView = nullptr;
    ControlPanel* m_pControlPanel = nullptr;
    int m_nRemarkType = 0;
    QRect m_rcTool;
    QRect m_rcVideo;
    QRect m_rcBottom;
};

#pragma once

#include <QWidget>

class VideoRenderWidget;

// Fills the video area: fits the (rotated) picture into it, keeping the
// aspect ratio and never enlarging it, and centres a render widget of
// exactly the fitted size.
class VideoViewWidget : public QWidget {
    Q_OBJECT

public:
    explicit VideoViewWidget(QWidget* pParent = nullptr);

    // Shows a new picture; false for a null image.
    bool SetFrame(const QImage& image);
    // Display rotation in degrees: 0, 90, 180 or 270.
    void SetRotation(int nAngle);
    void SetPen(const QPen& pen);

    VideoRenderWidget* RenderWidget() const { return m_pRenderWidget; }

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void ComputeFit();
    void PlaceRenderWidget();

    VideoRenderWidget* m_pRenderWidget = nullptr;
    int m_nAngle = 0;
    int m_nPictureWidth = 0;
    int m_nPictureHeight = 0;
    int m_nDisplayWidth = 0;
    int m_nDisplayHeight = 0;
};

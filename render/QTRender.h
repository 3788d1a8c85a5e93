#pragma once

#include "render/IVideoRender.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QPixmap>
#include <QPoint>
#include <QRect>

#include <mutex>

class QPainter;

// The renderer on QPainter. Pictures are kept as 32-bit QImages reused while
// the picture size stays the same: the camera frame (copied in SetImage),
// two compose buffers, two rotated/effect buffers and the annotation layer.
// The two output pictures handed out by GetPicture share the pixels of the
// buffer that produced them, so a frame costs one copy in, one compose and
// the draw onto the widget, and no picture-sized allocation.
//
// m_mutex guards the hand-over between Paint (GUI thread) and GetPicture
// (recorder thread): the output index, the new-picture flag and the output
// pictures. Everything else is touched by the GUI thread only.
class QTRender final : public IVideoRender {
public:
    QTRender();

    // Binds the renderer to the widget it paints on; fails for a null widget
    // or when a widget is already bound.
    bool Bind(QWidget* pWidget);

    int GetRemarkType() override;
    void SetRemarkType(int nType) override;
    bool SetImage(const QImage& image) override;
    void OnMousePress(int nX, int nY) override;
    void OnMouseRelease(int nX, int nY) override;
    void OnMouseMove(int nX, int nY, bool bHeld) override;
    void SetPen(const QPen& pen) override;
    // Angles other than 0, 90, 180 and 270 are ignored.
    void SetRotateAngle(int nAngle) override;
    void OnResize() override;
    void Paint(const QPoint& ptOrigin, const QSize& szSource) override;
    void SetFontSize(int nPointSize) override;
    void SetTextColor(const QColor& crColor) override;
    void DrawText(int nX, int nY, const QString& strText) override;
    const QPixmap* GetPicture() override;
    void ClearRemark() override;
    void Release() override;
    void SetMosaic(bool bOn) override;
    void SetMirror(bool bOn) override;
    void SetCompare(bool bOn) override;
    void SetTitle(bool bOn) override;
    void SetZoomIn(bool bOn) override;
    void SetZoomOut(bool bOn) override;
    QImage CopyPicture() override;

private:
    ~QTRender() = default;

    void CopyFrame(const QImage& image);
    void Compose(QImage& buffer);
    void ComposeBackground(QPainter& painter);
    // Draws the live shape (or the emphasize/shade region) and returns the
    // area it may have touched, for the layer's bookkeeping.
    QRect DrawOverlay(QPainter& painter);
    void DrawRegion(QPainter& painter);
    void AddPoint(int nX, int nY);
    void DragRegion(int nX, int nY);
    void MarkLayerUsed(const QRect& rcArea);
    void Update();
    void SetWidgetCursor(Qt::CursorShape nShape);

    QWidget* m_pWidget = nullptr;
    int m_nWidgetWidth = 0;
    int m_nWidgetHeight = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nAngle = 0;

    // Own copy of the newest camera frame, RGB32: the camera's alpha is
    // always opaque, and an opaque format spares Qt an alpha scan per draw.
    QImage m_frame;
    QImage m_compose[2];
    QImage m_effect[2];
    // Transparent where nothing is drawn; null until the first frame, which
    // is what every drawing operation checks first.
    QImage m_layer;
    // The part of the layer that may hold drawings; compose blends only this.
    QRect m_rcLayerUsed;
    QImage m_compareSnapshot;
    QImage m_titleSnapshot;

    QPen m_shapePen;
    QPen m_eraserPen;

    bool m_bPressed = false;
    int m_nRemarkType = 0;
    QPoint m_points[3];
    int m_nPointCount = 0;
    QFont m_textFont;
    QColor m_crText;

    bool m_bMosaic = false;
    bool m_bMirror = false;
    bool m_bCompare = false;
    bool m_bTitle = false;

    QPen m_regionPen;
    bool m_bRegionSet = false;
    int m_nRegionLeft = 0;
    int m_nRegionTop = 0;
    int m_nRegionRight = 0;
    int m_nRegionBottom = 0;
    // The bounds an edge drag may not cross. They follow the region after
    // every drag, so an edge never passes the opposite one.
    int m_nLimitLeft = 0;
    int m_nLimitTop = 0;
    int m_nLimitRight = 0;
    int m_nLimitBottom = 0;
    int m_nGrabCode = 0;

    QPixmap m_output[2];
    std::mutex m_mutex;
    bool m_bNewPicture = false;
    // Selects the compose buffer and output picture the next Paint writes.
    int m_nIndex = 0;

    bool m_bZoomIn = false;
    bool m_bZoomOut = false;
    int m_nZoomLevel = 0;
};

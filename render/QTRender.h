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
// the picture size stays the same. A plain frame (nothing drawn, no effect)
// is handed out as it was copied in SetImage, without another pass; anything
// else is composed into one of two output buffers in as few passes as it
// takes: the turn (rotation and mirror) is made straight from the frame, and
// a small drawn part is composed apart and turned on its own. The output
// pictures handed out by GetPicture share the pixels of the buffer that
// produced them, so no picture-sized allocation is made per frame.
//
// m_mutex guards the hand-over between the GUI thread (SetImage, Paint,
// ComposePicture) and GetPicture's consumer: the frame buffers, the output
// index, the new-picture flag and the output pictures. Everything else is
// touched by the GUI thread only.
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
    void ComposePicture() override;

private:
    ~QTRender() = default;

    void CopyFrame(const QImage& image, QImage& frame);
    // Composes into output k unless nothing changed; false when a buffer
    // could not be made, which keeps the pictures there are.
    bool ComposeIfChanged();
    bool Compose(int k);
    void ComposeBackground(QImage& target);
    void DrawDrawings(QImage& target, const QRect& rcDrawn);
    const QPixmap& NewestPicture() const;
    // Draws the live shape (or the emphasize/shade region) when a painter is
    // given, and returns the area it touches either way.
    QRect DrawOverlay(QPainter* pPainter);
    bool OverlayShown() const;
    void DrawRegion(QPainter& painter);
    void AddPoint(int nX, int nY);
    void DragRegion(int nX, int nY);
    void MarkLayerUsed(const QRect& rcArea);
    // The picture changed: compose anew, repaint.
    void Update();
    void SetWidgetCursor(Qt::CursorShape nShape);

    QWidget* m_pWidget = nullptr;
    int m_nWidgetWidth = 0;
    int m_nWidgetHeight = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nAngle = 0;

    // Own copies of the camera frames, RGB32: the camera's alpha is always
    // opaque, and an opaque format spares Qt an alpha scan per draw. A plain
    // frame is itself the output picture, and an output may be held by
    // GetPicture's consumer while the other waits for it, so SetImage needs a
    // third buffer that neither output shares. Made when first needed.
    QImage m_frames[3];
    int m_nFrame = 0;
    // The output pictures when there is anything to compose, turned size.
    QImage m_composed[2];
    // The unturned picture with its drawings, or just the drawn part of it,
    // before it is turned into an output buffer.
    QImage m_scratch;
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
    // The frame buffer each output picture shows unchanged, or -1.
    int m_nOutputFrame[2] = {-1, -1};
    std::mutex m_mutex;
    bool m_bNewPicture = false;
    // Something changed since the last composition.
    bool m_bChanged = true;
    // Selects the compose buffer and output picture the next Paint writes.
    int m_nIndex = 0;

    bool m_bZoomIn = false;
    bool m_bZoomOut = false;
    int m_nZoomLevel = 0;
};

#pragma once

#include <QImage>

class QColor;
class QPen;
class QPixmap;
class QPoint;
class QSize;
class QString;
class QWidget;

// The renderer of one video widget: composes the newest camera picture with
// the software effects (rotation, mirror, mosaic, comparison, title strip)
// and the annotation layer, paints it on the widget and keeps the composed
// picture for photos and recordings.
//
// Coordinates passed to the mouse and text operations are pixels of the
// unrotated camera picture. Everything runs in the GUI thread except
// GetPicture, which one streaming consumer (the recorder) may call from its
// own thread.
//
// The order of the operations is part of the interface; new ones go at the
// end. The object is ended only by Release().
class IVideoRender {
public:
    // Remark types: 0 none, 1 line, 2 doodle, 3 arrow, 4 triangle,
    // 5 rectangle, 6 diamond, 7 ellipse, 8 text, 9 eraser, 11 emphasize,
    // 12 shade (10, clear, is the ClearRemark operation, not a type).
    virtual int GetRemarkType() = 0;
    virtual void SetRemarkType(int nType) = 0;
    // Copies the picture; the caller may reuse its buffer once this returns.
    // False, and the previous picture kept, for a null picture or one whose
    // size Qt refuses to allocate.
    virtual bool SetImage(const QImage& image) = 0;
    virtual void OnMousePress(int nX, int nY) = 0;
    virtual void OnMouseRelease(int nX, int nY) = 0;
    virtual void OnMouseMove(int nX, int nY, bool bHeld) = 0;
    virtual void SetPen(const QPen& pen) = 0;
    virtual void SetRotateAngle(int nAngle) = 0;
    virtual void OnResize() = 0;
    // Only from the widget's paint event: composes the picture unless it is
    // up to date, and stretches the part (ptOrigin, szSource) of the rotated
    // picture over the widget.
    virtual void Paint(const QPoint& ptOrigin, const QSize& szSource) = 0;
    virtual void SetFontSize(int nPointSize) = 0;
    virtual void SetTextColor(const QColor& crColor) = 0;
    virtual void DrawText(int nX, int nY, const QString& strText) = 0;
    // For one streaming consumer in any thread. The picture handed out is not
    // written again until the next GetPicture call, so the consumer must be
    // done with it by then. Never null; the picture is null before the first
    // Paint. Other consumers use CopyPicture.
    virtual const QPixmap* GetPicture() = 0;
    virtual void ClearRemark() = 0;
    virtual void Release() = 0;
    virtual void SetMosaic(bool bOn) = 0;
    virtual void SetMirror(bool bOn) = 0;
    virtual void SetCompare(bool bOn) = 0;
    virtual void SetTitle(bool bOn) = 0;
    virtual void SetZoomIn(bool bOn) = 0;
    virtual void SetZoomOut(bool bOn) = 0;
    // A private copy of the newest composed picture (null before the first
    // Paint), taken under the renderer's lock; it does not disturb the
    // double buffer that GetPicture's consumer relies on.
    virtual QImage CopyPicture() = 0;
    // Composes the newest picture for GetPicture and CopyPicture without
    // painting, when anything changed since the last composition, so that
    // recordings and photos follow the camera while the widget is not
    // painted (minimised or covered). A paint after it reuses that picture.
    virtual void ComposePicture() = 0;

protected:
    ~IVideoRender() = default;
};

// Creates the renderer bound to pWidget, which it paints on and updates.
// The caller owns the result and ends it with Release() before the widget
// goes.
IVideoRender* CreateVideoRender(QWidget* pWidget);

#pragma once

#include <QWidget>

class IVideoRender;
class QTextEdit;

// The surface the renderer paints on. Owns the renderer, forwards pictures,
// rotation, pens and text settings to it, maps mouse input to picture pixels
// for the annotations, and shows the box in which a text remark is typed.
class VideoRenderWidget : public QWidget {
    Q_OBJECT

public:
    explicit VideoRenderWidget(QWidget* pParent = nullptr);
    ~VideoRenderWidget() override;

    // False, and the previous picture kept, for a picture the renderer drops.
    bool SetImage(const QImage& image);
    void SetRotateAngle(int nAngle);
    // Composes the newest picture for the renderer's GetPicture and
    // CopyPicture without painting: recordings call it on every tick, so
    // that they follow the camera while the window is minimised or covered.
    void ComposePicture();
    // Saves the newest picture, stretched to nWidth x nHeight, as a JPEG.
    // False before the first picture or when the file cannot be written.
    bool SavePhoto(const QString& strPath, int nWidth, int nHeight);
    void ClearRemark();
    void SetPen(const QPen& pen);
    // The renderer's text colour and the colour of the text being typed.
    void SetTextColor(const QColor& crColor);

    IVideoRender* Render() const { return m_pRender; }
    QTextEdit* TextBox() const { return m_pTextBox; }
    // Tells the mouse mapping that the picture is shown mirrored; the
    // renderer's own SetMirror does the flipping.
    void SetMirrorFlag(bool bMirror) { m_bMirror = bMirror; }
    bool MirrorFlag() const { return m_bMirror; }

    // Widget pixels to pixels of the unrotated, unmirrored picture; every
    // pixel of the widget lands inside the picture.
    QPoint MapToPicture(int nX, int nY) const;

public slots:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void ResetView();
    // Hides the text box, drawing what was typed when bDraw.
    void CloseTextBox(bool bDraw);

    QTextEdit* m_pTextBox = nullptr;
    int m_nTextX = 0;
    int m_nTextY = 0;
    IVideoRender* m_pRender = nullptr;
    int m_nWidgetWidth = 0;
    int m_nWidgetHeight = 0;
    int m_nPictureWidth = 0;
    int m_nPictureHeight = 0;
    int m_nSourceX = 0;
    int m_nSourceY = 0;
    int m_nSourceWidth = 0;
    int m_nSourceHeight = 0;
    int m_nAngle = 0;
    bool m_bMousePressed = false;
    bool m_bMirror = false;
};

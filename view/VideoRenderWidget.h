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

    bool SetImage(const QImage& image);
    void SetRotateAngle(int nAngle);
    // Saves the composed picture, stretched to nWidth x nHeight, as a JPEG.
    // False when nothing has been painted yet or the file cannot be written.
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

    // Widget pixels to pixels of the unrotated, unmirrored picture.
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

    QTextEdit* m_pTextBox = nullptr;
    int m_nTextX = 0;
    int m_nTextY = 0;
    // The box lost the focus to this widget: the click that took it away must
    // not open a new box when it is released.
    bool m_bTextJustClosed = false;
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

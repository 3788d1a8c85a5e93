// Renders the button icons of resources/Icon from the Material Design Icons
// SVG set (one glyph per file, 24-unit view box) and from a few shapes drawn
// here. Run through scripts/render-icons, which fetches the SVG set.
//
//   render-icons <folder with the set's svg files> <output folder>
//
// Every icon comes in two files: "<Name>.png", a white glyph on a clear
// background for the dark panels, and "<Name>Sel.png", the on-state: a dark
// glyph on an amber tile, so that the two differ in both brightness and
// colour and stay apart when scaled down to 24 pixels.

#include <QConicalGradient>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kNormalInk(255, 255, 255);
const QColor kSelectedInk(31, 36, 48);
const QColor kSelectedTile(255, 193, 7);
const int kSquare = 64;
// Where a full-size glyph sits, in units of the icon side.
const QRectF kGlyphBox(0.06, 0.06, 0.88, 0.88);

QString g_strSvgFolder;

struct Layer {
    QString strGlyph;
    QRectF rcBox;   // in units of the icon side (0..1)
    QColor crFixed; // invalid: the variant's ink
};

// Draws one glyph of the set into rcTarget in the given colour. The glyph is
// rendered as a mask first because the set's files carry no fill colour.
bool DrawGlyph(QPainter& painter, const QString& strGlyph, const QRectF& rcTarget,
               const QColor& crInk) {
    QSvgRenderer renderer(g_strSvgFolder + "/" + strGlyph + ".svg");
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render-icons: glyph %s not found\n", qPrintable(strGlyph));
        return false;
    }
    const QSize size = painter.device()
                           ? QSize(painter.device()->width(), painter.device()->height())
                           : QSize(kSquare, kSquare);
    QImage mask(size, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter maskPainter(&mask);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&maskPainter, rcTarget);
        maskPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        maskPainter.fillRect(mask.rect(), crInk);
    }
    painter.drawImage(0, 0, mask);
    return true;
}

void DrawTile(QPainter& painter, const QSize& size) {
    const qreal rRadius = size.height() * 0.18;
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSelectedTile);
    painter.drawRoundedRect(QRectF(QPointF(0, 0), size), rRadius, rRadius);
}

QRectF Scaled(const QRectF& rcUnit, const QSize& size) {
    return QRectF(rcUnit.x() * size.width(), rcUnit.y() * size.height(),
                  rcUnit.width() * size.width(), rcUnit.height() * size.height());
}

using Painter = std::function<bool(QPainter&, const QSize&, bool bSelected)>;

struct Icon {
    QString strName;
    QSize size;
    Painter paint;
};

Painter Glyphs(std::vector<Layer> layers, std::vector<Layer> selectedLayers = {}) {
    return [layers, selectedLayers](QPainter& painter, const QSize& size, bool bSelected) {
        const std::vector<Layer>& use =
            (bSelected && !selectedLayers.empty()) ? selectedLayers : layers;
        const QColor crInk = bSelected ? kSelectedInk : kNormalInk;
        for (const Layer& layer : use) {
            if (!DrawGlyph(painter, layer.strGlyph, Scaled(layer.rcBox, size),
                           layer.crFixed.isValid() ? layer.crFixed : crInk)) {
                return false;
            }
        }
        return true;
    };
}

Painter Glyph(const QString& strGlyph, const QString& strSelectedGlyph = QString()) {
    std::vector<Layer> selected;
    if (!strSelectedGlyph.isEmpty()) {
        selected.push_back({strSelectedGlyph, kGlyphBox, QColor()});
    }
    return Glyphs({{strGlyph, kGlyphBox, QColor()}}, selected);
}

// A glyph inside the set's focus brackets, the frame of the auto-focus
// glyph: the subject tells what the camera focuses on (a flower for near,
// mountains for far, as cameras mark macro and landscape focus).
Painter FocusOn(const QString& strSubject) {
    return Glyphs({{"crop-free", kGlyphBox, QColor()},
                   {strSubject, QRectF(0.26, 0.26, 0.48, 0.48), QColor()}});
}

// The glyph set's 24-unit grid mapped onto the glyph box, so that shapes
// drawn here share its proportions and its 2-unit stroke.
void UseGlyphGrid(QPainter& painter, const QSize& size) {
    const QRectF rcBox = Scaled(kGlyphBox, size);
    painter.translate(rcBox.topLeft());
    painter.scale(rcBox.width() / 24.0, rcBox.height() / 24.0);
}

// Brightness up and down as a pair: a full sun with long rays, and a smaller
// hollow sun whose rays have shrunk to dots.
Painter Sun(bool bBright) {
    return [bBright](QPainter& painter, const QSize& size, bool bSelected) {
        const QColor crInk = bSelected ? kSelectedInk : kNormalInk;
        UseGlyphGrid(painter, size);
        const QPointF ptCentre(12, 12);
        if (bBright) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(crInk);
            painter.drawEllipse(ptCentre, 5, 5);
        } else {
            painter.setPen(QPen(crInk, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(ptCentre, 3.5, 3.5);
        }
        painter.setPen(QPen(crInk, bBright ? 2 : 2.4, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 8; ++i) {
            const qreal rAngle = i * M_PI / 4;
            const QPointF ptDir(std::cos(rAngle), std::sin(rAngle));
            if (bBright) {
                painter.drawLine(ptCentre + ptDir * 8, ptCentre + ptDir * 11);
            } else {
                painter.drawPoint(ptCentre + ptDir * 8);
            }
        }
        return true;
    };
}

// The title strip: a page whose top band is set apart as its header.
Painter TitlePage() {
    return [](QPainter& painter, const QSize& size, bool bSelected) {
        const QColor crInk = bSelected ? kSelectedInk : kNormalInk;
        UseGlyphGrid(painter, size);
        painter.setPen(QPen(crInk, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(5, 3, 14, 18), 1.5, 1.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(crInk);
        painter.drawRoundedRect(QRectF(4, 2, 16, 7), 2, 2);
        painter.setPen(QPen(crInk, 2, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(8, 13), QPointF(16, 13));
        painter.drawLine(QPointF(8, 17), QPointF(13, 17));
        return true;
    };
}

// The spotlight: a rectangle of light, with a soft edge, in darkened
// surroundings. On the tile the surroundings take the ink and the light is
// the tile's colour.
Painter LitRectangle() {
    return [](QPainter& painter, const QSize& size, bool bSelected) {
        UseGlyphGrid(painter, size);
        QColor crSurround = bSelected ? kSelectedInk : kNormalInk;
        if (!bSelected) {
            crSurround.setAlphaF(0.4);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(crSurround);
        painter.drawRoundedRect(QRectF(2, 3, 20, 18), 2, 2);
        const QColor crLight = bSelected ? kSelectedTile : kNormalInk;
        const QRectF rcLit(7, 8, 10, 8);
        QColor crHalo = crLight;
        crHalo.setAlphaF(0.22);
        painter.setBrush(crHalo);
        for (int nStep = 4; nStep >= 1; --nStep) {
            const qreal rGrow = nStep * 0.8;
            painter.drawRoundedRect(rcLit.adjusted(-rGrow, -rGrow, rGrow, rGrow), 1 + rGrow,
                                    1 + rGrow);
        }
        painter.setBrush(crLight);
        painter.drawRect(rcLit);
        return true;
    };
}

// A pen width sample: a horizontal stroke of the given thickness.
Painter WidthSample(qreal rThickness) {
    return [rThickness](QPainter& painter, const QSize& size, bool bSelected) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(bSelected ? kSelectedInk : kNormalInk, rThickness, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        const qreal y = size.height() / 2.0;
        painter.drawLine(QPointF(size.width() * 0.16, y), QPointF(size.width() * 0.84, y));
        return true;
    };
}

// A colour swatch: a filled disc with a ring that separates it from any
// background (a black swatch on the dark panel, a yellow one on the tile).
Painter Swatch(const QColor& crFill) {
    return [crFill](QPainter& painter, const QSize& size, bool bSelected) {
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal rRing = size.width() * 0.07;
        const QRectF rcDisc(size.width() * 0.17, size.height() * 0.17, size.width() * 0.66,
                            size.height() * 0.66);
        painter.setPen(QPen(bSelected ? kSelectedInk : kNormalInk, rRing));
        if (crFill.isValid()) {
            painter.setBrush(crFill);
        } else {
            QConicalGradient wheel(rcDisc.center(), 90);
            const QColor hues[] = {Qt::red,   Qt::magenta, Qt::blue, Qt::cyan,
                                   Qt::green, Qt::yellow,  Qt::red};
            for (int i = 0; i < 7; ++i) {
                wheel.setColorAt(i / 6.0, hues[i]);
            }
            painter.setBrush(wheel);
        }
        painter.drawEllipse(rcDisc);
        return true;
    };
}

bool RenderIcon(const Icon& icon, bool bSelected, const QString& strFolder) {
    QImage image(icon.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        if (bSelected) {
            DrawTile(painter, icon.size);
        }
        if (!icon.paint(painter, icon.size, bSelected)) {
            return false;
        }
    }
    const QString strFile = strFolder + "/" + icon.strName + (bSelected ? "Sel" : "") + ".png";
    // No text chunks: the files stay byte-identical from run to run.
    image.setText(QString(), QString());
    if (!image.convertToFormat(QImage::Format_ARGB32).save(strFile, "PNG")) {
        std::fprintf(stderr, "render-icons: cannot write %s\n", qPrintable(strFile));
        return false;
    }
    return true;
}

std::vector<Icon> Icons() {
    const QSize square(kSquare, kSquare);
    const QSize widthButton(76, 39);
    return {
        // Camera and effect strip.
        {"Auto", square, Glyph("focus-auto")},
        {"Lamp", square, Glyph("lightbulb-outline", "lightbulb-on")},
        {"ZoomIn", square, Glyph("magnify-plus-outline")},
        {"ZoomOut", square, Glyph("magnify-minus-outline")},
        {"Brighten", square, Sun(true)},
        {"Darken", square, Sun(false)},
        {"FocusNear", square, FocusOn("flower")},
        {"FocusFar", square, FocusOn("image-filter-hdr")},
        {"Rotate", square, Glyph("rotate-right")},
        {"Mirror", square, Glyph("flip-horizontal")},
        {"Negative", square, Glyph("compare")},
        {"Title", square, TitlePage()},
        {"Frozen", square, Glyph("snowflake")},
        {"Mosaic", square, Glyph("checkerboard")},
        {"Emphasize", square, LitRectangle()},
        {"Shade", square, Glyph("curtains")},
        // Annotation tools.
        {"Line", square, Glyph("vector-line")},
        {"Doodle", square, Glyph("gesture")},
        {"Arrow", square, Glyph("arrow-top-right")},
        {"Triangle", square, Glyph("triangle-outline")},
        {"Rect", square, Glyph("rectangle-outline")},
        {"Round", square, Glyph("ellipse-outline")},
        {"Text", square, Glyph("format-text")},
        {"Erase", square, Glyph("eraser")},
        {"Clear", square, Glyph("delete-sweep-outline")},
        // Pen widths and colours.
        {"Line1", widthButton, WidthSample(1.5)},
        {"Line2", widthButton, WidthSample(3.5)},
        {"Line3", widthButton, WidthSample(6)},
        {"Line4", widthButton, WidthSample(9)},
        {"Blue", square, Swatch(QColor(0, 0, 255))},
        {"Red", square, Swatch(QColor(255, 0, 0))},
        {"Yellow", square, Swatch(QColor(255, 255, 0))},
        {"Black", square, Swatch(QColor(0, 0, 0))},
        {"More", square, Swatch(QColor())},
        // Photo, recording, settings and storage folder.
        {"Photo", square, Glyph("camera-outline")},
        {"Record", square,
         Glyphs({{"video-outline", QRectF(0.06, 0.06, 0.88, 0.88), QColor()}},
                {{"record-rec", QRectF(0.0, 0.0, 1.0, 1.0), QColor(211, 32, 32)}})},
        {"Setting", square, Glyph("cog-outline")},
        {"Info", square, Glyph("folder-outline")},
    };
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: render-icons <svg folder> <output folder>\n");
        return 2;
    }
    g_strSvgFolder = QString::fromLocal8Bit(argv[1]);
    const QString strOut = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(strOut)) {
        std::fprintf(stderr, "render-icons: cannot create %s\n", argv[2]);
        return 1;
    }
    int nWritten = 0;
    for (const Icon& icon : Icons()) {
        for (bool bSelected : {false, true}) {
            if (!RenderIcon(icon, bSelected, strOut)) {
                return 1;
            }
            ++nWritten;
        }
    }
    std::printf("render-icons: %d files in %s\n", nWritten, argv[2]);
    return 0;
}

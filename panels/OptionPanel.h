#pragma once

#include <QColor>
#include <QWidget>

#include <vector>

class QAbstractButton;
class QButtonGroup;
class QPushButton;

// The pen of the chosen annotation tool: four width buttons, four colour
// buttons and a "more" button that opens a colour dialog. When the tool
// changes it loads that tool's stored width and colour from the settings and
// announces them; it never writes the settings itself (the view stores what
// it announces).
class OptionPanel : public QWidget {
    Q_OBJECT

public:
    explicit OptionPanel(QWidget* parent = nullptr);
    ~OptionPanel() override;

    // The settings group that holds a tool's pen ("Line", … "Text"); empty
    // for tools without a pen (eraser, clear, emphasize, shade, none).
    static QString PenGroup(int nOperation);

signals:
    // crColor refers to a temporary made for the emission: receivers copy it.
    void OptionSettingChanged(int nWidthIndex, QColor& crColor);

public slots:
    void OnPenTypeChanged(int nOperation);
    void OnSizeButtonClicked(QAbstractButton* button);
    void OnColorButtonClicked(QAbstractButton* button);
    void OnMoreColorButtonClicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct ColorEntry {
        QPushButton* pButton;
        QString strIconBase;
        QRgb crValue;
    };

    void SetupForm();
    void Retranslate();
    void LoadStartupPen();
    void ChangeWidth(int nWidthIndex);
    void ChangeColor(QRgb crValue);
    // The colour button that stands for a value: a table colour, else "more".
    const ColorEntry& EntryFor(QRgb crValue) const;
    void Announce();

    int m_nWidthIndex = 0;
    QRgb m_crColor = 0;
    QButtonGroup* m_pWidthGroup = nullptr;
    QButtonGroup* m_pColorGroup = nullptr;
    std::vector<QPushButton*> m_widthButtons;
    // The four table colours, then "more".
    std::vector<ColorEntry> m_colors;
};

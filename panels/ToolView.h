#pragma once

#include <QWidget>

class OptionPanel;
class RemarkView;

// The left column of the main window: a caption and the tool buttons, then
// a caption and the pen options. The main window wires the two panels.
class ToolView : public QWidget {
    Q_OBJECT

public:
    explicit ToolView(QWidget* parent = nullptr);
    ~ToolView() override;

    RemarkView* GetRemarkView() const { return m_pRemarkView; }
    OptionPanel* GetOptionPanel() const { return m_pOptionPanel; }
    // The height the column needs to show both panels completely.
    int RequiredHeight() const { return m_nRequiredHeight; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RemarkView* m_pRemarkView = nullptr;
    OptionPanel* m_pOptionPanel = nullptr;
    int m_nRequiredHeight = 0;
};

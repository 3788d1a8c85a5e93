#pragma once

#include <QWidget>

#include <vector>

class QPushButton;

// The annotation tool buttons. A click announces the tool twice: its kind
// (RemarkTypeChanged: 1 pen tool, 2 text, 0 no pen) and its remark operation
// (RemarkOperationChanged). The emphasize and shade buttons of the control
// panel arrive through OnOneControlHappend and take the current tool away.
class RemarkView : public QWidget {
    Q_OBJECT

public:
    explicit RemarkView(QWidget* parent = nullptr);
    ~RemarkView() override;

signals:
    void RemarkTypeChanged(int nType);
    void RemarkOperationChanged(int nOperation);

public slots:
    void OnOneControlHappend(int nType);
    void OnClickLineButton();
    void OnClickDoodleButton();
    void OnClickArrowButton();
    void OnClickTriangleButton();
    void OnClickRectButton();
    void OnClickDiamondButton();
    void OnClickRoundButton();
    void OnClickTextButton();
    void OnClickEraseButton();
    void OnClickClearButton();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Tool {
        int nOperation;
        QPushButton* pButton;
        QString strIconBase;
    };

    void SetupForm();
    void Retranslate();
    // Announces a tool, then moves the on-state look to its button.
    void ChooseTool(int nType, int nOperation);
    // The tool button of an operation, or null (clear, diamond, emphasize,
    // shade and none have no button that shows a state).
    const Tool* FindTool(int nOperation) const;

    int m_nOperation = 0;
    std::vector<Tool> m_tools;
    QPushButton* m_pLineButton = nullptr;
    QPushButton* m_pDoodleButton = nullptr;
    QPushButton* m_pArrowButton = nullptr;
    QPushButton* m_pTriangleButton = nullptr;
    QPushButton* m_pRectButton = nullptr;
    QPushButton* m_pRoundButton = nullptr;
    QPushButton* m_pTextButton = nullptr;
    QPushButton* m_pEraserButton = nullptr;
    QPushButton* m_pClearButton = nullptr;
};

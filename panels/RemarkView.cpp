#include "panels/RemarkView.h"

#include "panels/ControlType.h"
#include "panels/PanelLook.h"
#include "render/RemarkType.h"

#include <QPushButton>

namespace {
// Kinds of tool announced through RemarkTypeChanged.
const int kTypeNoPen = 0;
const int kTypePen = 1;
const int kTypeText = 2;

const int kButtonLeft = 4;
const int kButtonTop = 4;
const int kButtonStep = 34;
} // namespace

RemarkView::RemarkView(QWidget* parent) : QWidget(parent) {
    SetupForm();
    connect(m_pLineButton, &QPushButton::clicked, this, &RemarkView::OnClickLineButton);
    connect(m_pDoodleButton, &QPushButton::clicked, this, &RemarkView::OnClickDoodleButton);
    connect(m_pArrowButton, &QPushButton::clicked, this, &RemarkView::OnClickArrowButton);
    connect(m_pTriangleButton, &QPushButton::clicked, this, &RemarkView::OnClickTriangleButton);
    connect(m_pRectButton, &QPushButton::clicked, this, &RemarkView::OnClickRectButton);
    connect(m_pRoundButton, &QPushButton::clicked, this, &RemarkView::OnClickRoundButton);
    connect(m_pTextButton, &QPushButton::clicked, this, &RemarkView::OnClickTextButton);
    connect(m_pEraserButton, &QPushButton::clicked, this, &RemarkView::OnClickEraseButton);
    connect(m_pClearButton, &QPushButton::clicked, this, &RemarkView::OnClickClearButton);
}

RemarkView::~RemarkView() = default;

void RemarkView::SetupForm() {
    if (objectName().isEmpty()) {
        setObjectName("RemarkView");
    }
    setFixedSize(184, 310);
    setFocusPolicy(Qt::StrongFocus);

    struct Entry {
        QPushButton** ppButton;
        const char* szName;
        const char* szIconBase;
        int nOperation;
    };
    const Entry entries[] = {
        {&m_pLineButton, "lineButton", "Line", RemarkLine},
        {&m_pDoodleButton, "doodleButton", "Doodle", RemarkDoodle},
        {&m_pArrowButton, "arrowButton", "Arrow", RemarkArrow},
        {&m_pTriangleButton, "triangleButton", "Triangle", RemarkTriangle},
        {&m_pRectButton, "rectButton", "Rect", RemarkRectangle},
        {&m_pRoundButton, "roundButton", "Round", RemarkEllipse},
        {&m_pTextButton, "textButton", "Text", RemarkText},
        {&m_pEraserButton, "eraserButton", "Erase", RemarkEraser},
        {&m_pClearButton, "clearButton", "Clear", RemarkClear},
    };
    int y = kButtonTop;
    for (const Entry& entry : entries) {
        QPushButton* pButton = new QPushButton(this);
        pButton->setObjectName(QString::fromLatin1(entry.szName));
        pButton->setGeometry(kButtonLeft, y, 176, 30);
        pButton->setFlat(true);
        pButton->setIconSize(QSize(24, 24));
        SetButtonSelected(pButton, QString::fromLatin1(entry.szIconBase), false);
        *entry.ppButton = pButton;
        // Clear is an action, not a tool: it never shows an on-state.
        if (entry.nOperation != RemarkClear) {
            m_tools.push_back({entry.nOperation, pButton, QString::fromLatin1(entry.szIconBase)});
        }
        y += kButtonStep;
    }
    Retranslate();
}

void RemarkView::Retranslate() {
    const std::pair<QPushButton*, QString> texts[] = {
        {m_pLineButton, tr("直线")},      {m_pDoodleButton, tr("曲线")},
        {m_pArrowButton, tr("箭头")},     {m_pTriangleButton, tr("三角形")},
        {m_pRectButton, tr("矩形")},      {m_pRoundButton, tr("圆形")},
        {m_pTextButton, tr("文字")},      {m_pEraserButton, tr("橡皮檫")},
        {m_pClearButton, tr("擦除全部")},
    };
    for (const auto& text : texts) {
        text.first->setText(text.second);
        text.first->setToolTip(text.second);
    }
}

const RemarkView::Tool* RemarkView::FindTool(int nOperation) const {
    for (const Tool& tool : m_tools) {
        if (tool.nOperation == nOperation) {
            return &tool;
        }
    }
    return nullptr;
}

void RemarkView::ChooseTool(int nType, int nOperation) {
    // Both are announced even for the current tool: the option panel then
    // re-announces the stored pen of that tool.
    emit RemarkTypeChanged(nType);
    emit RemarkOperationChanged(nOperation);
    if (nOperation == m_nOperation) {
        return;
    }
    if (const Tool* pOld = FindTool(m_nOperation)) {
        SetButtonSelected(pOld->pButton, pOld->strIconBase, false);
    }
    m_nOperation = nOperation;
    if (const Tool* pNew = FindTool(nOperation)) {
        SetButtonSelected(pNew->pButton, pNew->strIconBase, true);
    }
}

void RemarkView::OnOneControlHappend(int nType) {
    switch (nType) {
    case CONTROL_EMPHASIZE_ON:
        ChooseTool(kTypeNoPen, RemarkEmphasize);
        break;
    case CONTROL_SHADE_ON:
        ChooseTool(kTypeNoPen, RemarkShade);
        break;
    case CONTROL_EFFECT_OFF:
        ChooseTool(kTypeNoPen, RemarkNone);
        break;
    default:
        break;
    }
}

void RemarkView::OnClickLineButton() {
    ChooseTool(kTypePen, RemarkLine);
}

void RemarkView::OnClickDoodleButton() {
    ChooseTool(kTypePen, RemarkDoodle);
}

void RemarkView::OnClickArrowButton() {
    ChooseTool(kTypePen, RemarkArrow);
}

void RemarkView::OnClickTriangleButton() {
    ChooseTool(kTypePen, RemarkTriangle);
}

void RemarkView::OnClickRectButton() {
    ChooseTool(kTypePen, RemarkRectangle);
}

void RemarkView::OnClickDiamondButton() {
    ChooseTool(kTypePen, RemarkDiamond);
}

void RemarkView::OnClickRoundButton() {
    ChooseTool(kTypePen, RemarkEllipse);
}

void RemarkView::OnClickTextButton() {
    ChooseTool(kTypeText, RemarkText);
}

void RemarkView::OnClickEraseButton() {
    ChooseTool(kTypeNoPen, RemarkEraser);
}

void RemarkView::OnClickClearButton() {
    // Clearing is done once by the view; the chosen tool stays chosen.
    emit RemarkOperationChanged(RemarkClear);
}

void RemarkView::paintEvent(QPaintEvent*) {
    FillPanel(this, kToolColumnColor);
}

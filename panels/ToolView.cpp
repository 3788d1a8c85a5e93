#include "panels/ToolView.h"

#include "panels/OptionPanel.h"
#include "panels/PanelLook.h"
#include "panels/RemarkView.h"

#include <QLabel>

namespace {
const int kGap = 4;
const int kPanelLeft = 16;

QLabel* MakeCaption(QWidget* parent, const char* szName, const QString& strText) {
    QLabel* pLabel = new QLabel(parent);
    pLabel->setObjectName(QString::fromLatin1(szName));
    pLabel->setFixedSize(192, 24);
    pLabel->setIndent(6);
    pLabel->setAutoFillBackground(false);
    pLabel->setStyleSheet("background-color: rgb(96, 104, 116);\ncolor: rgb(255, 255, 255);");
    pLabel->setText(strText);
    return pLabel;
}
} // namespace

ToolView::ToolView(QWidget* parent) : QWidget(parent) {
    if (objectName().isEmpty()) {
        setObjectName("ToolView");
    }
    setWindowTitle(tr("Form"));
    resize(200, 300);
    setMinimumWidth(200);
    setMaximumWidth(200);

    QLabel* pRemarkGroup = MakeCaption(this, "remarkGroup", tr("工具箱"));
    QLabel* pOptionGroup = MakeCaption(this, "optionGroup", tr("选项栏"));
    m_pRemarkView = new RemarkView(this);
    m_pOptionPanel = new OptionPanel(this);

    int y = kGap;
    pRemarkGroup->move(kGap, y);
    y += pRemarkGroup->minimumHeight() + kGap;
    m_pRemarkView->move(kPanelLeft, y);
    y += m_pRemarkView->minimumHeight() + kGap;
    pOptionGroup->move(kGap, y);
    y += pOptionGroup->minimumHeight() + kGap;
    m_pOptionPanel->move(kPanelLeft, y);
    m_nRequiredHeight = y + kGap + m_pOptionPanel->minimumHeight();

    m_pRemarkView->show();
    m_pOptionPanel->show();
}

ToolView::~ToolView() = default;

void ToolView::paintEvent(QPaintEvent*) {
    FillPanel(this, kToolColumnColor);
}

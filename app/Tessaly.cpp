#include "app/Tessaly.h"

#include "panels/ControlPanel.h"
#include "panels/OptionPanel.h"
#include "panels/RemarkView.h"
#include "panels/SettingPanel.h"
#include "panels/ToolView.h"
#include "view/VideoView.h"

#include <QApplication>
#include <QFrame>

namespace {

QFrame* MakeSplitLine(QWidget* pParent, const char* szName, QFrame::Shape nShape,
                      const QRect& rcDesigned) {
    auto* pLine = new QFrame(pParent);
    pLine->setObjectName(QString::fromLatin1(szName));
    pLine->setGeometry(rcDesigned);
    pLine->setFrameShape(nShape);
    pLine->setFrameShadow(QFrame::Sunken);
    return pLine;
}

} // namespace

Tessaly::Tessaly(QWidget* pParent) : QMainWindow(pParent) {
    if (objectName().isEmpty()) {
        setObjectName("TessalyClass");
    }
    resize(1251, 772);
    setWindowTitle(QApplication::translate("TessalyClass", "Orvane"));
    auto* pCentral = new QWidget(this);
    pCentral->setObjectName("centralWidget");
    setCentralWidget(pCentral);
    m_pHorSplitLine = MakeSplitLine(pCentral, "horSplitLine", QFrame::HLine, {20, 420, 118, 2});
    m_pVerSplitLine = MakeSplitLine(pCentral, "verSplitLine", QFrame::VLine, {350, 270, 2, 61});

    // The video view opens the camera as it is made.
    m_pToolView = new ToolView(this);
    m_pToolView->show();
    m_pSettingPanel = new SettingPanel(this);
    m_pSettingPanel->show();
    m_pVideoView = new VideoView(this);
    m_pVideoView->show();
    m_pControlPanel = new ControlPanel(this);
    m_pControlPanel->show();

    LayOut();

    // Receivers of one signal run in the order connected: a tool change
    // reaches the view before the option panel, whose answer (the tool's
    // stored pen) is then the one in force; a control code reaches the tool
    // panel before the view.
    RemarkView* pRemarkView = m_pToolView->GetRemarkView();
    OptionPanel* pOptionPanel = m_pToolView->GetOptionPanel();
    connect(pRemarkView, &RemarkView::RemarkTypeChanged, this, &Tessaly::OnRemarkTypeChanged);
    connect(pRemarkView, &RemarkView::RemarkOperationChanged, m_pVideoView,
            &VideoView::OnRemarkOperationChanged);
    connect(pOptionPanel, &OptionPanel::OptionSettingChanged, m_pVideoView,
            &VideoView::OptionSettingChanged);
    connect(m_pControlPanel, &ControlPanel::OneControlHappend, pRemarkView,
            &RemarkView::OnOneControlHappend);
    connect(m_pControlPanel, &ControlPanel::OneControlHappend, m_pVideoView,
            &VideoView::OnOneControlHappend);
    connect(m_pSettingPanel, &SettingPanel::OneControlHappend, m_pVideoView,
            &VideoView::OnSetControlHappend);
    connect(pRemarkView, &RemarkView::RemarkOperationChanged, pOptionPanel,
            &OptionPanel::OnPenTypeChanged);
    connect(pRemarkView, &RemarkView::RemarkOperationChanged, m_pControlPanel,
            &ControlPanel::OnOptionChanged);
}

Tessaly::~Tessaly() = default;

void Tessaly::OnRemarkTypeChanged(int nType) {
    if (nType != m_nRemarkType) {
        m_nRemarkType = nType;
        LayOut();
    }
}

void Tessaly::resizeEvent(QResizeEvent* pEvent) {
    QMainWindow::resizeEvent(pEvent);
    LayOut();
}

void Tessaly::LayOut() {
    const QSize szPanel = m_pSettingPanel->minimumSize();
    const int nToolHeight = m_pToolView->RequiredHeight();
    const int nRowWidth = m_pControlPanel->ButtonRowWidth();
    setMinimumSize(szPanel.width() + 2 + nRowWidth, nToolHeight + 2 + szPanel.height());

    const int nWidth = std::max(width(), minimumWidth());
    const int nHeight = std::max(height(), minimumHeight());
    const int y0 = nHeight - szPanel.height();
    m_rcBottom = QRect(0, y0, nWidth, nHeight - y0);
    m_rcTool = QRect(0, 0, szPanel.width(), y0 - 2);
    m_rcVideo = QRect(szPanel.width() + 1, 0, nWidth - szPanel.width() - 1, y0 - 3);

    m_pToolView->move(m_rcTool.topLeft());
    m_pToolView->setFixedSize(m_rcTool.size());
    m_pVideoView->move(m_rcVideo.topLeft());
    m_pVideoView->setFixedSize(m_rcVideo.size());
    m_pSettingPanel->move(0, y0);
    m_pControlPanel->move(m_rcVideo.left(), y0);
    m_pControlPanel->setFixedWidth(m_rcVideo.width());
    m_pControlPanel->setFixedHeight(nHeight - y0);
    m_pHorSplitLine->move(0, y0 - 1);
    m_pHorSplitLine->setFixedSize(nWidth, 2);
    m_pVerSplitLine->move(szPanel.width(), 0);
    m_pVerSplitLine->setFixedSize(2, y0 - 2);
}

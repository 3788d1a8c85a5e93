// Writes offscreen pictures of the panels, as the program shows them (with
// its style sheet), for the documentation:
//
//   panel_pictures <output folder> [translation .qm]
//
// Runs without a configuration file, so every pen is the default one.

#include "panels/ControlPanel.h"
#include "panels/OptionPanel.h"
#include "panels/RemarkView.h"
#include "panels/ToolView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTranslator>

#include <cstdio>

namespace {

bool Save(QWidget* pWidget, const QString& strFile) {
    if (!pWidget->grab().save(strFile, "PNG")) {
        std::fprintf(stderr, "panel_pictures: cannot write %s\n", qPrintable(strFile));
        return false;
    }
    std::printf("%s\n", qPrintable(strFile));
    return true;
}

void Click(QWidget* pPanel, const char* szName) {
    if (auto* pButton = pPanel->findChild<QAbstractButton*>(QString::fromLatin1(szName))) {
        pButton->click();
    }
}

// The tool column with the panels wired as in the main window and one tool
// chosen, so that both the normal and the selected look show.
bool SaveToolView(const QString& strFile, const char* szTool) {
    ToolView view;
    QObject::connect(view.GetRemarkView(), &RemarkView::RemarkOperationChanged,
                     view.GetOptionPanel(), &OptionPanel::OnPenTypeChanged);
    view.resize(200, view.RequiredHeight());
    Click(view.GetRemarkView(), szTool);
    return Save(&view, strFile);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: panel_pictures <output folder> [translation .qm]\n");
        return 2;
    }
    const QString strOut = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(strOut);
    QFile sheet(":/Tessaly/Resources/Tessaly.qss");
    if (sheet.open(QIODevice::ReadOnly)) {
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }

    bool bOk = true;
    {
        ControlPanel panel;
        panel.resize(1058, 72);
        bOk &= Save(&panel, strOut + "/control-panel.png");
        for (const char* szName :
             {"ledButton", "mirrorButton", "negativeButton", "emphasizeButton"}) {
            Click(&panel, szName);
        }
        bOk &= Save(&panel, strOut + "/control-panel-active.png");
    }
    bOk &= SaveToolView(strOut + "/tool-view.png", "lineButton");
    {
        RemarkView remarkView;
        Click(&remarkView, "arrowButton");
        bOk &= Save(&remarkView, strOut + "/remark-view.png");
        OptionPanel optionPanel;
        bOk &= Save(&optionPanel, strOut + "/option-panel.png");
    }

    if (argc > 2) {
        QTranslator translator;
        if (!translator.load(QString::fromLocal8Bit(argv[2])) ||
            !QCoreApplication::installTranslator(&translator)) {
            std::fprintf(stderr, "panel_pictures: cannot load %s\n", argv[2]);
            return 1;
        }
        bOk &= SaveToolView(strOut + "/tool-view-en.png", "textButton");
    }
    return bOk ? 0 : 1;
}

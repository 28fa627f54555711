// Shows a columned tree view with its demonstration content under a visible header whose columns can be
// resized and moved. With --grab FILE.png it renders the window offscreen into FILE.png and exits.
#include "platform/ui/StyleManager.h"
#include "treelist/TreeList.h"

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const char* grabFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--grab") == 0 && i + 1 < argc) {
            grabFile = argv[++i];
        } else {
            std::fprintf(stderr, "usage: treelist-demo [--grab FILE.png]\n");
            return 2;
        }
    }
    if (grabFile && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    platform::ui::TStyleManager::TrySetStyle(u"Luna");

    QWidget window;
    window.setWindowTitle(QStringLiteral("treelist-demo"));
    window.resize(360, 230);

    auto* tree = new treelist::TTreeList(&window); // owned by the window
    tree->SetBounds(8, 24, 344, 198);
    tree->HeaderSettings().SetAllowResize(true);
    tree->HeaderSettings().SetAllowMove(true);
    tree->TestFill();
    tree->Columns().Items(0).SetWidth(110);
    tree->Columns().Items(1).SetWidth(80);
    tree->Columns().Items(1).SetAlignment(treelist::TAlignment::taCenter);
    tree->Columns().Items(1).SetHeaderAlign(treelist::TAlignment::taCenter);
    tree->Columns().Items(2).SetAlignment(treelist::TAlignment::taRightJustify);
    tree->Columns().Items(2).SetHeaderAlign(treelist::TAlignment::taRightJustify);
    auto nodes = tree->NodesInTreeOrder();
    tree->AddChildNode(nodes[1], u"child of item 2;b;20")->Parent()->Expand(false);
    tree->SetSelected(nodes[3]);
    tree->Loaded();
    window.show();

    if (grabFile) {
        app.processEvents();
        if (!window.grab().save(QString::fromLocal8Bit(grabFile))) {
            std::fprintf(stderr, "treelist-demo: cannot write %s\n", grabFile);
            return 1;
        }
        return 0;
    }
    return app.exec();
}

#include "app/Report.h"

#include "app/CheckDialog.h"
#include "app/SentenceLog.h"
#include "treelist/TreeList.h"
#include "treelist/TreeNode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>

namespace app {

namespace {

std::string U8(const platform::Text& text)
{
    return platform::TextToUtf8(text);
}

// A log line keeps the line ends of earlier text that no '$' or '!' ended; in the report each item stays
// on one line, so those become blanks.
std::string OneLine(platform::Text text)
{
    for (char16_t& c : text)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    return U8(text);
}


} // namespace

std::vector<std::string> ScanReport(const TForm1& form)
{
    std::vector<std::string> out;
    for (const treelist::TTreeNode* node : form.ResultList->NodesInTreeOrder())
        out.push_back("node " + std::to_string(node->Level()) + " " + U8(node->Text()));
    for (int k = 0; k < form.ListBox2->count(); ++k)
        out.push_back("log " + OneLine(LogLineWithoutLineEnd(*form.ListBox2->item(k))));
    out.push_back("status " + U8(form.StatusText()));
    for (int k = 0; k < form.cboMainGPS->count(); ++k)
        out.push_back("main-gps " + form.cboMainGPS->itemText(k).toStdString());
    out.push_back(std::string("main-gps-visible ") + (form.cboMainGPS->isHidden() ? "no" : "yes"));
    out.push_back(std::string("ais-gps-visible ") + (form.AisGps->isHidden() ? "no" : "yes"));
    out.push_back("data-connections " + U8(form.DataConnectionsValue()));
    return out;
}

} // namespace app

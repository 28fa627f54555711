// Accept: the found AIS and GPS ports become the chart program's data connections.
#include "app/CheckDialog.h"
#include "app/DataConnections.h"
#include "app/ScanState.h"
#include "platform/Environment.h"

namespace app {

void TForm1::Ok_btnClick(QObject*)
{
    const std::string path = ChartConfigPath(platform::EnvironmentVariable("ALLUSERSPROFILE"));
    WriteDataConnections(path, BuildDataConnections(state_->FoundPorts));
    close();
}

} // namespace app

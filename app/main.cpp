// Program start: the visual style, the title, the translations data module, the check dialog, the
// message loop. With --report the scan runs without a user and its result goes to standard output.
#include "app/CheckDialog.h"
#include "app/CommandLine.h"
#include "app/DataModuleStart.h"
#include "app/HandlerGuard.h"
#include "app/Report.h"
#include "platform/Text.h"
#include "platform/ui/Application.h"
#include "platform/ui/StyleManager.h"
#include "translations/Taal.h"

#include <QApplication>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

bool NoDisplay()
{
#ifdef Q_OS_WIN
    return false; // a Windows session always has a desktop
#else
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<platform::Text> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(platform::Utf8ToText(argv[i]));
    const std::string program = argc > 0 && argv[0] ? argv[0] : "Sondral";
    auto parsed = app::ParseCommandLine(arguments);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << program << ": " << *error << "\n" << app::UsageText(program);
        return 2;
    }
    const app::TProgramOptions options = std::get<app::TProgramOptions>(std::move(parsed));

    if (options.Report && NoDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    platform::ui::TApplication application(argc, argv);
    if (options.Report) {
        // Nobody is there to close a message box: errors go to standard error and the run goes on.
        application.SetErrorBoxHook([](const QString&, const QString& message) {
            std::cerr << "Sondral: " << message.toStdString() << "\n";
        });
    }
    app::GuardedCall([] {
        if (!platform::ui::TStyleManager::TrySetStyle(u"Luna"))
            throw std::runtime_error("The visual style Luna cannot be applied");
    });
    application.SetTitle(u"Sondral");

    const std::unique_ptr<translations::TTaal_dat> taal = app::CreateTaal_dat(application);
    app::TForm1 form(*taal, options);
    if (options.Report) {
        form.OnScanFinished = [&form] {
            for (const std::string& line : app::ScanReport(form))
                std::cout << line << '\n';
            std::cout.flush();
            QApplication::exit(0);
        };
    }
    form.show();
    return application.Run();
}

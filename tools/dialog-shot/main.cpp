// dialog-shot: runs one scan in the check dialog, as "Sondral extern" would, and saves a picture of the
// dialog when the scan has finished. Without a display it runs on Qt's offscreen platform.
//   dialog-shot [--window-ms N] OUTPUT.png
#include "app/CheckDialog.h"
#include "app/CommandLine.h"
#include "platform/ui/Application.h"
#include "platform/ui/StyleManager.h"
#include "translations/Taal.h"

#include <QPixmap>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<platform::Text> arguments{u"extern"};
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) == 0 || (i > 1 && std::string(argv[i - 1]) == "--window-ms"))
            arguments.push_back(platform::Utf8ToText(arg));
        else
            output = arg;
    }
    auto parsed = app::ParseCommandLine(arguments);
    if (output.empty() || std::holds_alternative<std::string>(parsed)) {
        std::cerr << "usage: dialog-shot [--window-ms N] OUTPUT.png\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    platform::ui::TApplication application(argc, argv);
    application.SetErrorBoxHook(
        [](const QString&, const QString& message) { std::cerr << "dialog-shot: " << message.toStdString() << "\n"; });
    platform::ui::TStyleManager::TrySetStyle(u"Luna");
    application.SetTitle(u"Sondral");
    translations::TTaal_dat taal;
    app::TForm1 form(taal, std::get<app::TProgramOptions>(std::move(parsed)));
    int rc = 0;
    form.OnScanFinished = [&] {
        if (!form.grab().save(QString::fromStdString(output), "PNG")) {
            std::cerr << "dialog-shot: cannot write " << output << "\n";
            rc = 1;
        }
        form.close();
    };
    form.show();
    application.Run();
    return rc;
}

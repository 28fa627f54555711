// The application object: Qt's application with the services the forms rely on: processing pending
// messages (including queued Synchronize calls of worker threads), showing an error that reaches the
// toolkit in the standard error box and going on, and the title. The title names the application where the
// desktop shows it (task-bar grouping, the desktop entry, error boxes); it never becomes part of a window's
// caption, which stays exactly what the form sets.
#pragma once

#include "platform/Text.h"

#include <QApplication>

#include <exception>
#include <functional>
#include <memory>

namespace platform::ui {

class TApplication : public QApplication {
public:
    // Replaces the standard error box, e.g. in tests: receives the box's title and message.
    using TErrorBoxHook = std::function<void(const QString& title, const QString& message)>;

    // argc and argv must outlive the application (as main's do). Marks the calling thread as the main
    // thread and installs the wake-up hook through which worker threads' Synchronize calls reach the loop.
    TApplication(int& argc, char** argv);
    ~TApplication() override;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // The running application object, or null when there is none (or it is a plain QApplication).
    static TApplication* Instance();

    // Processes every pending event, then runs the queued Synchronize calls.
    void ProcessMessages();
    // Shows the error's message in the standard error box (QMessageBox::critical) and returns.
    void HandleException(std::exception_ptr error);
    int Run(); // the message loop

    Text Title() const;
    void SetTitle(const Text& title);

    void SetErrorBoxHook(TErrorBoxHook hook);

    // The desktop entry (without ".desktop") that launches this program.
    static constexpr char DesktopFileName[] = "sondral";

    // Events whose handler throws end up in HandleException; the program goes on.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    struct WakeUpTarget;

    Text title_;
    TErrorBoxHook errorBoxHook_;
    std::shared_ptr<WakeUpTarget> wakeUpTarget_;
};

// The message an error box shows for an exception: what() for standard exceptions.
QString ExceptionMessage(std::exception_ptr error);

} // namespace platform::ui

#include "platform/ui/Application.h"

#include "platform/Thread.h"
#include "platform/ui/DesignFonts.h"
#include "platform/ui/QtText.h"

#include <QMessageBox>
#include <QMetaObject>

#include <mutex>

namespace platform::ui {

// The object the wake-up hook posts to. A worker may still hold a copy of the hook while the application
// ends, so the hook reaches the application only through this guarded pointer, cleared on destruction.
struct TApplication::WakeUpTarget {
    std::mutex mutex;
    QObject* target = nullptr;
};

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv), wakeUpTarget_(std::make_shared<WakeUpTarget>())
{
    SetTitle(u"Sondral");
    setDesktopFileName(QString::fromLatin1(DesktopFileName));
    RegisterDesignFonts();
    SetMainThread();
    wakeUpTarget_->target = this;
    // Called from any thread when a Synchronize call was queued: a queued call into the main thread wakes
    // the event loop, which then runs the queue.
    SetSynchronizeWakeUp([target = wakeUpTarget_] {
        const std::lock_guard lock(target->mutex);
        if (target->target)
            QMetaObject::invokeMethod(target->target, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
}

TApplication::~TApplication()
{
    SetSynchronizeWakeUp({});
    const std::lock_guard lock(wakeUpTarget_->mutex);
    wakeUpTarget_->target = nullptr;
}

TApplication* TApplication::Instance()
{
    return dynamic_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    CheckSynchronize();
}

void TApplication::HandleException(std::exception_ptr error)
{
    const QString message = ExceptionMessage(error);
    const QString title = ToQString(title_);
    if (errorBoxHook_) {
        errorBoxHook_(title, message);
        return;
    }
    QMessageBox::critical(activeWindow(), title, message);
}

int TApplication::Run()
{
    return exec();
}

Text TApplication::Title() const
{
    return title_;
}

void TApplication::SetTitle(const Text& title)
{
    // The application name, not the display name: Qt appends a display name to every window caption on
    // X11 and Wayland. The name gives the window class that task bars group by (WM_CLASS on X11).
    title_ = title;
    setApplicationName(ToQString(title));
}

void TApplication::SetErrorBoxHook(TErrorBoxHook hook)
{
    errorBoxHook_ = std::move(hook);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

QString ExceptionMessage(std::exception_ptr error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown exception");
    }
}

} // namespace platform::ui

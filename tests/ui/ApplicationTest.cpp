#include "platform/Thread.h"
#include "platform/ui/Application.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using platform::ui::TApplication;

namespace {

// A worker that hands one call to the main thread.
class SyncWorker : public platform::TThread {
public:
    explicit SyncWorker(std::function<void()> call) : TThread(true), call_(std::move(call)) {}
    ~SyncWorker() override { WaitFor(); }

protected:
    void Execute() override { Synchronize(call_); }

private:
    std::function<void()> call_;
};

// An object whose event handler fails.
class Failing : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("Port COM3 could not be opened");
        return QObject::event(e);
    }
};

TEST(Application, IsTheApplicationObjectWithItsTitle)
{
    TApplication* app = TApplication::Instance();
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->Title(), u"Sondral");
    EXPECT_TRUE(platform::IsMainThread());
}

TEST(Application, ProcessMessagesRunsAWorkersSynchronizeCall)
{
    std::atomic<bool> ran{false};
    std::atomic<bool> onMain{false};
    SyncWorker worker([&] {
        onMain = platform::IsMainThread();
        ran = true;
    });
    worker.Start();
    // The worker blocks in Synchronize until the main thread runs its call.
    for (int i = 0; i < 20000 && !worker.Finished(); ++i) {
        TApplication::Instance()->ProcessMessages();
        std::this_thread::yield();
    }
    EXPECT_TRUE(ran);
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(worker.Finished());
}

TEST(Application, TheWakeUpHookLetsTheEventLoopRunSynchronizeCalls)
{
    QEventLoop loop;
    std::atomic<bool> ran{false};
    SyncWorker worker([&] {
        ran = platform::IsMainThread();
        loop.quit();
    });
    QTimer guard; // ends the loop should the call never arrive
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(20000);
    worker.Start();
    loop.exec(); // no ProcessMessages: only the posted wake-up can run the call
    EXPECT_TRUE(ran);
    EXPECT_TRUE(guard.isActive());
}

TEST(Application, AnErrorInAHandlerIsShownAndTheProgramGoesOn)
{
    TApplication* app = TApplication::Instance();
    QString title, message;
    int boxes = 0;
    app->SetErrorBoxHook([&](const QString& t, const QString& m) {
        title = t;
        message = m;
        ++boxes;
    });
    Failing failing;
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    bool later = false;
    QTimer::singleShot(0, &failing, [&] { later = true; });
    app->ProcessMessages();
    app->ProcessMessages();
    app->SetErrorBoxHook({});
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(title, QStringLiteral("Sondral"));
    EXPECT_EQ(message, QStringLiteral("Port COM3 could not be opened"));
    EXPECT_TRUE(later);
}

TEST(Application, HandleExceptionShowsTheStandardErrorBox)
{
    TApplication* app = TApplication::Instance();
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            icon = box->icon();
            box->accept();
        }
    });
    app->HandleException(std::make_exception_ptr(std::runtime_error("Table Engine Error # 8709 x")));
    EXPECT_EQ(text, QStringLiteral("Table Engine Error # 8709 x"));
    EXPECT_EQ(icon, QMessageBox::Critical);
}

} // namespace

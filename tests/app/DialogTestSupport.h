// Shared pieces of the dialog's tests: the application object on Qt's offscreen platform, scratch
// folders, environment variables set for one test, the shipped table and recorded logs, and child processes.
#pragma once

#include "app/CheckDialog.h"
#include "platform/ui/Application.h"
#include "translations/Taal.h"
#include "support/RunProgram.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace dialogtest {

namespace fs = std::filesystem;

inline platform::ui::TApplication& Application()
{
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    // Never destroyed: a static QApplication would be torn down after Qt's own per-thread font storage,
    // and removing the registered application fonts then crashes the process at exit.
    static platform::ui::TApplication& application = *new platform::ui::TApplication(argc, argv);
    return application;
}

// A folder in the build tree (so that hard links to the test program work), removed afterwards.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag)
    {
        path_ = fs::path(SONDRAL_BINARY_DIR) / "tests" / "scratch" /
                (tag + "-" + std::to_string(std::random_device()()) + "-" + std::to_string(counter_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets (or with nullopt removes) an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name))
    {
        if (const char* old = std::getenv(name_.c_str()))
            old_ = old;
        Set(value);
    }
    ~ScopedEnv() { Set(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& value) const
    {
#ifdef _WIN32
        ::_putenv_s(name_.c_str(), value ? value->c_str() : ""); // an empty value removes it
#else
        if (value)
            ::setenv(name_.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
#endif
    }

    std::string name_;
    std::optional<std::string> old_;
};

inline std::string Fixture(const std::string& name)
{
    return std::string(SONDRAL_FIXTURES) + "/nmea/" + name;
}

// A log made of the lines of a recorded log that contain one of the given markers.
inline std::string FilteredLog(const TempFolder& folder, const std::string& fixture,
                               const std::vector<std::string>& markers)
{
    const std::string path = folder / ("filtered-" + fixture);
    std::ifstream in(Fixture(fixture), std::ios::binary);
    std::ofstream out(path, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        for (const std::string& m : markers)
            if (line.find(m) != std::string::npos) {
                out << line << '\n';
                break;
            }
    return path;
}

// The translations table the build ships beside the program.
inline fs::path ShippedTableFolder()
{
    return fs::path(SONDRAL_BINARY_DIR) / "app" / "3Tdata";
}

// Places a copy of a program (a hard link where possible) in folder, with a copy of the shipped
// translations table beside it and, when a language is given, the viewer's ini file naming it, so that
// "beside the executable" is a folder the test owns. Returns the copy's path.
inline std::string InstallCopy(const TempFolder& folder, const std::string& program,
                               std::optional<int> language = std::nullopt)
{
    const std::string copy = folder / fs::path(program).filename().string();
    std::error_code ec;
    fs::create_hard_link(program, copy, ec);
    if (ec)
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    fs::create_directories(folder.Path() / "3Tdata");
    for (const char* file : {"Language.dat", "Language.idx"})
        fs::copy_file(ShippedTableFolder() / file, folder.Path() / "3Tdata" / file,
                      fs::copy_options::overwrite_existing);
    if (language)
        WriteFile(folder / "Tolvenar_Viewer_NT.INI", "[Options]\r\nTaal=" + std::to_string(*language) + "\r\n");
    return copy;
}

// A translations module whose table cannot be opened: the dialog keeps its English texts.
inline std::unique_ptr<translations::TTaal_dat> EnglishTaal(const TempFolder& folder)
{
    return std::make_unique<translations::TTaal_dat>(folder / "3Tdata", translations::OpenLanguageTable);
}

inline app::TProgramOptions Options(std::vector<platform::Text> args = {}, int windowMs = app::DefaultWindowMs)
{
    app::TProgramOptions options;
    options.Arguments = std::move(args);
    options.WindowMs = windowMs;
    return options;
}

// Records every status text the dialog shows while the event loop runs.
class StatusRecorder {
public:
    explicit StatusRecorder(const app::TForm1& form) : form_(form)
    {
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    void Poll()
    {
        const std::string text = platform::TextToUtf8(form_.StatusText());
        if (seen_.empty() || seen_.back() != text)
            seen_.push_back(text);
        if (onPoll)
            onPoll(text);
    }
    // The attempt statuses, in order ("COM2 4800", ...).
    std::vector<std::string> Attempts() const
    {
        std::vector<std::string> attempts;
        const std::string prefix = "Try to receive from port ";
        for (const std::string& s : seen_)
            if (s.rfind(prefix, 0) == 0) {
                const std::string rest = s.substr(prefix.size());
                const auto with = rest.find(" with baudrate ");
                if (with != std::string::npos)
                    attempts.push_back(rest.substr(0, with) + " " + rest.substr(with + 15));
            }
        return attempts;
    }
    const std::vector<std::string>& Seen() const { return seen_; }
    std::function<void(const std::string&)> onPoll;

private:
    const app::TForm1& form_;
    QTimer timer_;
    std::vector<std::string> seen_;
};

// Lets the event loop run until done() holds or the time is up.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        Application().ProcessMessages();
    }
    return done();
}

} // namespace dialogtest

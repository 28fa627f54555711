#include "HelperProcess.h"

#include "platform/File.h"
#include "platform/Paths.h"

#include <windows.h> // after our headers, which name Windows's constants themselves

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& s)
{
    std::vector<std::string> parts;
    size_t begin = 0;
    for (;;) {
        const size_t bar = s.find('|', begin);
        parts.push_back(s.substr(begin, bar - begin));
        if (bar == std::string::npos)
            return parts;
        begin = bar + 1;
    }
}

bool WaitForFile(const std::string& path, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The helper's side: hold, say so with "<signal>.ready", wait for "<signal>.release", end.
void RunAsHelperWhenAsked()
{
    const char* request = std::getenv("SONDRAL_HOLD");
    const char* signal = std::getenv("SONDRAL_HOLD_SIGNAL");
    if (request == nullptr || signal == nullptr)
        return;
    const std::vector<std::string> parts = Split(request);
    platform::File file;
    platform::DWORD rc = ERROR_INVALID_PARAMETER;
    if (parts.size() == 2 && (parts[0] == "exclusive" || parts[0] == "shared"))
        rc = file.Open(parts[1], platform::FileAccess::ReadWrite,
                       parts[0] == "exclusive" ? platform::FileShare::None : platform::FileShare::ReadWrite,
                       platform::FileDisposition::OpenExisting);
    else if (parts.size() == 4 && parts[0] == "lock") {
        rc = file.Open(parts[1], platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                       platform::FileDisposition::OpenExisting);
        if (rc == ERROR_SUCCESS)
            rc = file.LockRange(std::stoull(parts[2]), std::stoull(parts[3]));
    }
    if (rc != ERROR_SUCCESS)
        ExitProcess(rc);
    std::ofstream(std::string(signal) + ".ready") << "held";
    ExitProcess(WaitForFile(std::string(signal) + ".release", 60) ? 0 : 1460 /* ERROR_TIMEOUT */);
}

const bool helperChecked = (RunAsHelperWhenAsked(), true);

} // namespace

HelperProcess::HelperProcess(const std::string& what)
{
    static int counter = 0;
    signal_ = (std::filesystem::temp_directory_path() /
               ("sondral-hold-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++)))
                  .string();
    // The helper inherits the environment, and no handle.
    SetEnvironmentVariableA("SONDRAL_HOLD", what.c_str());
    SetEnvironmentVariableA("SONDRAL_HOLD_SIGNAL", signal_.c_str());
    const std::wstring exe = std::filesystem::path(platform::ExecutablePath()).wstring();
    std::wstring commandLine = L"\"" + exe + L"\" --gtest_filter=-*";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const BOOL started =
        CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, false, 0, nullptr, nullptr, &startup, &info);
    process_ = info.hProcess;
    thread_ = info.hThread;
    SetEnvironmentVariableA("SONDRAL_HOLD", nullptr);
    SetEnvironmentVariableA("SONDRAL_HOLD_SIGNAL", nullptr);
    if (!started)
        throw std::runtime_error("cannot start the helper: error " + std::to_string(GetLastError()));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(signal_ + ".ready")) {
        ::DWORD code = 0;
        if (WaitForSingleObject(process_, 5) == WAIT_OBJECT_0 && GetExitCodeProcess(process_, &code))
            throw std::runtime_error("the helper could not hold " + what + ": error " + std::to_string(code));
        if (std::chrono::steady_clock::now() > end) {
            Kill();
            throw std::runtime_error("the helper did not report back");
        }
    }
}

HelperProcess::~HelperProcess()
{
    if (process_ != nullptr) {
        Kill();
        CloseHandle(thread_);
        CloseHandle(process_);
    }
    std::error_code ec;
    std::filesystem::remove(signal_ + ".ready", ec);
    std::filesystem::remove(signal_ + ".release", ec);
}

unsigned long HelperProcess::Release()
{
    std::ofstream(signal_ + ".release") << "go";
    WaitForSingleObject(process_, 30000);
    ::DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

void HelperProcess::Kill()
{
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 9);
        WaitForSingleObject(process_, 30000);
    }
}

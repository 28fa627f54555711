#include "platform/Process.h"

#include "platform/win32/Win32.h"

#include <cwchar>
#include <vector>

namespace platform {
namespace {

bool SameName(const std::wstring& entry, const std::wstring& name)
{
    return entry.size() > name.size() && entry[name.size()] == L'=' &&
           ::CompareStringOrdinal(entry.c_str(), static_cast<int>(name.size()), name.c_str(),
                                  static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// The program gets its quoted path and the arguments as its command line and inherits no handle (the
// standard ones of a console reach it through the process parameters, not through inheritance).
bool Create(const std::string& path, const std::vector<std::string>& arguments, const Process::Variables* added,
            PROCESS_INFORMATION& info)
{
    const std::wstring application = win32::WidePath(path);
    std::wstring commandLine = L"\"" + application + L"\"";
    for (const std::string& a : arguments)
        commandLine += L" " + win32::QuotedArgument(win32::WidePath(a));
    std::wstring environment;
    if (added != nullptr)
        environment = win32::EnvironmentBlock(*added);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return ::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, false,
                            added != nullptr ? CREATE_UNICODE_ENVIRONMENT : 0,
                            added != nullptr ? environment.data() : nullptr, nullptr, &startup, &info) != FALSE;
}

} // namespace

namespace win32 {

// Quoted when it holds white space or a quote (or is empty), the backslashes before a quote doubled.
std::wstring QuotedArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& added)
{
    std::vector<std::wstring> names;
    for (const auto& v : added)
        names.push_back(WidePath(v.first));
    std::wstring block;
    if (wchar_t* strings = ::GetEnvironmentStringsW(); strings != nullptr) {
        for (const wchar_t* e = strings; *e != L'\0'; e += std::wcslen(e) + 1) {
            const std::wstring entry(e);
            bool replaced = false;
            for (const auto& n : names)
                replaced = replaced || SameName(entry, n);
            if (!replaced)
                block.append(entry).push_back(L'\0');
        }
        ::FreeEnvironmentStringsW(strings);
    }
    for (std::size_t i = 0; i < added.size(); ++i)
        block.append(names[i]).append(L"=").append(WidePath(added[i].second)).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

} // namespace win32

bool StartProgram(const std::string& path)
{
    PROCESS_INFORMATION info{};
    if (!Create(path, {}, nullptr, info))
        return false; // the system's last error
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return true;
}

std::unique_ptr<Process> Process::Start(const std::string& path, const std::vector<std::string>& arguments,
                                        const Variables& environment)
{
    PROCESS_INFORMATION info{};
    if (!Create(path, arguments, &environment, info))
        return nullptr;
    ::CloseHandle(info.hThread);
    std::unique_ptr<Process> p(new Process);
    p->id_ = info.dwProcessId;
    p->handle_ = reinterpret_cast<intptr_t>(info.hProcess);
    return p;
}

Process::~Process()
{
    Kill();
    ::CloseHandle(reinterpret_cast<::HANDLE>(handle_));
}

std::optional<uint32_t> Process::Wait(uint32_t timeoutMs)
{
    if (!exitCode_ && ::WaitForSingleObject(reinterpret_cast<::HANDLE>(handle_), timeoutMs) == WAIT_OBJECT_0) {
        ::DWORD code = 0;
        exitCode_ = ::GetExitCodeProcess(reinterpret_cast<::HANDLE>(handle_), &code) ? code : 255u;
    }
    return exitCode_;
}

void Process::Kill()
{
    if (exitCode_)
        return;
    if (::WaitForSingleObject(reinterpret_cast<::HANDLE>(handle_), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(reinterpret_cast<::HANDLE>(handle_), 9);
        ::WaitForSingleObject(reinterpret_cast<::HANDLE>(handle_), INFINITE);
    }
    Wait(0);
}

} // namespace platform

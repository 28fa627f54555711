// RunProgram on Windows: CreateProcessW with the child's standard handles on pipes (output read by one
// thread per stream while the child runs, so that neither pipe can fill up and stall it) and the input
// from a file or NUL. Only those three handles are inherited.
#include "RunProgram.h"

#include "platform/win32/Win32.h"

#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

// The child's environment: ours, with the variables of extra ("NAME=value") replaced or added.
std::wstring EnvironmentBlock(const std::vector<std::string>& extra)
{
    std::vector<std::pair<std::string, std::string>> added;
    for (const std::string& e : extra) {
        const std::size_t eq = e.find('=');
        added.emplace_back(e.substr(0, eq), eq == std::string::npos ? std::string() : e.substr(eq + 1));
    }
    return platform::win32::EnvironmentBlock(added);
}

// A handle closed when it goes out of scope.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE* Out() { Close(); return &h_; }
    HANDLE Get() const { return h_; }
    void Close()
    {
        if (h_ != nullptr)
            CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

// A pipe whose write end the child inherits; the read end is read to its end by a thread of its own.
class OutputPipe {
public:
    OutputPipe()
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        if (!CreatePipe(read_.Out(), write_.Out(), &inherit, 0))
            return;
        SetHandleInformation(read_.Get(), HANDLE_FLAG_INHERIT, 0);
    }
    ~OutputPipe()
    {
        write_.Close();
        if (reader_.joinable())
            reader_.join();
    }
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;
    bool Valid() const { return read_.Get() != nullptr && write_.Get() != nullptr; }
    HANDLE ChildEnd() const { return write_.Get(); }
    // After the child started: our copy of its end closed (so that the read ends with the child), reading.
    void Start()
    {
        write_.Close();
        reader_ = std::thread([this] {
            char buffer[4096];
            DWORD n = 0;
            while (ReadFile(read_.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
                text_.append(buffer, n);
        });
    }
    std::string Take()
    {
        if (reader_.joinable())
            reader_.join();
        return std::move(text_);
    }

private:
    Handle read_, write_;
    std::thread reader_;
    std::string text_;
};

} // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProgramInput& input)
{
    ProgramResult result;
    std::wstring commandLine = platform::win32::QuotedArgument(platform::win32::WidePath(program));
    for (const std::string& a : args)
        commandLine += L' ' + platform::win32::QuotedArgument(platform::win32::WidePath(a));
    std::wstring environment = EnvironmentBlock(input.env);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const std::wstring inPath = input.stdinPath.empty() ? L"NUL" : platform::win32::WidePath(input.stdinPath);
    Handle in(CreateFileW(inPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                          0, nullptr));
    OutputPipe out, err;
    if (in.Get() == nullptr || !out.Valid() || !err.Valid())
        return result;

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = in.Get();
    startup.StartupInfo.hStdOutput = out.ChildEnd();
    startup.StartupInfo.hStdError = err.ChildEnd();
    // Exactly these three handles are inherited, not every inheritable handle of the test program.
    HANDLE inherited[] = {in.Get(), out.ChildEnd(), err.ChildEnd()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size))
        return result;
    const std::unique_ptr<std::remove_pointer_t<LPPROC_THREAD_ATTRIBUTE_LIST>,
                          decltype(&DeleteProcThreadAttributeList)>
        attributeList(startup.lpAttributeList, &DeleteProcThreadAttributeList);
    UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                              sizeof inherited, nullptr, nullptr);

    PROCESS_INFORMATION process{};
    // No application name: the system finds the program as the command line's first word names it,
    // adding ".exe" where the name has no extension.
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW,
                        environment.data(), nullptr, &startup.StartupInfo, &process))
        return result;
    const Handle processHandle(process.hProcess);
    const Handle threadHandle(process.hThread);
    in.Close();
    out.Start();
    err.Start();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code))
        result.exitCode = static_cast<int>(code);
    result.out = out.Take();
    result.err = err.Take();
    return result;
}

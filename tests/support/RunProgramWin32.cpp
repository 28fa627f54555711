// RunProgram on Windows: CreateProcessW with the child's standard handles on pipes (output read by one
// thread per stream while the child runs, so that neither pipe can fill up and stall it) and the input
// from a file or NUL. Only those three handles are inherited.
#include "RunProgram.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

// One argument as the C runtime of the child splits the command line again.
std::wstring Quoted(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped; elsewhere they stand as they are.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::wstring NameOf(const std::wstring& entry)
{
    // Entries such as "=C:=C:\dir" keep their leading '='.
    std::wstring name = entry.substr(0, entry.find(L'=', 1));
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(std::towupper(c));
    return name;
}

// The environment block of the child: ours, with the variables of extra replaced or added.
std::wstring EnvironmentBlock(const std::vector<std::string>& extra)
{
    std::vector<std::wstring> added;
    for (const std::string& e : extra)
        added.push_back(Wide(e));
    std::wstring block;
    const std::unique_ptr<wchar_t, decltype(&FreeEnvironmentStringsW)> own(GetEnvironmentStringsW(),
                                                                           &FreeEnvironmentStringsW);
    for (const wchar_t* e = own.get(); e != nullptr && *e != L'\0'; e += std::wcslen(e) + 1) {
        const std::wstring entry = e;
        bool replaced = false;
        for (const std::wstring& a : added)
            replaced |= NameOf(a) == NameOf(entry);
        if (!replaced)
            block += entry + L'\0';
    }
    for (const std::wstring& a : added)
        block += a + L'\0';
    return block + L'\0';
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
    std::wstring commandLine = Quoted(Wide(program));
    for (const std::string& a : args)
        commandLine += L' ' + Quoted(Wide(a));
    std::wstring environment = EnvironmentBlock(input.env);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle in(CreateFileW(input.stdinPath.empty() ? L"NUL" : Wide(input.stdinPath).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
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

#include "tableengine/storage/DataSession.h"

#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataEngine.h"

#include "platform/File.h"

#include <algorithm>

namespace tableengine {

TDataSession::TDataSession(TDataEngine& engine, std::string name, uint32_t sessionID)
    : DataEngine(engine), Name(std::move(name)), SessionID(sessionID), PrivateDir(platform::TempDirectory())
{
}

TDataSession::~TDataSession() = default;

void TDataSession::AddPassword(const std::string& password)
{
    std::lock_guard<std::mutex> guard(FSection);
    if (std::find(FPasswords.begin(), FPasswords.end(), password) == FPasswords.end())
        FPasswords.push_back(password);
}

void TDataSession::RemovePassword(const std::string& password)
{
    std::lock_guard<std::mutex> guard(FSection);
    FPasswords.erase(std::remove(FPasswords.begin(), FPasswords.end(), password), FPasswords.end());
}

std::vector<std::string> TDataSession::Passwords() const
{
    std::lock_guard<std::mutex> guard(FSection);
    return FPasswords;
}

TDataDirectory& TDataSession::OpenDataDirectory(const std::string& name, const std::string& path, bool keepTablesOpen)
{
    const bool memory = CompareNameNoCase(TrimBlanks(name), "Memory") == 0;
    std::string dir = TrimBlanks(path);
    if (dir.empty())
        dir = memory ? std::string("Memory") : platform::CurrentDirectory();
    while (dir.size() > 1 && dir.back() == platform::PathDelimiter)
        dir.pop_back();
    if (dir.back() != platform::PathDelimiter)
        dir += platform::PathDelimiter;
    std::lock_guard<std::mutex> guard(FSection);
    for (const auto& d : FDirectories) {
        // Paths on this platform are case-sensitive: two spellings are two directories.
        if (d->Directory == dir && d->InMemory == memory) {
            ++d->UseCount;
            return *d;
        }
    }
    auto d = std::make_unique<TDataDirectory>(*this, name.substr(0, 60), dir, keepTablesOpen, memory);
    d->UseCount = 1;
    FDirectories.push_back(std::move(d));
    return *FDirectories.back();
}

void TDataSession::CloseDataDirectory(TDataDirectory& directory)
{
    std::unique_ptr<TDataDirectory> gone;
    {
        std::lock_guard<std::mutex> guard(FSection);
        const auto it = std::find_if(FDirectories.begin(), FDirectories.end(),
                                     [&](const std::unique_ptr<TDataDirectory>& d) { return d.get() == &directory; });
        if (it == FDirectories.end())
            return;
        if (--(*it)->UseCount > 0)
            return;
        gone = std::move(*it);
        FDirectories.erase(it);
    }
}

std::size_t TDataSession::DirectoryCount() const
{
    std::lock_guard<std::mutex> guard(FSection);
    return FDirectories.size();
}

} // namespace tableengine

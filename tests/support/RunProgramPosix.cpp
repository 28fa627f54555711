// RunProgram on POSIX: posix_spawn, the output streams in files that are read afterwards.
#include "RunProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A file that takes one output stream of a child, removed afterwards.
class CaptureFile {
public:
    CaptureFile() : path_((std::filesystem::temp_directory_path() / "sondral-capture-XXXXXX").string())
    {
        const int fd = ::mkstemp(path_.data());
        if (fd < 0)
            throw std::runtime_error("mkstemp failed");
        ::close(fd);
    }
    ~CaptureFile() { ::unlink(path_.c_str()); }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;
    const std::string& Path() const { return path_; }
    std::string Content() const
    {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};
} // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProgramInput& input)
{
    const auto nameOf = [](const std::string& e) { return e.substr(0, e.find('=')); };
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& extra : input.env)
            replaced |= nameOf(extra) == nameOf(entry);
        if (!replaced)
            envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), input.env.begin(), input.env.end());
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const CaptureFile outFile;
    const CaptureFile errFile;
    const std::string& outPath = outFile.Path();
    const std::string& errPath = errFile.Path();
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, input.stdinPath.empty() ? "/dev/null" : input.stdinPath.c_str(),
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ProgramResult result;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return result;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return result;
    if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    else if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = outFile.Content();
    result.err = errFile.Content();
    return result;
}

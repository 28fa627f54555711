// A real second process for sharing and locking tests, on every platform: the test program itself, started
// again (posix_spawn or CreateProcessW, through platform::Process) to play a role instead of running tests.
// A role is a named function registered at start-up; the child gets its arguments as strings and talks
// with its parent in single bytes through two files in a folder of their own (no handle is inherited).
//
//   const support::ChildRole holder("Suite.Holder", [](support::ChildLink& self, const support::Arguments& a) {
//       ...; self.Tell('h'); self.Hear(); return 0;
//   });
//   support::RoleProcess child(holder, {dir.Path});
//   ASSERT_EQ(child.WaitFor(), 'h');
#pragma once

#include "platform/Environment.h"
#include "platform/Paths.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace support {

using Arguments = std::vector<std::string>;

// One direction of the single-byte messages: a file that the sender appends to and the receiver reads on.
class MessageFile {
public:
    explicit MessageFile(std::filesystem::path path) : path_(std::move(path)) {}
    void Put(char c) const
    {
        std::ofstream out(path_, std::ios::binary | std::ios::app);
        out.put(c);
        out.flush();
    }
    // The next byte, or 0 when none came within timeoutMs (or ended() says no more can come).
    char Get(int timeoutMs, const std::function<bool()>& ended = {})
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const bool over = (ended && ended()) || std::chrono::steady_clock::now() >= end;
            std::error_code ec;
            if (std::filesystem::file_size(path_, ec) > read_ && !ec) {
                std::ifstream in(path_, std::ios::binary);
                in.seekg(static_cast<std::streamoff>(read_));
                char c = 0;
                if (in.get(c)) {
                    ++read_;
                    return c;
                }
            }
            if (over)
                return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    std::filesystem::path path_;
    std::uintmax_t read_ = 0;
};

// The child's side of the messages.
class ChildLink {
public:
    explicit ChildLink(const std::filesystem::path& channel) : up_(channel / "up"), down_(channel / "down") {}
    void Tell(char c) { up_.Put(c); }
    char Hear(int timeoutMs = 20000) { return down_.Get(timeoutMs); }

private:
    MessageFile up_, down_;
};

using ChildBody = std::function<int(ChildLink& self, const Arguments& arguments)>;

namespace detail {

inline constexpr char RoleVariable[] = "SONDRAL_CHILD_ROLE";
inline constexpr char ChannelVariable[] = "SONDRAL_CHILD_CHANNEL";

inline std::map<std::string, ChildBody>& Roles()
{
    static std::map<std::string, ChildBody> roles;
    return roles;
}

// Runs the role the environment names, then ends the process with its result; nothing when it names none.
// Called when the test program starts, after every role has been registered.
inline void RunRoleWhenAsked()
{
    const std::string role = platform::EnvironmentVariable(RoleVariable);
    if (role.empty())
        return;
    const std::filesystem::path channel = platform::EnvironmentVariable(ChannelVariable);
    int rc = 96;
    const auto it = Roles().find(role);
    if (it == Roles().end()) {
        std::fprintf(stderr, "child process: no role %s\n", role.c_str());
    } else {
        Arguments arguments;
        std::ifstream in(channel / "arguments", std::ios::binary);
        for (std::string line; std::getline(in, line);)
            arguments.push_back(line);
        ChildLink self(channel);
        try {
            rc = it->second(self, arguments);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child process %s: %s\n", role.c_str(), e.what());
            rc = 98;
        } catch (...) {
            rc = 97;
        }
    }
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(rc); // never back into the test framework
}

class RoleListener : public ::testing::EmptyTestEventListener {
    void OnTestProgramStart(const ::testing::UnitTest&) override { RunRoleWhenAsked(); }
};

} // namespace detail

// A named function that a child process runs. Define roles as objects at namespace scope, so that they are
// registered before the program starts.
class ChildRole {
public:
    ChildRole(std::string name, ChildBody body) : name_(std::move(name))
    {
        static const bool listening = [] {
            ::testing::UnitTest::GetInstance()->listeners().Append(new detail::RoleListener); // gtest owns it
            return true;
        }();
        (void)listening;
        if (!detail::Roles().emplace(name_, std::move(body)).second)
            throw std::logic_error("two child roles named " + name_);
    }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

// The parent's side: a child process playing a role. Ended at once when it is still running at the end.
class RoleProcess {
public:
    // The child gets the role's arguments, and the environment with the given variables added.
    RoleProcess(const ChildRole& role, const Arguments& arguments, platform::Process::Variables environment = {})
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && channel_.empty(); ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("sondral-child-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate))
                channel_ = candidate;
        }
        if (channel_.empty())
            throw std::runtime_error("cannot create the child's message folder");
        {
            std::ofstream out(channel_ / "arguments", std::ios::binary);
            for (const std::string& a : arguments)
                out << a << '\n';
        }
        up_ = std::make_unique<MessageFile>(channel_ / "up");
        down_ = std::make_unique<MessageFile>(channel_ / "down");
        environment.emplace_back(detail::RoleVariable, role.Name());
        environment.emplace_back(detail::ChannelVariable, channel_.string());
        process_ = platform::Process::Start(platform::ExecutablePath(), {"--gtest_filter=-*"}, environment);
        if (!process_)
            throw std::runtime_error("cannot start the child process for " + role.Name());
    }
    ~RoleProcess()
    {
        process_.reset(); // ended, so that its files can be removed
        std::error_code ec;
        std::filesystem::remove_all(channel_, ec);
    }
    RoleProcess(const RoleProcess&) = delete;
    RoleProcess& operator=(const RoleProcess&) = delete;

    // The child's next byte, or 0 after the timeout or when the child ended without sending one.
    char WaitFor(int timeoutMs = 20000)
    {
        return up_->Get(timeoutMs, [this] { return process_->Wait(0).has_value(); });
    }
    void Send(char c) { down_->Put(c); }
    // The child's exit code; -1 when it did not end within timeoutMs (it is ended then).
    int Join(uint32_t timeoutMs = 60000)
    {
        if (const auto code = process_->Wait(timeoutMs))
            return static_cast<int>(*code);
        process_->Kill();
        return -1;
    }
    void Kill() { process_->Kill(); }

private:
    std::filesystem::path channel_;
    std::unique_ptr<MessageFile> up_, down_;
    std::unique_ptr<platform::Process> process_;
};

} // namespace support

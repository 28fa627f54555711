// The tbldump program run as a real process on damaged tables: damage of the kinds that once hung the
// engine, delivered rows without end or sized an allocation by a damaged number, and half-copied files.
// Each run must end by itself within its CPU and wall-clock limits, with exit 0 or exit 1 and an engine
// error line (never "insufficient memory"), and with a peak resident size at most a few tens of MB above the undamaged table's run. The
// child also runs under an address-space limit (not in sanitizer builds, which reserve terabytes of
// shadow memory), so that a runaway allocation fails instead of straining the machine.
#include "tableengine/NavigationTestSupport.h"

#include "tableengine/format/BlobHeader.h"
#include "tableengine/format/DataHeader.h"
#include "tableengine/format/IndexHeader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

using namespace navtest;
using namespace tableengine;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

constexpr unsigned CpuSeconds = 10;
constexpr unsigned WallSeconds = 30;
constexpr rlim_t AddressSpace = rlim_t(1) << 30;
constexpr long ExtraKb = 64 * 1024; // "a few tens of MB" above the undamaged run

struct Dump {
    bool Exited = false;
    int Exit = -1;
    int Signal = 0;
    long PeakKb = 0;
    std::string Err;
};

std::string ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Dump RunDump(const std::filesystem::path& folder)
{
    const std::string tool = std::string(SONDRAL_BINARY_DIR) + "/tools/tbldump";
    const std::string errPath = (folder / "dump.err").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open("/dev/null", O_WRONLY);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(120);
        const rlimit cpu{CpuSeconds, CpuSeconds};
        ::setrlimit(RLIMIT_CPU, &cpu);
        if (!Sanitized) {
            const rlimit as{AddressSpace, AddressSpace};
            ::setrlimit(RLIMIT_AS, &as);
        }
        ::alarm(WallSeconds); // kept across exec: a run that waits for ever ends with SIGALRM
        ::execl(tool.c_str(), tool.c_str(), folder.c_str(), "T", static_cast<char*>(nullptr));
        ::_exit(121);
    }
    Dump d;
    if (pid < 0)
        return d;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            return d;
    d.Exited = WIFEXITED(status);
    d.Exit = d.Exited ? WEXITSTATUS(status) : -1;
    d.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    d.PeakKb = usage.ru_maxrss;
    d.Err = ReadAll(errPath);
    return d;
}

template <typename T> void Patch(const std::filesystem::path& path, uint64_t at, T value)
{
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T> T Peek(const std::filesystem::path& path, uint64_t at)
{
    std::ifstream f(path, std::ios::binary);
    f.seekg(static_cast<std::streamoff>(at));
    T v{};
    f.read(reinterpret_cast<char*>(&v), sizeof v);
    return v;
}

// 300 rows in leaves of 1024-byte pages (a node root over three leaves) and a memo in 64-byte blocks.
w::WriterTable Sample()
{
    w::WriterTable t;
    t.Fields = {Field("N", w::DataTypes::Integer), Field("Text", w::DataTypes::Blob, 0, w::SubTypes::Memo)};
    t.IndexPageSize = 1024;
    t.BlobBlockSize = 64;
    for (int i = 1; i <= 300; ++i)
        t.Rows.push_back(Row({std::to_string(i), "memo " + std::to_string(i) + std::string(100, 'm')}));
    return t;
}

constexpr uint64_t PageSize = 1024;
uint64_t PageAt(int32_t page) { return IndexFileHeaderSize + uint64_t(page - 1) * PageSize; }
constexpr uint64_t KeysAt = 1;
constexpr uint64_t RightAt = 7;
constexpr uint64_t FirstChildAt = 13 + 5;

int32_t Root(const std::filesystem::path& idx) { return Peek<int32_t>(idx, offsetof(TIndexHeader, RootPages)); }
int32_t FirstLeaf(const std::filesystem::path& idx) { return Peek<int32_t>(idx, PageAt(Root(idx)) + FirstChildAt); }
int32_t SecondLeaf(const std::filesystem::path& idx) { return Peek<int32_t>(idx, PageAt(FirstLeaf(idx)) + RightAt); }

void Truncate(const std::filesystem::path& path) { std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2); }

} // namespace

TEST(DamagedTableDump, EndsInTimeWithRowsOrAnEngineErrorAndBoundedMemory)
{
    TableFolder folder;
    const auto dat = folder.Path() / "T.dat";
    const auto idx = folder.Path() / "T.idx";
    const auto blb = folder.Path() / "T.blb";
    folder.Write(Sample(), "T");
    const Dump whole = RunDump(folder.Path());
    ASSERT_EQ(whole.Exit, 0) << whole.Err;

    struct Case {
        const char* Name;
        std::function<void()> Damage;
    };
    const std::vector<Case> cases = {
        {"leaf links to itself", [&] { Patch<int32_t>(idx, PageAt(FirstLeaf(idx)) + RightAt, FirstLeaf(idx)); }},
        {"right neighbour without keys", [&] { Patch<uint16_t>(idx, PageAt(SecondLeaf(idx)) + KeysAt, 0); }},
        {"node page as neighbour", [&] { Patch<int32_t>(idx, PageAt(FirstLeaf(idx)) + RightAt, Root(idx)); }},
        {"child link names the root", [&] { Patch<int32_t>(idx, PageAt(Root(idx)) + FirstChildAt, Root(idx)); }},
        {"key size far beyond the page",
         [&] { Patch<uint16_t>(idx, sizeof(TIndexHeader) + offsetof(TIndexDefinition, KeySize), 60000); }},
        {"BLOB file claims 2^31 blocks", [&] { Patch<int32_t>(blb, offsetof(TBlobHeader, NextEndingBlock), 0x7FFFFFF0); }},
        {"BLOB claims ~2 GiB", [&] { Patch<int32_t>(blb, BlobFileHeaderSize + offsetof(TBlockHeader, TotalLength), 0x7FFFFF00); }},
        {"BLOB claims ~2 GiB in 2^31 blocks",
         [&] {
             Patch<int32_t>(blb, offsetof(TBlobHeader, NextEndingBlock), 0x7FFFFFF0);
             Patch<int32_t>(blb, BlobFileHeaderSize + offsetof(TBlockHeader, TotalLength), 0x7FFFFF00);
         }},
        {"BLOB chain loops", [&] { Patch<int32_t>(blb, BlobFileHeaderSize + 64 + offsetof(TBlockHeader, NextNumber), 1); }},
        {"record count beyond the slots", [&] { Patch<int32_t>(dat, offsetof(TDataHeader, RecordCount), 0x7FFFFFFF); }},
        {"half-copied data file", [&] { Truncate(dat); }},
        {"half-copied index file", [&] { Truncate(idx); }},
        {"half-copied BLOB file", [&] { Truncate(blb); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Name);
        folder.Write(Sample(), "T", true);
        k.Damage();
        const Dump d = RunDump(folder.Path());
        if (!d.Exited) {
            ADD_FAILURE() << "ended by signal " << d.Signal << " (" << strsignal(d.Signal) << ")";
            continue;
        }
        EXPECT_TRUE(d.Exit == 0 || (d.Exit == 1 && d.Err.rfind("Table Engine Error # ", 0) == 0))
            << "exit " << d.Exit << ": " << d.Err;
        EXPECT_LE(d.PeakKb, whole.PeakKb + ExtraKb) << "undamaged run: " << whole.PeakKb << " KiB";
        // Within the address-space limit, running out of memory means an allocation sized by a damaged number.
        EXPECT_EQ(d.Err.rfind("Table Engine Error # 11016", 0), std::string::npos) << d.Err;
        std::printf("%-30s exit %d, peak %ld KiB (undamaged %ld), %s", k.Name, d.Exit, d.PeakKb, whole.PeakKb,
                    d.Err.empty() ? "no error\n" : d.Err.c_str());
    }
}

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "support/TempPrefix.h"

namespace fs = std::filesystem;
using actualiz::Error;
using actualiz::platform::CopyFile;
using actualiz::testing::TempPrefix;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

template <typename Call>
int ErrorNumberOf(Call call) {
    try {
        call();
    } catch (const Error& e) {
        return e.number();
    }
    ADD_FAILURE() << "no error was raised";
    return 0;
}

// A content larger than one read buffer, every byte value present.
std::string BigContent(size_t size) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7919) % 251);
    return content;
}

// Makes the process unable to write past `limit` bytes into any file while it lives, so a copy
// fails midway exactly as it would on a full disk, with a part of the data already written.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t limit) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

}  // namespace

TEST(SafeCopy, CopiesTheWholeFileAndLeavesNothingElse) {
    TempPrefix prefix;
    const std::string content = BigContent(300 * 1024);
    prefix.writeFile("Mirto/modelos/Clientes.mdb", content);
    prefix.makeDir("bases");

    CopyFile("c:\\mirto\\modelos\\clientes.mdb", "c:\\bases\\Clientes.mdb", false);

    EXPECT_EQ(ReadAll(prefix.driveCPath("bases/Clientes.mdb")), content);
    EXPECT_EQ(Listing(prefix.driveCPath("bases")), std::vector<std::string>{"Clientes.mdb"});
}

TEST(SafeCopy, NeverReplacesAnExistingFileUnlessAsked) {
    TempPrefix prefix;
    prefix.writeFile("modelos/clientes.mdb", "nuevo");
    prefix.writeFile("bases/CLIENTES.MDB", "viejo");

    // The existing file is found in any case, as Windows would find it.
    EXPECT_EQ(ErrorNumberOf(
                  [] { CopyFile("c:\\modelos\\clientes.mdb", "c:\\bases\\clientes.mdb", false); }),
              58);
    EXPECT_EQ(ReadAll(prefix.driveCPath("bases/CLIENTES.MDB")), "viejo");

    CopyFile("c:\\modelos\\clientes.mdb", "c:\\bases\\clientes.mdb", true);
    EXPECT_EQ(ReadAll(prefix.driveCPath("bases/CLIENTES.MDB")), "nuevo");
    EXPECT_EQ(Listing(prefix.driveCPath("bases")), std::vector<std::string>{"CLIENTES.MDB"});
}

TEST(SafeCopy, AFailureMidwayLeavesNoFile) {
    TempPrefix prefix;
    prefix.writeFile("modelos/clientes.mdb", BigContent(1024 * 1024));
    prefix.makeDir("bases");
    {
        FileSizeLimit limit(200 * 1024);
        EXPECT_EQ(ErrorNumberOf([] {
                      CopyFile("c:\\modelos\\clientes.mdb", "c:\\bases\\clientes.mdb", false);
                  }),
                  75);
    }
    EXPECT_EQ(Listing(prefix.driveCPath("bases")), std::vector<std::string>{});
}

TEST(SafeCopy, AFailureMidwayKeepsTheFileItWasToReplace) {
    TempPrefix prefix;
    prefix.writeFile("modelos/clientes.mdb", BigContent(1024 * 1024));
    prefix.writeFile("bases/clientes.mdb", "viejo");
    {
        FileSizeLimit limit(200 * 1024);
        EXPECT_EQ(ErrorNumberOf([] {
                      CopyFile("c:\\modelos\\clientes.mdb", "c:\\bases\\clientes.mdb", true);
                  }),
                  75);
    }
    EXPECT_EQ(ReadAll(prefix.driveCPath("bases/clientes.mdb")), "viejo");
    EXPECT_EQ(Listing(prefix.driveCPath("bases")), std::vector<std::string>{"clientes.mdb"});
}

TEST(SafeCopy, AReadOnlyDestinationFolderIsAnAccessError) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempPrefix prefix;
    prefix.writeFile("modelos/clientes.mdb", "nuevo");
    const fs::path bases = prefix.makeDir("bases");
    fs::permissions(bases, fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(ErrorNumberOf(
                  [] { CopyFile("c:\\modelos\\clientes.mdb", "c:\\bases\\clientes.mdb", false); }),
              75);
    fs::permissions(bases, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(Listing(bases), std::vector<std::string>{});
}

TEST(SafeCopy, MissingSourceOrFolderAndFoldersInTheWay) {
    TempPrefix prefix;
    prefix.writeFile("modelos/clientes.mdb", "x");
    prefix.makeDir("bases/almacen.mdb");
    EXPECT_EQ(ErrorNumberOf([] { CopyFile("c:\\modelos\\no.mdb", "c:\\bases\\no.mdb", true); }),
              53);
    EXPECT_EQ(ErrorNumberOf([] { CopyFile("c:\\no\\no.mdb", "c:\\bases\\no.mdb", true); }), 53);
    EXPECT_EQ(ErrorNumberOf([] {
                  CopyFile("c:\\modelos\\clientes.mdb", "c:\\no existe\\clientes.mdb", true);
              }),
              76);
    EXPECT_EQ(ErrorNumberOf([] { CopyFile("c:\\modelos", "c:\\bases\\modelos", true); }), 75);
    EXPECT_EQ(ErrorNumberOf(
                  [] { CopyFile("c:\\modelos\\clientes.mdb", "c:\\bases\\almacen.mdb", true); }),
              75);
    EXPECT_EQ(ErrorNumberOf([] { CopyFile("c:\\modelos\\clientes.mdb", "q:\\x.mdb", true); }), 68);
    EXPECT_TRUE(fs::is_directory(prefix.driveCPath("bases/almacen.mdb")));
}

// The dry run copies the user's databases into such a folder: nobody else may read them, and two
// runs never share one.
TEST(TemporaryFolder, IsNewPrivateAndOurOwn) {
    const fs::path a = actualiz::platform::CreateTemporaryFolder("actualiz-prueba-");
    const fs::path b = actualiz::platform::CreateTemporaryFolder("actualiz-prueba-");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.parent_path(), fs::temp_directory_path());
    EXPECT_EQ(a.filename().string().rfind("actualiz-prueba-", 0), 0u);
    EXPECT_TRUE(fs::is_empty(a));
    EXPECT_EQ(fs::status(a).permissions() & fs::perms::all, fs::perms::owner_all);
    fs::remove_all(a);
    fs::remove_all(b);
}

// A run's private folder (the Jet stand-ins and reading copies) that its run, killed, left behind
// is removed by a later run; a folder whose run still lives, in another process or in this one,
// is kept, and so is a folder without the mark.
TEST(TemporaryFolder, AKilledRunsFolderIsRemovedAndALiveRunsKept) {
    const std::string prefix = "actualiz-prueba-run-" + std::to_string(::getpid()) + "-";
    using actualiz::platform::RemoveAbandonedFolders;
    using actualiz::platform::RunFolder;
    // This process's own, made first: the children made after it share its first clean-up.
    const RunFolder ours(prefix);
    // A run in another process: it makes its folder, says where, then waits or is killed.
    auto run = [&](bool killed, int& fd) {
        int pipes[2];
        EXPECT_EQ(::pipe(pipes), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            auto* folder = new RunFolder(prefix);
            const std::string path = folder->path().string() + "\n";
            if (::write(pipes[1], path.data(), path.size()) < 0) _exit(1);
            if (killed) ::kill(::getpid(), SIGKILL);
            ::pause();
            _exit(0);
        }
        ::close(pipes[1]);
        std::string path;
        for (char c; ::read(pipes[0], &c, 1) == 1 && c != '\n';) path += c;
        fd = pipes[0];
        return std::make_pair(child, fs::path(path));
    };
    int deadPipe = -1, livePipe = -1;
    const auto [dead, deadFolder] = run(true, deadPipe);
    int status = 0;
    ::waitpid(dead, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ::close(deadPipe);
    const auto [live, liveFolder] = run(false, livePipe);
    ASSERT_TRUE(fs::exists(deadFolder / actualiz::platform::kRunFolderMark)) << deadFolder;
    ASSERT_TRUE(fs::exists(liveFolder / actualiz::platform::kRunFolderMark)) << liveFolder;
    const fs::path unmarked = actualiz::platform::CreateTemporaryFolder(prefix);

    EXPECT_EQ(RemoveAbandonedFolders(prefix), std::vector<std::string>{deadFolder.string() + "/"});
    EXPECT_FALSE(fs::exists(deadFolder));
    for (const fs::path& kept : {liveFolder, ours.path(), unmarked})
        EXPECT_TRUE(fs::exists(kept)) << kept;

    ::kill(live, SIGKILL);
    ::waitpid(live, &status, 0);
    ::close(livePipe);
    EXPECT_EQ(RemoveAbandonedFolders(prefix), std::vector<std::string>{liveFolder.string() + "/"})
        << "its run is gone now";
    EXPECT_TRUE(fs::exists(ours.path()));
    fs::remove_all(unmarked);
}

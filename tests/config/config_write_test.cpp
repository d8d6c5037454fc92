// Writing "default.config": the bytes on disk, and an old file that survives every failed write.
#include "config/config_file.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

const std::vector<CalibratedMonitor> kMonitors = {
    {{-1280, 0, 0, 1024},
     {{{-1.2f, 1.4f, -0.9f}, {-1.2f, 0.95f, -0.9f}, {-0.6f, 0.95f, -1.0f}, {-0.6f, 1.4f, -1.0f}}}},
    {{0, 0, 1920, 1080},
     {{{-0.55f, 1.3f, -1.1f}, {-0.55f, 0.9f, -1.1f}, {0.2f, 0.9f, -1.05f}, {0.2f, 1.3f, -1.05f}}}},
};

const std::string kOldFile = "{\n\t\"handedness\" : 2\n\t// calibrated yesterday\n}";

TEST(ConfigWrite, FileHoldsExactlyTheTextAndReplacesTheOldOne) {
    TempFolder folder;
    const std::string path = folder.file("default.config");
    writeBytes(path, std::string(20000, 'x'));
    ASSERT_EQ(writeConfigFile(kMonitors, "320010800", 1, path), "");
    EXPECT_EQ(readBytes(path), configText(kMonitors, "320010800", 1));
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{"default.config"});

    ASSERT_EQ(writeConfigFile({}, "", 2, path), "");
    EXPECT_EQ(readBytes(path), configText({}, "", 2));
    EXPECT_EQ(readBytes(path).back(), '}');
}

TEST(ConfigWrite, MissingFolderReportsFailure) {
    TempFolder folder;
    const std::string path = folder.file("gone/default.config");
    EXPECT_EQ(writeConfigFile(kMonitors, "h", 1, path),
              "cannot write " + path + ": " + std::strerror(ENOENT));
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{});
}

#ifndef _WIN32

// Runs `write` unable to create files in `folder`. Root ignores permission bits, so as root the write
// runs with the effective user "nobody" instead.
template <typename Write> std::string withoutWriteAccess(const std::filesystem::path& folder, Write write) {
    namespace fs = std::filesystem;
    if (geteuid() != 0) {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        std::string reason = write();
        fs::permissions(folder, fs::perms::owner_all);
        return reason;
    }
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    if (seteuid(65534) != 0) {
        return "skip";
    }
    std::string reason = write();
    if (seteuid(0) != 0) {
        std::abort();
    }
    return reason;
}

TEST(ConfigWrite, UnwritableFolderLeavesOldFileAndReportsFailure) {
    TempFolder folder;
    const std::string path = folder.file("default.config");
    writeBytes(path, kOldFile);
    const std::string reason =
        withoutWriteAccess(folder.path, [&] { return writeConfigFile(kMonitors, "h", 1, path); });
    if (reason == "skip") {
        GTEST_SKIP() << "cannot drop root rights to make a folder unwritable";
    }
    EXPECT_EQ(reason, "cannot write " + path + ": " + std::strerror(EACCES));
    EXPECT_EQ(readBytes(path), kOldFile);
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{"default.config"});
}

// The file size limit makes the write fail part way, as a full disk would.
TEST(ConfigWrite, FailureInTheMiddleOfTheWriteLeavesOldFile) {
    TempFolder folder;
    const std::string path = folder.file("default.config");
    writeBytes(path, kOldFile);

    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string reason = writeConfigFile(kMonitors, "h", 1, path);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &previous), 0);
    std::signal(SIGXFSZ, previous_handler);

    EXPECT_EQ(reason, "cannot write " + path + ": " + std::strerror(EFBIG));
    EXPECT_EQ(readBytes(path), kOldFile);
    EXPECT_EQ(folderEntries(folder.path), std::vector<std::string>{"default.config"});
}

#endif

} // namespace

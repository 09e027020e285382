#include "core/AtomicFile.h"
#include "platform/linux/JsonFileUserDefaults.h"
#include "platform/linux/XdgAppDirectories.h"
#include "support/TemporaryFolder.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

namespace quonvera {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

TEST(JsonFileUserDefaultsTest, ValuesSurviveARestartInAPrivateFile) {
    test::TemporaryFolder folder;
    const fs::path file = folder / "config" / "quonvera" / "defaults.json";
    {
        JsonFileUserDefaults defaults(file);
        defaults.setString("com.quonvera.settings", R"({"language":"en"})");
        defaults.setString("com.quonvera.installID", "ABC");
    }
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    const auto stored = nlohmann::json::parse(*readWholeFile(file));
    EXPECT_EQ(stored["com.quonvera.settings"], R"({"language":"en"})") << "data values are JSON text in a string";

    JsonFileUserDefaults reopened(file);
    EXPECT_EQ(reopened.stringForKey("com.quonvera.settings"), R"({"language":"en"})");
    EXPECT_EQ(reopened.stringForKey("com.quonvera.installID"), "ABC");
    reopened.removeKey("com.quonvera.installID");
    reopened.flush();
    EXPECT_FALSE(JsonFileUserDefaults(file).stringForKey("com.quonvera.installID").has_value());
}

TEST(JsonFileUserDefaultsTest, MissingEmptyOrUnreadableFilesMeanNothingStored) {
    test::TemporaryFolder folder;
    const std::vector<std::pair<const char*, const char*>> files = {
        {"empty", ""}, {"garbage", "{\"com.quonvera.settings\": tru"}, {"array", "[\"x\"]"}};
    EXPECT_FALSE(JsonFileUserDefaults(folder / "missing.json").stringForKey("k").has_value());
    for (const auto& [name, contents] : files) {
        const fs::path file = folder / name;
        std::ofstream(file) << contents;
        JsonFileUserDefaults defaults(file);
        EXPECT_FALSE(defaults.stringForKey("com.quonvera.settings").has_value()) << name;
        defaults.setString("k", "v");
        defaults.flush();
        EXPECT_EQ(JsonFileUserDefaults(file).stringForKey("k"), "v") << name;
    }
    // The unreadable ones were kept aside, not overwritten; an empty file holds nothing to keep.
    int keptAside = 0;
    for (const auto& entry : fs::directory_iterator(folder.path()))
        if (entry.path().filename().string().find(".unreadable-") != std::string::npos) ++keptAside;
    EXPECT_EQ(keptAside, 2);
}

TEST(JsonFileUserDefaultsTest, NonStringMembersAreIgnoredAndRemoveAllDeletesTheFile) {
    test::TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    std::ofstream(file) << R"({"a": 1, "b": "text", "c": {"x": 1}})";
    JsonFileUserDefaults defaults(file);
    EXPECT_FALSE(defaults.stringForKey("a").has_value());
    EXPECT_EQ(defaults.stringForKey("b"), "text");
    defaults.removeAll();
    defaults.flush();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(defaults.stringForKey("b").has_value());
}

TEST(AtomicFileTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFiles) {
    test::TemporaryFolder folder;
    const fs::path file = folder / "history.json";
    ASSERT_FALSE(writeFileAtomically(file, "old").has_value());
    fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const bool canStillWrite = ::access(folder.path().c_str(), W_OK) == 0;  // root ignores the mode
    const auto failure = writeFileAtomically(file, "new");
    fs::permissions(folder.path(), fs::perms::owner_all);
    if (!canStillWrite) {
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(*readWholeFile(file), "old");
    }
    writeFileAtomically(file, "newer", 0640);
    EXPECT_EQ(*readWholeFile(file), "newer");
    EXPECT_EQ(modeOf(file), 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

TEST(XdgAppDirectoriesTest, FoldersFollowTheEnvironment) {
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    ::setenv("XDG_DATA_HOME", "/data", 1);
    ::setenv("XDG_CACHE_HOME", "relative/is/ignored", 1);
    ::setenv("HOME", "/home/u", 1);
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1", 1);
    const AppDirectories directories = xdgAppDirectories();
    EXPECT_EQ(directories.userDefaultsFile, "/cfg/quonvera/defaults.json");
    EXPECT_EQ(directories.applicationSupport, "/data/Quonvera");
    EXPECT_EQ(directories.legacyApplicationSupport, "/data/Brem");
    EXPECT_EQ(directories.modelCache, "/home/u/.cache/quonvera/models");
    EXPECT_EQ(directories.temporary, "/run/user/1/quonvera");
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("XDG_CACHE_HOME");
}

TEST(XdgAppDirectoriesTest, PrivateFolderIsMadeOwnerOnly) {
    test::TemporaryFolder folder;
    const fs::path shared = folder / "shared";
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::all);
    EXPECT_TRUE(ensurePrivateFolder(shared));
    EXPECT_EQ(modeOf(shared), 0700u);
    EXPECT_TRUE(ensurePrivateFolder(folder / "new" / "deeper"));
    fs::create_symlink(shared, folder / "link");
    EXPECT_FALSE(ensurePrivateFolder(folder / "link")) << "a planted link is refused";
}

}  // namespace
}  // namespace quonvera

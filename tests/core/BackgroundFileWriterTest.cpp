#include "core/AtomicFile.h"
#include "core/BackgroundFileWriter.h"
#include "core/Log.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace quonvera {
namespace {

TEST(BackgroundFileWriterTest, TheFileEndsWithTheLatestContentsAndTheRequestedMode) {
    test::TemporaryFolder folder;
    BackgroundFileWriter writer("Test: Failed to save");
    for (int n = 0; n < 200; ++n) writer.write(folder / "a.json", std::to_string(n), 0600);
    writer.write(folder / "b.json", "other", 0640);
    writer.flush();
    EXPECT_EQ(readWholeFile(folder / "a.json"), "199");
    EXPECT_EQ(readWholeFile(folder / "b.json"), "other");
    struct stat info {};
    ::stat((folder / "b.json").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(BackgroundFileWriterTest, RemoveAfterWriteRemovesAndDestructionFinishesWaitingChanges) {
    test::TemporaryFolder folder;
    {
        BackgroundFileWriter writer("Test: Failed to save");
        writer.write(folder / "gone.json", "x");
        writer.remove(folder / "gone.json");
        writer.write(folder / "kept.json", "kept");
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "gone.json"));
    EXPECT_EQ(readWholeFile(folder / "kept.json"), "kept");
}

TEST(BackgroundFileWriterTest, AFailedWriteIsLogged) {
    test::TemporaryFolder folder;
    LogCapture log;
    BackgroundFileWriter writer("Test: Failed to save");
    writer.write(folder / "missing-folder" / "a.json", "x");
    writer.flush();
    ASSERT_EQ(log.linesStartingWith("Test: Failed to save: ").size(), 1u);
}

}  // namespace
}  // namespace quonvera

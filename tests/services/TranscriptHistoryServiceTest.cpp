#include "services/TranscriptHistoryService.h"

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/ManualMainQueue.h"
#include "models/TranscriptItemCoding.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quonvera {
namespace {

namespace fs = std::filesystem;
using test::TemporaryFolder;

// A fixed entry: the n-th id and a timestamp with a fraction.
TranscriptItem entry(int n, std::string text = "", bool succeeded = true) {
    char id[37];
    std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", n);
    if (text.empty()) text = "entry " + std::to_string(n);
    return {id, wallTimeFromReferenceSeconds(787000000.0 + n + 0.123456), std::move(text), succeeded};
}

std::vector<TranscriptItem> entries(int first, int last) {  // newest first: first..last
    std::vector<TranscriptItem> list;
    for (int n = first; n >= last; --n) list.push_back(entry(n));
    return list;
}

unsigned modeOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 0777;
}

class TranscriptHistoryServiceTest : public ::testing::Test {
protected:
    std::unique_ptr<TranscriptHistoryService> makeService() {
        return std::make_unique<TranscriptHistoryService>(queue, directories);
    }
    fs::path historyFile() const { return directories.applicationSupport / "transcript_history.json"; }
    void writeHistory(const std::string& contents, const fs::path& folder) {
        fs::create_directories(folder);
        std::ofstream(folder / "transcript_history.json", std::ios::binary) << contents;
    }
    void writeHistory(const std::string& contents) { writeHistory(contents, directories.applicationSupport); }
    // Runs the queued changes and waits until the file holds them.
    void settle(TranscriptHistoryService& service) {
        queue.runUntilIdle();
        service.flush();
    }
    std::string readHistory() const { return readWholeFile(historyFile()).value_or("<missing>"); }
    std::vector<fs::path> unreadableFiles() const {
        std::vector<fs::path> found;
        for (const auto& file : fs::directory_iterator(directories.applicationSupport))
            if (file.path().filename().string().starts_with("transcript_history.unreadable-")) found.push_back(file.path());
        return found;
    }

    TemporaryFolder folder;
    AppDirectories directories = AppDirectories::under(folder.path());
    ManualMainQueue queue;
};

TEST_F(TranscriptHistoryServiceTest, ChangesWaitForTheMainQueueAndApplyInCallOrder) {
    auto service = makeService();
    service->addItem(entry(1));
    EXPECT_TRUE(service->items.get().empty()) << "read in the same turn still shows the old list";
    EXPECT_FALSE(service->mostRecentItem());
    EXPECT_FALSE(fs::exists(historyFile())) << "nothing is written before the queued block runs";

    service->addItem(entry(2));
    service->deleteItem(entry(1));
    service->addItem(entry(3));
    settle(*service);
    EXPECT_EQ(service->items.get(), (std::vector<TranscriptItem>{entry(3), entry(2)}));
    EXPECT_EQ(service->mostRecentItem(), entry(3));
    EXPECT_EQ(readHistory(), encodeTranscriptItems({entry(3), entry(2)}));
}

TEST_F(TranscriptHistoryServiceTest, ObserversHearEachChangeOnTheQueue) {
    auto service = makeService();
    std::vector<std::size_t> sizes;
    auto subscription = service->items.subscribe([&](const auto& list) { sizes.push_back(list.size()); },
                                                 Delivery::skipCurrent);
    service->addItem(entry(1));
    service->addItem(entry(2));
    service->clearAll();
    EXPECT_TRUE(sizes.empty());
    settle(*service);
    EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 2, 0}));
}

TEST_F(TranscriptHistoryServiceTest, The101stEntryPushesOutTheOldest) {
    writeHistory(encodeTranscriptItems(entries(100, 1)));
    auto service = makeService();
    ASSERT_EQ(service->items.get().size(), 100u);

    service->addItem(entry(101));
    settle(*service);
    EXPECT_EQ(service->items.get(), entries(101, 2));
    const auto onDisk = nlohmann::json::parse(readHistory());
    EXPECT_EQ(onDisk.size(), 100u);
    EXPECT_EQ(onDisk.front()["text"], "entry 101");
    EXPECT_EQ(onDisk.back()["text"], "entry 2");
}

TEST_F(TranscriptHistoryServiceTest, AHandEditedFileOfMoreThan100LoadsWholeAndTrimsAtTheNextAddition) {
    writeHistory(encodeTranscriptItems(entries(120, 1)));
    auto service = makeService();
    EXPECT_EQ(service->items.get(), entries(120, 1)) << "file order, no trimming at load";

    service->addItem(entry(121));
    settle(*service);
    EXPECT_EQ(service->items.get(), entries(121, 22));
    EXPECT_EQ(nlohmann::json::parse(readHistory()).size(), 100u);
}

TEST_F(TranscriptHistoryServiceTest, WritesCompactJsonWithMembersInOrderAndFractionalSeconds) {
    auto service = makeService();
    service->addItem({"0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3", wallTimeFromReferenceSeconds(787654321.123456),
                      "Say \"hi\"\n", false});
    settle(*service);
    EXPECT_EQ(readHistory(),
              R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3","timestamp":787654321.123456,"text":"Say \"hi\"\n",)"
              R"("insertionSucceeded":false}])");
}

TEST_F(TranscriptHistoryServiceTest, ARoundTripKeepsIdsAndTimestampsByteForByte) {
    {
        auto first = makeService();
        for (int n = 0; n < 50; ++n) first->addItem(TranscriptItem::create("spoken " + std::to_string(n), n % 3 != 0));
        settle(*first);
    }
    const std::string written = readHistory();

    auto second = makeService();
    ASSERT_EQ(second->items.get().size(), 50u);
    // Replace the file with an equivalent but differently formatted one: only a rewrite brings
    // back the compact form, so this also shows that deleting an absent id rewrites the file.
    writeHistory(nlohmann::json::parse(written).dump(2));
    second->deleteItem(entry(999));
    settle(*second);
    EXPECT_EQ(readHistory(), written);
    EXPECT_EQ(second->items.get().size(), 50u);
}

TEST_F(TranscriptHistoryServiceTest, KeepsEveryDigitOfStoredTimestamps) {
    // Timestamps at the full precision of a double, as another writer of this format keeps them.
    nlohmann::ordered_json file = nlohmann::ordered_json::array();
    for (int n = 0; n < 20; ++n)
        file.push_back({{"id", entry(n).id},
                        {"timestamp", 787000000.0 + n * 1234.567890123 + n / 7.0},
                        {"text", "t"},
                        {"insertionSucceeded", true}});
    writeHistory(file.dump());
    auto service = makeService();
    ASSERT_EQ(service->items.get().size(), 20u);
    service->deleteItem(entry(999));
    settle(*service);
    EXPECT_EQ(readHistory(), file.dump());
}

TEST_F(TranscriptHistoryServiceTest, ClearAllLeavesAnEmptyArray) {
    writeHistory(encodeTranscriptItems(entries(3, 1)));
    auto service = makeService();
    service->clearAll();
    settle(*service);
    EXPECT_TRUE(service->items.get().empty());
    EXPECT_EQ(readHistory(), "[]");
}

TEST_F(TranscriptHistoryServiceTest, ReadsFilesFromOtherEncoders) {
    writeHistory(R"([
      {"text": "caf\u00e9 \"quoted\" back\\slash\nline \/ \ud83d\ude00", "extra": [1, {"x": null}],
       "insertionSucceeded": false, "timestamp": 787000000, "id": "0a1b2c3d-4e5f-4a6b-8c7d-8e9fa0b1c2d3"},
      {"insertionSucceeded": true, "id": "11111111-2222-4333-8444-555555555555", "text": "Grüße, 日本語",
       "timestamp": -12.5, "unknown": "ignored"}
    ])");
    auto service = makeService();
    const auto& items = service->items.get();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].id, "0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3");
    EXPECT_EQ(items[0].text, "caf\u00e9 \"quoted\" back\\slash\nline / \U0001F600");
    EXPECT_EQ(items[0].timestamp, wallTimeFromReferenceSeconds(787000000.0));
    EXPECT_FALSE(items[0].insertionSucceeded);
    EXPECT_EQ(items[1].text, "Grüße, 日本語");
    EXPECT_EQ(items[1].timestamp, wallTimeFromReferenceSeconds(-12.5));
    EXPECT_TRUE(items[1].insertionSucceeded);
    EXPECT_TRUE(unreadableFiles().empty());
}

struct UnreadableCase {
    const char* name;
    std::string contents;
    const char* errorPart;
};

class UnreadableHistoryTest : public TranscriptHistoryServiceTest,
                              public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableHistoryTest, LoadsEmptyAndKeepsTheOldFileAside) {
    const auto& unreadable = GetParam();
    writeHistory(unreadable.contents);
    ::chmod(historyFile().c_str(), 0644);
    LogCapture log;
    auto service = makeService();

    EXPECT_TRUE(service->items.get().empty());
    const auto failures = log.linesStartingWith("TranscriptHistoryService: Failed to load history: ");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find(unreadable.errorPart), std::string::npos) << failures[0];

    const auto aside = unreadableFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(log.contains("TranscriptHistoryService: Moved the unreadable history file to " + aside[0].string()));
    EXPECT_EQ(readWholeFile(aside[0]), unreadable.contents);
    EXPECT_EQ(modeOf(aside[0]), 0600u);
    EXPECT_FALSE(fs::exists(historyFile()));

    // The next change starts a new file; the old content stays where it was put.
    service->addItem(entry(7));
    settle(*service);
    EXPECT_EQ(readHistory(), encodeTranscriptItems({entry(7)}));
    EXPECT_EQ(readWholeFile(aside[0]), unreadable.contents);
}

std::string oneEntryWithout(const char* member) {
    auto good = nlohmann::json::parse(encodeTranscriptItems(entries(3, 1)));
    good[1].erase(member);
    return good.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadableHistoryTest,
    ::testing::Values(
        UnreadableCase{"MissingInsertionSucceeded", oneEntryWithout("insertionSucceeded"),
                       "entry 1: missing member \"insertionSucceeded\""},
        UnreadableCase{"MissingId", oneEntryWithout("id"), "missing member \"id\""},
        UnreadableCase{"MissingTimestamp", oneEntryWithout("timestamp"), "missing member \"timestamp\""},
        UnreadableCase{"MissingText", oneEntryWithout("text"), "missing member \"text\""},
        UnreadableCase{"BooleanAsNumber",
                       R"([{"id":"11111111-2222-4333-8444-555555555555","timestamp":1,"text":"a","insertionSucceeded":1}])",
                       "\"insertionSucceeded\" is not a boolean"},
        UnreadableCase{"TimestampAsString",
                       R"([{"id":"11111111-2222-4333-8444-555555555555","timestamp":"1","text":"a","insertionSucceeded":true}])",
                       "\"timestamp\""},
        UnreadableCase{"IdNotAUuid", R"([{"id":"abc","timestamp":1,"text":"a","insertionSucceeded":true}])",
                       "\"id\" is not a UUID"},
        UnreadableCase{"NotAnArray", R"({"items":[]})", "not hold a JSON array"},
        UnreadableCase{"Truncated", R"([{"id":"11111111-2222-4333-8444-555555555555","timestamp":1,)", "parse error"},
        UnreadableCase{"Empty", "", "parse error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TranscriptHistoryServiceTest, ASecondUnreadableFileGetsItsOwnName) {
    writeHistory("not json");
    makeService();
    writeHistory("still not json");
    makeService();
    const auto aside = unreadableFiles();
    ASSERT_EQ(aside.size(), 2u);
    std::vector<std::string> contents{*readWholeFile(aside[0]), *readWholeFile(aside[1])};
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"not json", "still not json"}));
}

TEST_F(TranscriptHistoryServiceTest, AMissingFileIsAnEmptyHistoryWithoutALogLine) {
    LogCapture log;
    auto service = makeService();
    EXPECT_TRUE(service->items.get().empty());
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(fs::exists(historyFile())) << "nothing is written at creation";
}

TEST_F(TranscriptHistoryServiceTest, MovesTheOldBremFolderOnceAndMakesItPrivate) {
    const std::string old = encodeTranscriptItems(entries(2, 1));
    writeHistory(old, directories.legacyApplicationSupport);
    std::ofstream(directories.legacyApplicationSupport / "other.txt") << "kept";
    ::chmod(directories.legacyApplicationSupport.c_str(), 0755);
    ::chmod((directories.legacyApplicationSupport / "transcript_history.json").c_str(), 0644);

    auto service = makeService();
    EXPECT_FALSE(fs::exists(directories.legacyApplicationSupport));
    EXPECT_EQ(service->items.get(), entries(2, 1));
    EXPECT_EQ(readHistory(), old);
    EXPECT_EQ(readWholeFile(directories.applicationSupport / "other.txt"), "kept");
    EXPECT_EQ(modeOf(directories.applicationSupport), 0700u);
    EXPECT_EQ(modeOf(historyFile()), 0600u);
}

TEST_F(TranscriptHistoryServiceTest, LeavesTheOldFolderAloneWhenTheNewOneExists) {
    writeHistory(encodeTranscriptItems(entries(2, 1)), directories.legacyApplicationSupport);
    writeHistory(encodeTranscriptItems({entry(9)}));
    auto service = makeService();
    EXPECT_EQ(service->items.get(), (std::vector<TranscriptItem>{entry(9)}));
    EXPECT_TRUE(fs::exists(directories.legacyApplicationSupport / "transcript_history.json"));
}

TEST_F(TranscriptHistoryServiceTest, KeepsTheFolderAndFilePrivate) {
    {
        auto fresh = makeService();
        fresh->addItem(entry(1));
        settle(*fresh);
        EXPECT_EQ(modeOf(directories.applicationSupport), 0700u);
        EXPECT_EQ(modeOf(historyFile()), 0600u);
    }
    // An older release left them readable by others.
    ::chmod(directories.applicationSupport.c_str(), 0755);
    ::chmod(historyFile().c_str(), 0644);
    auto service = makeService();
    EXPECT_EQ(modeOf(directories.applicationSupport), 0700u);
    EXPECT_EQ(modeOf(historyFile()), 0600u);
}

TEST_F(TranscriptHistoryServiceTest, AFailedWriteIsLoggedAndTheNextChangeWritesTheWholeList) {
    auto service = makeService();
    fs::remove_all(directories.applicationSupport);
    LogCapture log;
    service->addItem(entry(1));
    settle(*service);
    EXPECT_EQ(log.linesStartingWith("TranscriptHistoryService: Failed to save history: ").size(), 1u);
    EXPECT_EQ(service->items.get(), (std::vector<TranscriptItem>{entry(1)}));

    fs::create_directories(directories.applicationSupport);
    service->addItem(entry(2));
    settle(*service);
    EXPECT_EQ(readHistory(), encodeTranscriptItems({entry(2), entry(1)}));
}

TEST_F(TranscriptHistoryServiceTest, ChangesQueuedForADestroyedServiceDoNothing) {
    auto service = makeService();
    service->addItem(entry(1));
    service->clearAll();
    service.reset();
    queue.runUntilIdle();
    EXPECT_FALSE(fs::exists(historyFile()));
}

TEST_F(TranscriptHistoryServiceTest, WithoutAnApplicationDataFolderTheHistoryStaysInMemory) {
    directories.applicationSupport.clear();
    auto service = makeService();
    LogCapture log;
    service->addItem(entry(1));
    settle(*service);
    EXPECT_EQ(service->items.get().size(), 1u);
    EXPECT_EQ(log.linesStartingWith("TranscriptHistoryService: Failed to save history: ").size(), 1u);
}

}  // namespace
}  // namespace quonvera

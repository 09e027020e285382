#include "models/Settings.h"
#include "platform/fake/InMemoryUserDefaults.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quonvera {
namespace {

using nlohmann::json;

// A stored record with every member valid and different from the defaults.
json fullRecord() {
    return json::parse(R"({"whisperModel":"small","language":"de","launchAtLogin":true,
        "hasCompletedOnboarding":true,"hasCompletedFirstLaunch":true,"selectedMicrophoneID":"mic-1",
        "showMenuBarIcon":false,"hotkeyMode":"modifiers",
        "hotkeyConfig":{"useControl":true,"useOption":false,"useCommand":true,"useShift":false,"useFn":false,"keyCode":9},
        "checkForUpdatesAutomatically":false,"downloadUpdatesAutomatically":true,"aiAutoFormat":false,
        "aiSmartCorrections":false,"aiCustomVocabulary":["Quonvera","X11"],"streamingTranscription":true})");
}

// The persisted fields as a JSON object, for comparing whole settings objects at once.
json snapshot(const Settings& settings) { return json::parse(settings.encode()); }

json defaultsSnapshot() {
    InMemoryUserDefaults empty;
    return snapshot(Settings(empty));
}

TEST(SettingsTest, NothingStoredGivesTheDefaults) {
    InMemoryUserDefaults defaults;
    auto settings = Settings::load(defaults);
    EXPECT_EQ(settings->whisperModel.get(), WhisperModel::largeV3Turbo);
    EXPECT_EQ(settings->language.get(), "en");
    EXPECT_FALSE(settings->launchAtLogin.get());
    EXPECT_FALSE(settings->hasCompletedOnboarding.get());
    EXPECT_FALSE(settings->hasCompletedFirstLaunch.get());
    EXPECT_FALSE(settings->selectedMicrophoneID.get().has_value());
    EXPECT_TRUE(settings->showMenuBarIcon.get());
    EXPECT_EQ(settings->hotkeyMode.get(), HotkeyMode::fnKey);
    EXPECT_EQ(settings->hotkeyConfig.get(), HotkeyConfig{});
    EXPECT_FALSE(settings->isRecordingHotkey.get());
    EXPECT_TRUE(settings->checkForUpdatesAutomatically.get());
    EXPECT_FALSE(settings->downloadUpdatesAutomatically.get());
    EXPECT_TRUE(settings->aiAutoFormat.get());
    EXPECT_TRUE(settings->aiSmartCorrections.get());
    EXPECT_TRUE(settings->aiCustomVocabulary.get().empty());
    EXPECT_FALSE(settings->streamingTranscription.get());
}

TEST(SettingsTest, AValidRecordLoadsWhole) {
    InMemoryUserDefaults defaults;
    defaults.setString(Settings::kUserDefaultsKey, fullRecord().dump());
    auto settings = Settings::load(defaults);
    EXPECT_EQ(snapshot(*settings), fullRecord());
}

// Each row changes one member of the full record and says which members then differ from it.
struct LoadRow {
    const char* what;
    std::function<void(json&)> change;  // applied to the full record; nullptr = store `raw`
    std::string raw;
    json expectedChanges;  // members that differ from the full record after loading; "ALL" = defaults
};

const json kAllDefaults = "ALL";

std::vector<LoadRow> loadRows() {
    auto erase = [](const char* member) { return [member](json& r) { r.erase(member); }; };
    auto set = [](const char* member, json value) { return [member, value](json& r) { r[member] = value; }; };
    auto setConfig = [](const char* member, json value) {
        return [member, value](json& r) { r["hotkeyConfig"][member] = value; };
    };
    const json noConfig = {{"useControl", false}, {"useOption", false}, {"useCommand", false},
                           {"useShift", false}, {"useFn", false}};
    return {
        {"not JSON", nullptr, "{not json", kAllDefaults},
        {"not an object", nullptr, "[1,2]", kAllDefaults},
        {"empty text", nullptr, "", kAllDefaults},
        {"language missing", erase("language"), "", kAllDefaults},
        {"language not a string", set("language", 5), "", kAllDefaults},
        {"launchAtLogin missing", erase("launchAtLogin"), "", kAllDefaults},
        {"launchAtLogin not a boolean", set("launchAtLogin", "yes"), "", kAllDefaults},
        {"unknown model", set("whisperModel", "large-v2"), "", {{"whisperModel", "large-v3-turbo"}}},
        {"model not a string", set("whisperModel", 3), "", {{"whisperModel", "large-v3-turbo"}}},
        {"model missing", erase("whisperModel"), "", {{"whisperModel", "large-v3-turbo"}}},
        {"onboarding flag wrong", set("hasCompletedOnboarding", 1), "", {{"hasCompletedOnboarding", false}}},
        {"first launch missing", erase("hasCompletedFirstLaunch"), "", {{"hasCompletedFirstLaunch", false}}},
        {"microphone null", set("selectedMicrophoneID", nullptr), "", {{"selectedMicrophoneID", nullptr}}},
        {"microphone not a string", set("selectedMicrophoneID", 7), "", {{"selectedMicrophoneID", nullptr}}},
        {"menu bar icon missing", erase("showMenuBarIcon"), "", {{"showMenuBarIcon", true}}},
        {"unknown hotkey mode", set("hotkeyMode", "double-tap"), "", {{"hotkeyMode", "fn"}}},
        {"config lacks useFn", [](json& r) { r["hotkeyConfig"].erase("useFn"); }, "", {{"hotkeyConfig", noConfig}}},
        {"config flag not boolean", setConfig("useShift", "no"), "", {{"hotkeyConfig", noConfig}}},
        {"config not an object", set("hotkeyConfig", "ctrl"), "", {{"hotkeyConfig", noConfig}}},
        {"key code null", setConfig("keyCode", nullptr), "",
         {{"hotkeyConfig", {{"useControl", true}, {"useOption", false}, {"useCommand", true}, {"useShift", false}, {"useFn", false}}}}},
        {"key code too large", setConfig("keyCode", 65536), "", {{"hotkeyConfig", noConfig}}},
        {"key code negative", setConfig("keyCode", -1), "", {{"hotkeyConfig", noConfig}}},
        {"key code fractional", setConfig("keyCode", 9.5), "", {{"hotkeyConfig", noConfig}}},
        {"key code a string", setConfig("keyCode", "9"), "", {{"hotkeyConfig", noConfig}}},
        {"key code largest", setConfig("keyCode", 65535), "",
         {{"hotkeyConfig", {{"useControl", true}, {"useOption", false}, {"useCommand", true}, {"useShift", false}, {"useFn", false}, {"keyCode", 65535}}}}},
        {"update flags wrong", [](json& r) { r["checkForUpdatesAutomatically"] = "x"; r["downloadUpdatesAutomatically"] = 0; }, "",
         {{"checkForUpdatesAutomatically", true}, {"downloadUpdatesAutomatically", false}}},
        {"AI flags missing", [](json& r) { r.erase("aiAutoFormat"); r.erase("aiSmartCorrections"); }, "",
         {{"aiAutoFormat", true}, {"aiSmartCorrections", true}}},
        {"vocabulary with a number", set("aiCustomVocabulary", json::array({"a", 1})), "", {{"aiCustomVocabulary", json::array()}}},
        {"vocabulary not an array", set("aiCustomVocabulary", "a,b"), "", {{"aiCustomVocabulary", json::array()}}},
        {"streaming wrong", set("streamingTranscription", nullptr), "", {{"streamingTranscription", false}}},
        {"unknown members ignored", set("isRecordingHotkey", true), "", json::object()},
    };
}

class SettingsLoadTest : public ::testing::TestWithParam<LoadRow> {};

TEST_P(SettingsLoadTest, FallsBackMemberByMember) {
    const LoadRow& row = GetParam();
    std::string stored = row.raw;
    if (row.change) {
        json record = fullRecord();
        row.change(record);
        stored = record.dump();
    }
    InMemoryUserDefaults defaults;
    defaults.setString(Settings::kUserDefaultsKey, stored);
    auto settings = Settings::load(defaults);

    json expected = fullRecord();
    if (row.expectedChanges == kAllDefaults) {
        expected = defaultsSnapshot();
    } else {
        for (auto& [member, value] : row.expectedChanges.items()) expected[member] = value;
    }
    EXPECT_EQ(snapshot(*settings), expected) << row.what;
    EXPECT_FALSE(settings->isRecordingHotkey.get());
    EXPECT_EQ(defaults.stringForKey(Settings::kUserDefaultsKey), stored) << "loading never rewrites the record";
}

INSTANTIATE_TEST_SUITE_P(StoredRecords, SettingsLoadTest, ::testing::ValuesIn(loadRows()),
                         [](const auto& info) {
                             std::string name = info.param.what;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(SettingsTest, SaveWritesNullMicrophoneAndOmitsAMissingKeyCode) {
    InMemoryUserDefaults defaults;
    Settings settings(defaults);
    settings.hotkeyConfig = HotkeyConfig{true, false, false, false, false, std::nullopt};
    settings.save();
    const json stored = json::parse(*defaults.stringForKey("com.quonvera.settings"));
    ASSERT_TRUE(stored.contains("selectedMicrophoneID"));
    EXPECT_TRUE(stored["selectedMicrophoneID"].is_null());
    EXPECT_FALSE(stored["hotkeyConfig"].contains("keyCode"));
    EXPECT_FALSE(stored.contains("isRecordingHotkey"));
    EXPECT_EQ(stored.size(), 15u);
    EXPECT_EQ(stored["whisperModel"], "large-v3-turbo");
    EXPECT_EQ(stored["hotkeyMode"], "fn");
}

TEST(SettingsTest, SaveAndLoadRoundTripButRecordingTheHotkeyIsNeverStored) {
    InMemoryUserDefaults defaults;
    {
        Settings settings(defaults);
        settings.decode(fullRecord().dump());
        settings.isRecordingHotkey = true;
        settings.aiCustomVocabulary = std::vector<std::string>{"naïve", "日本語", "quote \" and \\"};
        settings.save();
    }
    auto loaded = Settings::load(defaults);
    EXPECT_FALSE(loaded->isRecordingHotkey.get());
    EXPECT_EQ(loaded->aiCustomVocabulary.get(), (std::vector<std::string>{"naïve", "日本語", "quote \" and \\"}));
    EXPECT_EQ(loaded->hotkeyConfig.get(), (HotkeyConfig{true, false, true, false, false, 9}));
}

TEST(SettingsTest, ChangingAFieldNotifiesBeforeStoring) {
    InMemoryUserDefaults defaults;
    Settings settings(defaults);
    std::vector<std::pair<WhisperModel, WhisperModel>> seen;  // (delivered, stored)
    auto subscription = settings.whisperModel.subscribe(
        [&](const WhisperModel& model) { seen.emplace_back(model, settings.whisperModel.get()); }, Delivery::skipCurrent);
    settings.whisperModel = WhisperModel::tiny;
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, WhisperModel::tiny);
    EXPECT_EQ(seen[0].second, WhisperModel::largeV3Turbo);
}

TEST(WhisperModelTest, RawValuesAndDisplayNamesInPickerOrder) {
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"tiny", "Tiny (fastest)"},        {"base", "Base (fast)"},
        {"small", "Small (balanced)"},     {"medium", "Medium (accurate)"},
        {"large", "Large (very accurate)"}, {"large-v3", "Large V3 (most accurate)"},
        {"large-v3-turbo", "Large V3 Turbo (recommended)"}};
    ASSERT_EQ(kAllWhisperModels.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rawValue(kAllWhisperModels[i]), expected[i].first);
        EXPECT_EQ(displayName(kAllWhisperModels[i]), expected[i].second);
        EXPECT_EQ(whisperModelFromRawValue(expected[i].first), kAllWhisperModels[i]);
    }
    EXPECT_EQ(rawValue(HotkeyMode::fnKey), "fn");
    EXPECT_EQ(rawValue(HotkeyMode::customModifiers), "modifiers");
}

struct DescriptionRow {
    HotkeyConfig config;
    std::string compact;
    std::string words;
};

TEST(HotkeyConfigTest, Descriptions) {
    const std::vector<DescriptionRow> rows = {
        {{false, false, true, true, false, 9}, "⇧⌘V", "Shift+Command+V"},
        {{false, false, false, false, true, std::nullopt}, "fn", "Fn"},
        {{}, "None", "None"},
        {{false, false, false, false, false, 52}, "Key52", "Key52"},
        {{true, true, false, false, false, 49}, "⌃⌥Space", "Control+Option+Space"},
        {{true, true, true, true, true, 122}, "⌃⌥⇧⌘fnF1", "Control+Option+Shift+Command+Fn+F1"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.config.compactDescription(), row.compact);
        EXPECT_EQ(row.config.longDescription(), row.words);
    }
}

TEST(HotkeyConfigTest, KeyNameTable) {
    EXPECT_EQ(keyNameTableSize(), 78u);
    const std::vector<std::pair<std::uint16_t, std::string>> samples = {
        {0, "A"},   {10, "Key10"}, {22, "6"},  {23, "5"},  {36, "↩"},  {42, "\\"}, {49, "Space"}, {51, "⌫"},
        {53, "⎋"},  {63, "fn"},    {76, "⌅"},  {96, "F5"}, {113, "F15"}, {117, "⌦"}, {121, "⇟"},  {126, "↑"},
        {52, "Key52"}, {65535, "Key65535"}};
    for (const auto& [code, label] : samples) EXPECT_EQ(keyName(code), label) << code;
}

}  // namespace
}  // namespace quonvera

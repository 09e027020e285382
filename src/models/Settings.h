#pragma once

#include "core/Published.h"
#include "models/HotkeyConfig.h"
#include "models/WhisperModel.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quonvera {

class UserDefaults;

// Every user preference, in one observable object shared by reference. Changes take effect in
// memory at once and reach the disk on `save()`.
class Settings {
public:
    static constexpr const char* kUserDefaultsKey = "com.quonvera.settings";

    // Reads the stored record from `defaults`, falling back member by member; never fails.
    static std::shared_ptr<Settings> load(UserDefaults& defaults);

    // A settings object with every field at its default, saving into `defaults`.
    explicit Settings(UserDefaults& defaults);
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Writes the whole object under kUserDefaultsKey.
    void save();

    // The stored JSON text of the persisted fields.
    std::string encode() const;
    // Applies a stored JSON text; false (and nothing changed) when the record is unusable.
    bool decode(const std::string& text);

    Published<WhisperModel> whisperModel{WhisperModel::largeV3Turbo};
    Published<std::string> language{"en"};
    Published<bool> launchAtLogin{false};
    Published<bool> hasCompletedOnboarding{false};
    Published<bool> hasCompletedFirstLaunch{false};
    Published<std::optional<std::string>> selectedMicrophoneID{std::nullopt};
    Published<bool> showMenuBarIcon{true};
    Published<HotkeyMode> hotkeyMode{HotkeyMode::fnKey};
    Published<HotkeyConfig> hotkeyConfig{HotkeyConfig{}};
    Published<bool> isRecordingHotkey{false};  // never stored
    Published<bool> checkForUpdatesAutomatically{true};
    Published<bool> downloadUpdatesAutomatically{false};
    Published<bool> aiAutoFormat{true};
    Published<bool> aiSmartCorrections{true};
    Published<std::vector<std::string>> aiCustomVocabulary{std::vector<std::string>{}};
    Published<bool> streamingTranscription{false};

private:
    UserDefaults& defaults_;
};

}  // namespace quonvera

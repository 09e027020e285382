#include "models/Settings.h"

#include "platform/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

namespace quonvera {
namespace {

using nlohmann::json;

template <typename T>
void assignIfChanged(Published<T>& field, T value) {
    if (!(field.get() == value)) field.set(std::move(value));
}

bool readBool(const json& object, const char* name, bool fallback) {
    auto it = object.find(name);
    return (it != object.end() && it->is_boolean()) ? it->get<bool>() : fallback;
}

// A key code is a whole number 0...65535, or missing/null for none; anything else makes the
// configuration unusable (returns false).
bool readKeyCode(const json& config, std::optional<std::uint16_t>& keyCode) {
    keyCode.reset();
    auto it = config.find("keyCode");
    if (it == config.end() || it->is_null()) return true;
    double value = -1;
    if (it->is_number_unsigned()) {
        value = static_cast<double>(std::min<std::uint64_t>(it->get<std::uint64_t>(), 1u << 20));
    } else if (it->is_number_float()) {
        value = it->get<double>();
    }
    if (!(value >= 0 && value <= 65535 && std::floor(value) == value)) return false;
    keyCode = static_cast<std::uint16_t>(value);
    return true;
}

std::optional<HotkeyConfig> readHotkeyConfig(const json& object) {
    auto it = object.find("hotkeyConfig");
    if (it == object.end() || !it->is_object()) return std::nullopt;
    HotkeyConfig config;
    bool* flags[] = {&config.useControl, &config.useOption, &config.useCommand, &config.useShift, &config.useFn};
    const char* names[] = {"useControl", "useOption", "useCommand", "useShift", "useFn"};
    for (std::size_t i = 0; i < 5; ++i) {
        auto flag = it->find(names[i]);
        if (flag == it->end() || !flag->is_boolean()) return std::nullopt;
        *flags[i] = flag->get<bool>();
    }
    if (!readKeyCode(*it, config.keyCode)) return std::nullopt;
    return config;
}

std::vector<std::string> readVocabulary(const json& object) {
    auto it = object.find("aiCustomVocabulary");
    if (it == object.end() || !it->is_array()) return {};
    std::vector<std::string> terms;
    for (const auto& term : *it) {
        if (!term.is_string()) return {};
        terms.push_back(term.get<std::string>());
    }
    return terms;
}

}  // namespace

Settings::Settings(UserDefaults& defaults) : defaults_(defaults) {}

std::shared_ptr<Settings> Settings::load(UserDefaults& defaults) {
    auto settings = std::make_shared<Settings>(defaults);
    if (auto stored = defaults.stringForKey(kUserDefaultsKey)) settings->decode(*stored);
    return settings;
}

bool Settings::decode(const std::string& text) {
    const json object = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object()) return false;
    auto language_ = object.find("language");
    auto launchAtLogin_ = object.find("launchAtLogin");
    if (language_ == object.end() || !language_->is_string()) return false;
    if (launchAtLogin_ == object.end() || !launchAtLogin_->is_boolean()) return false;

    auto model = WhisperModel::largeV3Turbo;
    if (auto it = object.find("whisperModel"); it != object.end() && it->is_string())
        model = whisperModelFromRawValue(it->get<std::string>()).value_or(WhisperModel::largeV3Turbo);
    std::optional<std::string> microphone;
    if (auto it = object.find("selectedMicrophoneID"); it != object.end() && it->is_string())
        microphone = it->get<std::string>();
    auto mode = HotkeyMode::fnKey;
    if (auto it = object.find("hotkeyMode"); it != object.end() && it->is_string())
        mode = hotkeyModeFromRawValue(it->get<std::string>()).value_or(HotkeyMode::fnKey);

    assignIfChanged(whisperModel, model);
    assignIfChanged(language, language_->get<std::string>());
    assignIfChanged(launchAtLogin, launchAtLogin_->get<bool>());
    assignIfChanged(hasCompletedOnboarding, readBool(object, "hasCompletedOnboarding", false));
    assignIfChanged(hasCompletedFirstLaunch, readBool(object, "hasCompletedFirstLaunch", false));
    assignIfChanged(selectedMicrophoneID, microphone);
    assignIfChanged(showMenuBarIcon, readBool(object, "showMenuBarIcon", true));
    assignIfChanged(hotkeyMode, mode);
    assignIfChanged(hotkeyConfig, readHotkeyConfig(object).value_or(HotkeyConfig{}));
    assignIfChanged(checkForUpdatesAutomatically, readBool(object, "checkForUpdatesAutomatically", true));
    assignIfChanged(downloadUpdatesAutomatically, readBool(object, "downloadUpdatesAutomatically", false));
    assignIfChanged(aiAutoFormat, readBool(object, "aiAutoFormat", true));
    assignIfChanged(aiSmartCorrections, readBool(object, "aiSmartCorrections", true));
    assignIfChanged(aiCustomVocabulary, readVocabulary(object));
    assignIfChanged(streamingTranscription, readBool(object, "streamingTranscription", false));
    return true;
}

std::string Settings::encode() const {
    json config = {{"useControl", hotkeyConfig.get().useControl}, {"useOption", hotkeyConfig.get().useOption},
                   {"useCommand", hotkeyConfig.get().useCommand}, {"useShift", hotkeyConfig.get().useShift},
                   {"useFn", hotkeyConfig.get().useFn}};
    if (hotkeyConfig.get().keyCode) config["keyCode"] = *hotkeyConfig.get().keyCode;
    json object = {
        {"whisperModel", std::string(rawValue(whisperModel.get()))},
        {"language", language.get()},
        {"launchAtLogin", launchAtLogin.get()},
        {"hasCompletedOnboarding", hasCompletedOnboarding.get()},
        {"hasCompletedFirstLaunch", hasCompletedFirstLaunch.get()},
        {"selectedMicrophoneID", selectedMicrophoneID.get() ? json(*selectedMicrophoneID.get()) : json(nullptr)},
        {"showMenuBarIcon", showMenuBarIcon.get()},
        {"hotkeyMode", std::string(rawValue(hotkeyMode.get()))},
        {"hotkeyConfig", config},
        {"checkForUpdatesAutomatically", checkForUpdatesAutomatically.get()},
        {"downloadUpdatesAutomatically", downloadUpdatesAutomatically.get()},
        {"aiAutoFormat", aiAutoFormat.get()},
        {"aiSmartCorrections", aiSmartCorrections.get()},
        {"aiCustomVocabulary", aiCustomVocabulary.get()},
        {"streamingTranscription", streamingTranscription.get()},
    };
    // Text that is not valid UTF-8 is stored with replacement characters rather than lost.
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

void Settings::save() { defaults_.setString(kUserDefaultsKey, encode()); }

}  // namespace quonvera

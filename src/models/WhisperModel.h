#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quonvera {

// The local speech models, in picker order.
enum class WhisperModel { tiny, base, small, medium, large, largeV3, largeV3Turbo };

inline constexpr std::array<WhisperModel, 7> kAllWhisperModels = {
    WhisperModel::tiny,  WhisperModel::base,    WhisperModel::small,       WhisperModel::medium,
    WhisperModel::large, WhisperModel::largeV3, WhisperModel::largeV3Turbo};

std::string_view rawValue(WhisperModel model);
std::optional<WhisperModel> whisperModelFromRawValue(std::string_view raw);
std::string_view displayName(WhisperModel model);

// Which hotkey rule applies.
enum class HotkeyMode { fnKey, customModifiers };

inline constexpr std::array<HotkeyMode, 2> kAllHotkeyModes = {HotkeyMode::fnKey, HotkeyMode::customModifiers};

std::string_view rawValue(HotkeyMode mode);
std::optional<HotkeyMode> hotkeyModeFromRawValue(std::string_view raw);

}  // namespace quonvera

#include "models/WhisperModel.h"

namespace quonvera {

std::string_view rawValue(WhisperModel model) {
    switch (model) {
        case WhisperModel::tiny: return "tiny";
        case WhisperModel::base: return "base";
        case WhisperModel::small: return "small";
        case WhisperModel::medium: return "medium";
        case WhisperModel::large: return "large";
        case WhisperModel::largeV3: return "large-v3";
        case WhisperModel::largeV3Turbo: return "large-v3-turbo";
    }
    return "large-v3-turbo";
}

std::optional<WhisperModel> whisperModelFromRawValue(std::string_view raw) {
    for (WhisperModel model : kAllWhisperModels)
        if (rawValue(model) == raw) return model;
    return std::nullopt;
}

std::string_view displayName(WhisperModel model) {
    switch (model) {
        case WhisperModel::tiny: return "Tiny (fastest)";
        case WhisperModel::base: return "Base (fast)";
        case WhisperModel::small: return "Small (balanced)";
        case WhisperModel::medium: return "Medium (accurate)";
        case WhisperModel::large: return "Large (very accurate)";
        case WhisperModel::largeV3: return "Large V3 (most accurate)";
        case WhisperModel::largeV3Turbo: return "Large V3 Turbo (recommended)";
    }
    return "";
}

std::string_view rawValue(HotkeyMode mode) { return mode == HotkeyMode::fnKey ? "fn" : "modifiers"; }

std::optional<HotkeyMode> hotkeyModeFromRawValue(std::string_view raw) {
    for (HotkeyMode mode : kAllHotkeyModes)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

}  // namespace quonvera

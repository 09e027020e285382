#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quonvera {

// A usage event of the local statistics, stored by its raw value.
enum class AnalyticsEvent {
    appLaunched,
    onboardingStarted,
    onboardingCompleted,
    permissionsGranted,
    transcriptionStarted,
    transcriptionCompleted,
    transcriptionFailed,
    cloudTranscriptionUsed,
    localTranscriptionUsed,
    modelDownloadStarted,
    modelDownloadCompleted,
    modelDownloadFailed,
    updateCheckPerformed,
    updateAvailable,
    updateInstalled,
    aiEnhancementUsed,
};

std::string_view rawValue(AnalyticsEvent event);
std::optional<AnalyticsEvent> analyticsEventFromRawValue(std::string_view raw);

}  // namespace quonvera

#include "models/AnalyticsEvent.h"

#include <utility>

namespace quonvera {
namespace {

constexpr std::array<std::pair<AnalyticsEvent, std::string_view>, 16> kRawValues = {{
    {AnalyticsEvent::appLaunched, "app_launched"},
    {AnalyticsEvent::onboardingStarted, "onboarding_started"},
    {AnalyticsEvent::onboardingCompleted, "onboarding_completed"},
    {AnalyticsEvent::permissionsGranted, "permissions_granted"},
    {AnalyticsEvent::transcriptionStarted, "transcription_started"},
    {AnalyticsEvent::transcriptionCompleted, "transcription_completed"},
    {AnalyticsEvent::transcriptionFailed, "transcription_failed"},
    {AnalyticsEvent::cloudTranscriptionUsed, "cloud_transcription_used"},
    {AnalyticsEvent::localTranscriptionUsed, "local_transcription_used"},
    {AnalyticsEvent::modelDownloadStarted, "model_download_started"},
    {AnalyticsEvent::modelDownloadCompleted, "model_download_completed"},
    {AnalyticsEvent::modelDownloadFailed, "model_download_failed"},
    {AnalyticsEvent::updateCheckPerformed, "update_check_performed"},
    {AnalyticsEvent::updateAvailable, "update_available"},
    {AnalyticsEvent::updateInstalled, "update_installed"},
    {AnalyticsEvent::aiEnhancementUsed, "ai_enhancement_used"},
}};

}  // namespace

std::string_view rawValue(AnalyticsEvent event) {
    for (const auto& [candidate, raw] : kRawValues)
        if (candidate == event) return raw;
    return "";
}

std::optional<AnalyticsEvent> analyticsEventFromRawValue(std::string_view raw) {
    for (const auto& [event, candidate] : kRawValues)
        if (candidate == raw) return event;
    return std::nullopt;
}

}  // namespace quonvera

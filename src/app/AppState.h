#pragma once

#include <string>

namespace quonvera {

// What the dictation is doing, as the menu bar, the indicator and the main window show it.
struct AppState {
    enum class Kind { idle, recording, transcribing, streamingTranscription, downloadingModel, cancelled, error };

    Kind kind = Kind::idle;
    std::string message;  // only for error: the failure's user-facing description

    static AppState idle() { return {Kind::idle, {}}; }
    static AppState recording() { return {Kind::recording, {}}; }
    static AppState transcribing() { return {Kind::transcribing, {}}; }
    static AppState streamingTranscription() { return {Kind::streamingTranscription, {}}; }
    static AppState downloadingModel() { return {Kind::downloadingModel, {}}; }
    static AppState cancelled() { return {Kind::cancelled, {}}; }
    static AppState error(std::string message) { return {Kind::error, std::move(message)}; }

    bool is(Kind k) const { return kind == k; }
    bool operator==(const AppState&) const = default;
};

// "idle", "recording", ..., "error(message)": for logs and test failure messages.
std::string describe(const AppState& state);

}  // namespace quonvera

#include "app/AppState.h"

namespace quonvera {

std::string describe(const AppState& state) {
    switch (state.kind) {
        case AppState::Kind::idle: return "idle";
        case AppState::Kind::recording: return "recording";
        case AppState::Kind::transcribing: return "transcribing";
        case AppState::Kind::streamingTranscription: return "streamingTranscription";
        case AppState::Kind::downloadingModel: return "downloadingModel";
        case AppState::Kind::cancelled: return "cancelled";
        case AppState::Kind::error: return "error(" + state.message + ")";
    }
    return "unknown";
}

}  // namespace quonvera

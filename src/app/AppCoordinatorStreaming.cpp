// The streaming dictation: live text while the user speaks, reconciled with the final
// transcript when the recording ends.

#include "app/AppCoordinator.h"

#include "core/Log.h"
#include "core/UnicodeText.h"

#include <system_error>

namespace quonvera {
namespace {

std::string trimHorizontalWhitespace(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void removeFile(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

}  // namespace

void AppCoordinator::startStreamingSession() {
    isStreamingSession_ = true;
    streamingText_.clear();
    services_.audioEngine->enableStreaming();
    services_.transcriptionEngine->startStreamingSession();
    services_.textInsertionService->startStreamingSession();
    postState(AppState::streamingTranscription());
    logLine("AppCoordinator: Starting streaming transcription");
}

void AppCoordinator::transcriptionEngineDidReceivePartialText(const std::string& text, const std::string& delta) {
    if (!isStreamingSession_ || delta.empty()) return;
    logLine("AppCoordinator: Streaming partial update - delta: '" + delta + "'");
    std::string piece = trimHorizontalWhitespace(delta);
    if (piece.empty()) return;
    if (!streamingText_.empty()) piece = std::string(" ") + piece;
    services_.textInsertionService->insertStreamingText(piece);
    streamingText_ = text;
}

void AppCoordinator::transcriptionEngineDidReviseText(const std::string& oldText, const std::string& newText) {
    if (!isStreamingSession_) return;
    logLine("AppCoordinator: Streaming revision - '" + oldText + "' -> '" + newText + "'");
    services_.textInsertionService->handleRevision(services_.textInsertionService->streamingInsertedCount(), newText);
    streamingText_ = newText;
}

void AppCoordinator::endStreamingRecording(const std::filesystem::path& file) {
    logLine("AppCoordinator: Streaming session ending, doing final transcription...");
    pendingStreamingText_ = streamingText_;
    pendingStreamingCharCount_ = services_.textInsertionService->streamingInsertedCount();
    pendingStreamingAudioURL_ = file;
    services_.transcriptionEngine->endStreamingSession();
    services_.audioEngine->disableStreaming();
    postState(AppState::transcribing());
    services_.transcriptionEngine->transcribe(file);
}

void AppCoordinator::finishStreamingSession(const std::string& finalText) {
    const std::string streamed = pendingStreamingText_;
    logLine("AppCoordinator: Handling streaming final transcription");
    logLine("AppCoordinator: Streamed text: '" + streamed + "'");
    logLine("AppCoordinator: Final text: '" + finalText + "'");
    auto& insertion = *services_.textInsertionService;

    std::string delivered = finalText;
    if (finalText.empty()) {
        insertion.commitStreamingSession();
        delivered = streamed;
    } else if (streamed.empty()) {
        insertion.commitStreamingSession();
        insertion.insertText(finalText);
    } else if (hasCanonicalPrefix(finalText, streamed) && characterCount(streamed) < characterCount(finalText)) {
        const std::string remainder = dropCharacters(finalText, characterCount(streamed));
        logLine("AppCoordinator: Appending remainder: '" + remainder + "'");
        insertion.insertText(remainder);
        insertion.commitStreamingSession();
    } else if (canonicallyEqual(finalText, streamed)) {
        insertion.commitStreamingSession();
    } else {
        logLine("AppCoordinator: Replacing streamed text with final transcription");
        insertion.undoStreamingInsertion();
        insertion.insertText(finalText);
    }
    lastTranscription_ = delivered;
    if (!delivered.empty()) addHistoryItem(delivered, true);

    const auto file = pendingStreamingAudioURL_;
    resetStreamingFields();
    if (file) removeFile(*file);
    postState(AppState::idle());
}

void AppCoordinator::cleanUpFailedStreamingSession() {
    if (!pendingStreamingText_.empty()) {
        services_.textInsertionService->commitStreamingSession();
        lastTranscription_ = pendingStreamingText_;
        addHistoryItem(pendingStreamingText_, true);
    } else {
        services_.textInsertionService->undoStreamingInsertion();
    }
    services_.transcriptionEngine->endStreamingSession();
    services_.audioEngine->disableStreaming();
    const auto file = pendingStreamingAudioURL_;
    resetStreamingFields();
    if (file) removeFile(*file);
}

void AppCoordinator::cancelStreamingSession() {
    logLine("AppCoordinator: Streaming session cancelled - undoing inserted text");
    services_.textInsertionService->undoStreamingInsertion();
    services_.transcriptionEngine->endStreamingSession();
    services_.audioEngine->disableStreaming();
    isStreamingSession_ = false;
    streamingText_.clear();
    // Nothing is kept for Undo: the live text is already gone.
    services_.audioEngine->cancelRecording([](std::optional<std::filesystem::path> file) {
        if (file) removeFile(*file);
    });
    postState(AppState::cancelled());
    services_.mainQueue.postAfter(kStreamingCancelDisplayDuration, [weak = weakSelf()] {
        if (auto self = weak.lock()) self->appState = AppState::idle();
    });
}

void AppCoordinator::resetStreamingFields() {
    isStreamingSession_ = false;
    streamingText_.clear();
    pendingStreamingText_.clear();
    pendingStreamingCharCount_ = 0;
    pendingStreamingAudioURL_.reset();
}

}  // namespace quonvera

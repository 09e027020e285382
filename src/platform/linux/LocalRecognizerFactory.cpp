#include "platform/linux/LocalRecognizerFactory.h"

#include "services/ModelDownloader.h"

#ifdef QUONVERA_HAVE_WHISPER
#include "platform/whisper/WhisperCppRecognizer.h"
#endif

namespace quonvera {
namespace {

class UnavailableRecognizerFactory final : public OnDeviceRecognizerFactory {
public:
    Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError> create(const RecognizerConfiguration&,
                                                                        std::stop_token) override {
        return RecognizerError::withMessage(kLocalTranscriptionUnavailable);
    }
};

}  // namespace

std::shared_ptr<OnDeviceRecognizerFactory> makeLocalRecognizerFactory(const AppDirectories& directories) {
#ifdef QUONVERA_HAVE_WHISPER
    return std::make_shared<WhisperCppRecognizerFactory>(directories.modelCache, modelRepositoryBaseUrl(),
                                                         std::make_shared<ModelDownloader>());
#else
    (void)directories;
    return std::make_shared<UnavailableRecognizerFactory>();
#endif
}

}  // namespace quonvera

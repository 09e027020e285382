// Peak memory of a 30-second streaming recording against the running PulseAudio server (run
// under scripts/with-test-servers.sh): the process's peak resident size before and after, with
// the main queue driven by Qt's event loop in real time and a delegate that keeps the latest
// window, as the streaming transcription does.
#include "platform/fake/FakeDesktopNotifier.h"
#include "platform/fake/FakeDisplayAccessProbe.h"
#include "platform/fake/FakeSoundServerProbe.h"
#include "platform/fake/FakeUrlOpener.h"
#include "platform/linux/PulseAudioCaptureSource.h"
#include "platform/linux/PulseAudioDeviceCatalog.h"
#include "platform/linux/PulseSoundServerProbe.h"
#include "platform/linux/QtMainQueue.h"
#include "services/AudioDeviceManager.h"
#include "services/AudioEngine.h"
#include "services/PermissionManager.h"

#include <QCoreApplication>
#include <QObject>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace quonvera;
namespace fs = std::filesystem;

namespace {

long statusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

class KeepLatest final : public AudioEngineDelegate {
public:
    void audioEngineDidStartRecording() override {}
    void audioEngineDidFinishRecording(const fs::path& file) override { finished = file; }
    void audioEngineDidDiscardShortRecording() override {}
    void audioEngineDidFail(const AudioEngineError& error) override {
        std::fprintf(stderr, "failed: %s\n", error.description().c_str());
    }
    void audioEngineDidUpdateLevels(const AudioLevels&) override { ++levelReports; }
    void audioEngineDidAccumulateSamples(const std::vector<float>& samples) override {
        latest = samples;
        ++windows;
    }
    std::vector<float> latest;
    std::optional<fs::path> finished;
    int levelReports = 0;
    int windows = 0;
};

void pump(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int recordSeconds = argc > 1 ? std::stoi(argv[1]) : 30;
    QObject context;
    QtMainQueue queue(&context);
    PulseAudioCaptureSource capture;
    PulseAudioDeviceCatalog catalog;
    AudioDeviceManager devices(queue, catalog);
    PulseSoundServerProbe soundServer;
    FakeDisplayAccessProbe display;
    FakeDesktopNotifier notifier;
    FakeUrlOpener opener;
    PermissionManager permissions(soundServer, display, notifier, opener, "/dev/null");
    const fs::path folder = fs::temp_directory_path() / ("quonvera-memory-" + std::to_string(::getpid()));
    auto delegate = std::make_shared<KeepLatest>();
    {
        AudioEngine engine(queue, capture, devices, permissions, folder);
        engine.setDelegate(delegate);
        // A short recording first, so that connections and libraries are in place.
        engine.startRecording();
        pump(std::chrono::milliseconds(2000));
        engine.cancelRecording([](std::optional<fs::path> file) {
            if (file) fs::remove(*file);
        });
        const long before = statusKilobytes("VmHWM");
        const long rssBefore = statusKilobytes("VmRSS");

        engine.enableStreaming();
        engine.startRecording();
        pump(std::chrono::seconds(recordSeconds));
        engine.stopRecording();
        pump(std::chrono::milliseconds(100));
        engine.disableStreaming();

        const long after = statusKilobytes("VmHWM");
        std::printf("%d s streaming recording: peak resident %ld kB (before the recording: peak %ld kB, resident %ld kB; "
                    "growth of the peak %ld kB); window %zu samples (%zu kB), %d windows, %d level reports\n",
                    recordSeconds, after, before, rssBefore, after - before, delegate->latest.size(),
                    delegate->latest.size() * sizeof(float) / 1024, delegate->windows, delegate->levelReports);
    }
    fs::remove_all(folder);
}

// The event sounds reach the sound server: what is played into the test speaker is heard by
// the test microphone.

#include "platform/linux/PulseAudioSystemSounds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <future>
#include <gtest/gtest.h>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <vector>

namespace quonvera {
namespace {

// Records `seconds` from the default source and returns the loudest sample.
float recordPeak(double seconds) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 16000, 1};
    int error = 0;
    // Small fragments, so the recording starts at once rather than after the default two seconds.
    const pa_buffer_attr buffer{static_cast<std::uint32_t>(-1), 0, 0, 0, 1600 * sizeof(float)};
    pa_simple* stream = pa_simple_new(nullptr, "QuonveraTest", PA_STREAM_RECORD, nullptr, "listen", &spec, nullptr,
                                      &buffer, &error);
    if (stream == nullptr) {
        ADD_FAILURE() << "no sound server (run under scripts/with-test-servers.sh): " << pa_strerror(error);
        return 0;
    }
    std::vector<float> samples(static_cast<std::size_t>(seconds * 16000));
    pa_simple_read(stream, samples.data(), samples.size() * sizeof(float), &error);
    pa_simple_free(stream);
    float peak = 0;
    for (float sample : samples) peak = std::max(peak, std::fabs(sample));
    return peak;
}

TEST(SystemSoundsTest, BothSoundsAreAudible) {
    for (SystemSound sound : {SystemSound::tink, SystemSound::pop}) {
        PulseAudioSystemSounds sounds;
        auto peak = std::async(std::launch::async, [] { return recordPeak(1.5); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sounds.play(sound);
        EXPECT_GT(peak.get(), 0.05f);
    }
}

TEST(SystemSoundsTest, SilenceWithoutPlaying) { EXPECT_LT(recordPeak(0.3), 0.01f); }

}  // namespace
}  // namespace quonvera

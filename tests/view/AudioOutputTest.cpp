#include "AudioOutput.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

// Sound switched off, and no sound server to be found (the address below
// leads nowhere, whatever runs on the machine): pictures must go on alone.
TEST(AudioOutputWithoutDevice, StaysSilentAnswersAtOnceAndSaysWhyOnce) {
    setenv("PULSE_SERVER", "unix:/nonexistent/tessaro-no-sound-server", 1);
    struct Case {
        const char* what;
        bool useDevice;
    };
    for (const Case& c : {Case{"switched off", false}, Case{"no server", true}}) {
        SCOPED_TRACE(c.what);
        AudioOutput audio(c.useDevice);
        EXPECT_FALSE(audio.available());
        EXPECT_FALSE(audio.takeNotice().empty());
        EXPECT_TRUE(audio.takeNotice().empty());

        const std::vector<int16_t> second(2 * 48000, 1000);
        audio.setInputFormat(48000, 2);
        audio.write(second.data(), 48000, 0.0, false);
        audio.setPaused(true);
        audio.setVolume(0.4);
        audio.setMuted(true);
        audio.flush();
        EXPECT_FALSE(audio.presentationTime());
        EXPECT_FALSE(audio.clockPending());
        // The overlay still shows what the keys set.
        EXPECT_TRUE(audio.paused());
        EXPECT_DOUBLE_EQ(0.4, audio.volume());
        EXPECT_TRUE(audio.muted());
    }
}

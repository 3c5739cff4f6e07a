// BEEP.exe's logic: the generated click and the companion's life on the native platform.
#include "beep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "appplatform_native.h"

namespace {

std::uint32_t U16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }
std::string Tag(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::string(reinterpret_cast<const char*>(&b[at]), 4);
}
int Sample(const std::vector<std::uint8_t>& b, std::size_t i) { return std::int16_t(U16(b, 44 + 2 * i)); }
double Rms(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to)
{
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(Sample(b, i)) * Sample(b, i);
    return std::sqrt(sum / double(to - from));
}

// 22050 samples a second for 12 ms: 264 samples, 528 bytes after the 44-byte header.
TEST(BeepClick, IsACanonicalPcmWaveThatPlaySoundTakesFromMemory)
{
    const std::vector<std::uint8_t> w = beep::MakeClickWave();
    ASSERT_EQ(w.size(), 44u + 528u);
    EXPECT_EQ(Tag(w, 0), "RIFF");
    EXPECT_EQ(U32(w, 4), w.size() - 8);
    EXPECT_EQ(Tag(w, 8), "WAVE");
    EXPECT_EQ(Tag(w, 12), "fmt ");
    EXPECT_EQ(U32(w, 16), 16u);
    EXPECT_EQ(U16(w, 20), 1u);      // PCM
    EXPECT_EQ(U16(w, 22), 1u);      // mono
    EXPECT_EQ(U32(w, 24), 22050u);  // samples a second
    EXPECT_EQ(U32(w, 28), 44100u);  // bytes a second
    EXPECT_EQ(U16(w, 32), 2u);      // block align
    EXPECT_EQ(U16(w, 34), 16u);     // bits a sample
    EXPECT_EQ(Tag(w, 36), "data");
    EXPECT_EQ(U32(w, 40), 528u);
}

TEST(BeepClick, IsAShortTwoKilohertzTickThatDiesAwayWithoutAPop)
{
    const std::vector<std::uint8_t> w = beep::MakeClickWave();
    const std::size_t n = (w.size() - 44) / 2;
    int peak = 0;
    std::size_t peakAt = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (std::abs(Sample(w, i)) > peak)
            peak = std::abs(Sample(w, i)), peakAt = i;
    // Loud enough to hear (over half of full scale at the first crest, 0.125 ms in),
    // never clipped, and loudest at the start.
    EXPECT_GT(peak, 16000);
    EXPECT_LT(peak, 32767);
    EXPECT_LT(peakAt, 22u) << "the first millisecond";
    // It dies away: the last 2 ms hold almost nothing of the first 2 ms, and it ends at rest.
    EXPECT_LT(Rms(w, n - 44, n), Rms(w, 0, 44) * 0.05);
    EXPECT_EQ(Sample(w, n - 1), 0);
    // A 2 kHz tone: about 4 sign changes a millisecond over the first 5 ms.
    int changes = 0;
    for (std::size_t i = 1; i < 110; ++i)
        if ((Sample(w, i - 1) < 0) != (Sample(w, i) < 0))
            ++changes;
    EXPECT_GE(changes, 18);
    EXPECT_LE(changes, 22);
}

TEST(BeepCompanion, RunsOnceAndClicksOnEveryLeftPressUntilItStops)
{
    app::NativeAppPlatform p;
    beep::Companion first(p);
    ASSERT_TRUE(first.Start());
    EXPECT_TRUE(first.hooked());

    beep::Companion second(p);
    EXPECT_FALSE(second.Start()) << "another instance runs";
    EXPECT_FALSE(second.hooked());

    EXPECT_TRUE(p.PressLeft());
    EXPECT_TRUE(p.PressLeft());
    EXPECT_EQ(first.presses(), 2u);
    EXPECT_EQ(first.played(), 2u);
    ASSERT_EQ(p.wavesPlayed.size(), 2u);
    EXPECT_EQ(std::memcmp(p.wavesPlayed[0], "RIFF", 4), 0);

    p.soundAvailable = false;  // no sound device: the press is still heard
    p.PressLeft();
    EXPECT_EQ(first.presses(), 3u);
    EXPECT_EQ(first.played(), 2u);

    first.Stop();
    EXPECT_FALSE(p.PressLeft()) << "the hook has gone";
    beep::Companion third(p);
    EXPECT_TRUE(third.Start()) << "the instance guard was given up";
}

TEST(BeepCompanion, WithoutALowLevelHookItJustRuns)
{
    app::NativeAppPlatform p;
    p.mouseHookAvailable = false;  // Windows 98
    beep::Companion c(p);
    EXPECT_TRUE(c.Start());
    EXPECT_FALSE(c.hooked());
    EXPECT_FALSE(p.PressLeft());
    EXPECT_EQ(c.presses(), 0u);
    c.Stop();
}

}  // namespace

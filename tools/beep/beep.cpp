#include "beep.h"

#include <cmath>
#include <utility>

namespace beep {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutTag(std::vector<std::uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

std::vector<std::uint8_t> MakeClickWave()
{
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kToneHz = 2000.0;
    constexpr double kDecayS = 0.002;  // the tone falls to 1/e every 2 ms
    constexpr double kPeak = 0.6 * 32767.0;
    constexpr std::uint32_t kSamples = kSampleRate * kClickMs / 1000;
    constexpr std::uint32_t kFade = kSampleRate / 1000;  // the last millisecond fades to zero
    constexpr std::uint32_t kDataBytes = kSamples * 2;

    std::vector<std::uint8_t> wave;
    wave.reserve(44 + kDataBytes);
    PutTag(wave, "RIFF");
    Put32(wave, 36 + kDataBytes);
    PutTag(wave, "WAVE");
    PutTag(wave, "fmt ");
    Put32(wave, 16);
    Put16(wave, 1);  // PCM
    Put16(wave, 1);  // mono
    Put32(wave, kSampleRate);
    Put32(wave, kSampleRate * 2);  // bytes a second
    Put16(wave, 2);                // bytes a sample frame
    Put16(wave, 16);               // bits a sample
    PutTag(wave, "data");
    Put32(wave, kDataBytes);
    for (std::uint32_t i = 0; i < kSamples; ++i) {
        const double t = double(i) / kSampleRate;
        double v = kPeak * std::exp(-t / kDecayS) * std::sin(2 * kPi * kToneHz * t);
        const std::uint32_t left = kSamples - 1 - i;
        if (left < kFade)
            v *= double(left) / kFade;
        Put16(wave, std::uint16_t(std::int16_t(std::lround(v))));
    }
    return wave;
}

Companion::Companion(app::Platform& platform) : platform_(platform), wave_(MakeClickWave()) {}

Companion::~Companion() { Stop(); }

bool Companion::Start()
{
    bool existed = false;
    mutex_ = platform_.CreateMutex(kMutexName, false, &existed);
    if (mutex_ && existed) {
        platform_.CloseHandle(std::exchange(mutex_, nullptr));
        return false;
    }
    // Without a mutex (creation failed) the program still runs: a missing guard is no
    // reason to stay silent.
    hooked_ = platform_.InstallMouseHook(&Companion::HookThunk, this);
    return true;
}

void Companion::HookThunk(void* self) { static_cast<Companion*>(self)->OnLeftPress(); }

void Companion::OnLeftPress()
{
    ++presses_;
    if (platform_.PlayWave(wave_.data()))
        ++played_;
}

void Companion::Stop()
{
    if (hooked_) {
        platform_.RemoveMouseHook();
        hooked_ = false;
    }
    if (mutex_)
        platform_.CloseHandle(std::exchange(mutex_, nullptr));
}

}  // namespace beep

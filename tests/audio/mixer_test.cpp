#include <gtest/gtest.h>

#include "host/mixer.h"
#include "sound_files.h"
#include "support/temp_dir.h"

using audio_testing::readWav;
using audio_testing::Wav;
using host::mixer::Placement;

namespace {

// A 0.3 s sine of amplitude 1/8 has an RMS of about 0.088; silence is exactly 0.
constexpr double kHeard = 0.05;

class Mixer : public ::testing::Test {
 protected:
  static std::string tone() { return audio_testing::aacTone(); }
  static std::string mp3() { return audio_testing::mp3Tone(); }

  Wav render(const std::vector<Placement>& placements, long durationMs, int channels = 2) {
    std::string error;
    EXPECT_TRUE(host::mixer::renderWav(placements, durationMs, (dir_ / "out.wav").string(), &error, channels))
        << error;
    return readWav(dir_ / "out.wav");
  }

  testing_support::TempDir dir_;
};

TEST_F(Mixer, WritesACanonicalSixteenBitWavOfTheGivenDuration) {
  Wav wav = render({}, 1500);
  EXPECT_EQ(wav.riff, "RIFF");
  EXPECT_EQ(wav.wave, "WAVE");
  EXPECT_EQ(wav.fmt, "fmt ");
  EXPECT_EQ(wav.data, "data");
  EXPECT_EQ(wav.fmtSize, 16u);
  EXPECT_EQ(wav.format, 1);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.sampleRate, 44100u);
  EXPECT_EQ(wav.bitsPerSample, 16);
  EXPECT_EQ(wav.blockAlign, 4);
  EXPECT_EQ(wav.byteRate, 44100u * 4);
  EXPECT_EQ(wav.frames(), 66150u);
  EXPECT_EQ(wav.dataSize, 66150u * 4);
  EXPECT_EQ(wav.riffSize, 36 + wav.dataSize);
  EXPECT_EQ(wav.fileSize, 44 + wav.dataSize);
}

TEST_F(Mixer, MonoOutputHasOneChannel) {
  Wav wav = render({{tone(), 0, 0, {}}}, 1000, 1);
  EXPECT_EQ(wav.channels, 1);
  EXPECT_EQ(wav.blockAlign, 2);
  EXPECT_EQ(wav.frames(), 44100u);
  EXPECT_GT(wav.rms(50, 250), kHeard);
}

TEST_F(Mixer, PlacesASoundAtItsStartTime) {
  Wav wav = render({{tone(), 0, 500, {}}}, 1200);
  EXPECT_EQ(wav.rms(0, 495), 0.0);
  EXPECT_GT(wav.rms(550, 750), kHeard);
  EXPECT_EQ(wav.rms(900, 1200), 0.0);
}

TEST_F(Mixer, DecodesMp3AsWellAsAac) {
  Wav wav = render({{mp3(), 0, 100, {}}}, 600);
  EXPECT_GT(wav.rms(150, 350), kHeard);
}

TEST_F(Mixer, CutsASoundShortAtItsCutTime) {
  Wav wav = render({{tone(), 0, 100, 200}}, 600);
  EXPECT_GT(wav.rms(120, 190), kHeard);
  EXPECT_EQ(wav.rms(200, 600), 0.0);
}

TEST_F(Mixer, FadesOutJustBeforeTheCutInsteadOfClicking) {
  Wav wav = render({{tone(), 0, 0, 200}}, 400, 1);
  // Over the last millisecond before the cut the level is a small fraction of the sound's.
  EXPECT_LT(wav.rms(199, 200), wav.rms(150, 190) / 4);
}

TEST_F(Mixer, ACutBeforeTheStartSilencesTheSound) {
  Wav wav = render({{tone(), 0, 300, 100}}, 800);
  EXPECT_EQ(wav.peak(), 0);
}

TEST_F(Mixer, OverlappingSoundsAddUp) {
  Wav single = render({{tone(), 0, 100, {}}}, 600);
  Wav twice = render({{tone(), 0, 100, {}}, {tone(), 0, 100, {}}}, 600);
  ASSERT_EQ(single.samples.size(), twice.samples.size());
  for (size_t i = 0; i < single.samples.size(); ++i)
    ASSERT_NEAR(twice.samples[i], 2 * single.samples[i], 2) << "at sample " << i;
}

TEST_F(Mixer, SoundsAtDifferentTimesEachKeepTheirPlace) {
  Wav wav = render({{tone(), 0, 0, {}}, {mp3(), 0, 1000, {}}}, 1500);
  EXPECT_GT(wav.rms(50, 250), kHeard);
  EXPECT_EQ(wav.rms(450, 995), 0.0);
  EXPECT_GT(wav.rms(1050, 1250), kHeard);
}

TEST_F(Mixer, LoudOverlapsAreLimitedNotClipped) {
  std::vector<Placement> many(12, Placement{tone(), 0, 0, {}});  // 12 x 1/8 = 1.5 times full scale
  Wav wav = render(many, 400);
  EXPECT_LE(wav.peak(), 32113);  // the 0.98 ceiling
  EXPECT_GT(wav.peak(), 30000);
  // No run of identical samples at the top, as a clipped waveform would have.
  int run = 0, longest = 0;
  for (size_t f = 1; f < wav.frames(); ++f) {
    run = (wav.samples[f * 2] == wav.samples[(f - 1) * 2] && std::abs(wav.samples[f * 2]) > 30000) ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  EXPECT_LT(longest, 3);
}

TEST_F(Mixer, ANegativeDurationRendersUntilTheLastSoundEnds) {
  Wav wav = render({{tone(), 0, 1000, {}}}, -1);
  EXPECT_GE(wav.frames(), 44100u * 1250 / 1000);
  EXPECT_LE(wav.frames(), 44100u * 1400 / 1000);
  EXPECT_GT(wav.rms(1050, 1250), kHeard);
}

TEST_F(Mixer, PredefinedSystemSoundsAreAudible) {
  for (std::uint32_t id : {1100u, 1104u, 1106u, 1108u}) {
    Wav wav = render({{"", id, 100, {}}}, 500);
    EXPECT_EQ(wav.rms(0, 95), 0.0) << id;
    EXPECT_GT(wav.peak(), 3000) << id;
  }
}

TEST_F(Mixer, AnUnloadableSoundIsReportedAndTheRestStillRendered) {
  std::string wavPath = (dir_ / "out.wav").string();
  std::string missing = (dir_ / "missing.m4a").string();
  std::string error;
  EXPECT_FALSE(host::mixer::renderWav({{missing, 0, 0, {}}, {tone(), 0, 0, {}}}, 500, wavPath, &error));
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  EXPECT_GT(readWav(wavPath).rms(50, 250), kHeard);
}

TEST_F(Mixer, AnUnwritableDestinationIsAnError) {
  std::string error;
  EXPECT_FALSE(host::mixer::renderWav({}, 100, (dir_ / "no/such/folder/out.wav").string(), &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

// ---- rendering as a run goes ----

// Loud overlaps (the limiter at work), a cut, and silence longer than the pieces written at a time.
std::vector<Placement> busyRun(const std::string& tone) {
  std::vector<Placement> run;
  for (int i = 0; i < 12; ++i) run.push_back({tone, 0, 100 + 10 * i, {}});
  run.push_back({tone, 0, 2900, 3000});
  run.push_back({"", 1104, 3100, {}});
  run.push_back({tone, 0, 6000, {}});
  return run;
}

TEST_F(Mixer, ARunRenderedAsItGoesGivesTheSameFileAsOneRenderedAtTheEnd) {
  render(busyRun(tone()), -1);
  std::string atOnce = testing_support::readFile(dir_ / "out.wav");

  host::mixer::Renderer renderer;
  std::string error;
  ASSERT_TRUE(renderer.open((dir_ / "streamed.wav").string(), &error)) << error;
  std::uint64_t key = 0;
  for (Placement p : busyRun(tone())) {
    renderer.advanceTo(p.startMs);
    auto cut = p.cutAtMs;
    p.cutAtMs.reset();
    renderer.place(p, ++key);
    if (cut) {
      renderer.advanceTo(*cut);
      renderer.cut(key, *cut);
    }
  }
  renderer.advanceTo(9000);
  ASSERT_TRUE(renderer.finish(-1, &error)) << error;
  EXPECT_FALSE(renderer.truncated());
  EXPECT_EQ(renderer.placed(), busyRun(tone()).size());
  EXPECT_TRUE(testing_support::readFile(dir_ / "streamed.wav") == atOnce);
}

TEST_F(Mixer, ARunLongerThanTheFileHoldsEndsItThereAndTheFileStaysValid) {
  host::mixer::Renderer renderer(2, 1000);  // a file that holds one second
  std::string error;
  ASSERT_TRUE(renderer.open((dir_ / "out.wav").string(), &error)) << error;
  renderer.place({tone(), 0, 900, {}});
  renderer.advanceTo(5000);
  renderer.place({tone(), 0, 5000, {}});
  EXPECT_TRUE(renderer.finish(-1, &error)) << error;
  EXPECT_TRUE(renderer.truncated());
  Wav wav = readWav(dir_ / "out.wav");
  EXPECT_EQ(wav.frames(), 44100u);
  EXPECT_EQ(wav.riffSize, 36 + wav.dataSize);
  EXPECT_EQ(wav.fileSize, 44 + wav.dataSize);
  EXPECT_GT(wav.rms(920, 1000), kHeard);
  EXPECT_GT(host::mixer::maxWavDurationMs(), 6L * 3600 * 1000);  // a real WAV holds over six hours
}

}  // namespace

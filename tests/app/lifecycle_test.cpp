// The start sequence on the first show, the flow of rendered halves into the stream buffer, and
// the stop sequence on close; on the virtual device (stepped by hand), on SDL's dummy driver and
// without any output device.
#include <gtest/gtest.h>

#include <algorithm>

#include "app_test_support.h"
#include "audio/ddsd_channel.h"
#include "audio/ddsd_notify_thread.h"

namespace velmo::test {
namespace {

bool AllZero(const TDDSDWaveData& wave) {
  const SampleMemory& memory = *wave.SoundBuffer()->Memory();
  return std::all_of(memory.bytes.get(), memory.bytes.get() + memory.size,
                     [](uint8_t byte) { return byte == 0; });
}

size_t LoadedWaves(const Engine& engine) {
  return static_cast<size_t>(
      std::count_if(engine.bank.WaveSlots.begin(), engine.bank.WaveSlots.end(),
                    [](const WaveBlock& block) { return block != nullptr; }));
}

// Plays the virtual device on and polls the stream until `done` holds (or a bound is reached).
bool StepUntil(TForm1& form, const std::function<bool()>& done) {
  return WaitUntil([&] {
    VirtualOf(form).Advance(221);
    VirtualOf(form).ClearOutput();
    form.StreamWave()->NotifyThread()->Poll();
    return done();
  });
}

TEST(MainWindowLifecycle, FirstShowStartsOnceAndTheFirstCopiedHalfIsSilence) {
  TFormUnderTest window(/*recordMidi=*/false);
  TForm1& form = *window.form;
  Engine& engine = *window.engine;
  ASSERT_TRUE(form.DDSD1.Initialized());
  TDDSDChannel& output = *form.DDSD1.GetChannels(0);
  ASSERT_EQ(output.getWaveData(), form.StreamWave());
  EXPECT_EQ(output.getStatus(), 0u);  // created, nothing plays
  EXPECT_EQ(form.StreamWave()->BufferBytes(), 8840u);
  EXPECT_EQ(form.StreamWave()->HalfSize(), 4420u);
  EXPECT_EQ(form.StreamWave()->WaveFormat().nSamplesPerSec, 22050u);
  EXPECT_EQ(window.bankOpens, 0);

  window.Show();
  EXPECT_TRUE(form.EngineStarted());
  EXPECT_EQ(window.bankOpens, 1);
  EXPECT_GT(LoadedWaves(engine), 100u);
  EXPECT_NE(engine.timerId, 0u);
  EXPECT_EQ(output.getStatus(), kStatusPlaying | kStatusLooping);
  EXPECT_TRUE(AllZero(*form.StreamWave()));

  // Hidden and shown again: no second load.
  form.hide();
  window.Show();
  EXPECT_EQ(window.bankOpens, 1);

  // A held key; once the engine has rendered up to the half waiting to be taken, the first half
  // taken is still the silence of the reset.
  QTest::mousePress(form.MIDIKeyb1, Qt::LeftButton, Qt::NoModifier, KeyCentre(*form.MIDIKeyb1, 60));
  ASSERT_TRUE(WaitUntil([&] { return WriteBlock(engine) == 0; }));
  ASSERT_EQ(engine.nextTakeBlock.load(), 0);
  ASSERT_TRUE(StepUntil(form, [&] { return engine.nextTakeBlock.load() == 5; }));
  EXPECT_TRUE(AllZero(*form.StreamWave()));
  // The note reaches the buffer with a later half.
  EXPECT_TRUE(StepUntil(form, [&] { return !AllZero(*form.StreamWave()); }));
  QTest::mouseRelease(form.MIDIKeyb1, Qt::LeftButton, Qt::NoModifier,
                      KeyCentre(*form.MIDIKeyb1, 60));
  EXPECT_TRUE(TakeShownMessages().empty());
}

TEST(MainWindowLifecycle, CloseStopsOutputAndEngineAndFreesTheBank) {
  TFormUnderTest window;
  TForm1& form = *window.form;
  Engine& engine = *window.engine;
  TDDSDChannel& output = *form.DDSD1.GetChannels(0);
  window.Show();
  ASSERT_NE(engine.timerId, 0u);
  // The keyboard fills what the panel leaves of a resized window.
  const int top = form.MenuBar->height();
  form.resize(900, top + 150);
  EXPECT_TRUE(
      WaitUntil([&] { return form.MIDIKeyb1->geometry() == QRect(0, top + 41, 900, 109); }));
  EXPECT_EQ(form.Panel2->geometry(), QRect(0, top, 900, 41));

  EXPECT_TRUE(form.close());
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.EngineStarted());
  EXPECT_EQ(engine.timerId, 0u);
  EXPECT_EQ(LoadedWaves(engine), 0u);
  EXPECT_EQ(form.StreamWave(), nullptr);
  EXPECT_EQ(output.getWaveData(), nullptr);
  EXPECT_EQ(output.getStatus() & kStatusPlaying, 0u);

  // Closing again and showing after the close change nothing.
  EXPECT_TRUE(form.close());
  window.Show();
  EXPECT_FALSE(form.EngineStarted());
  EXPECT_EQ(window.bankOpens, 1);
  EXPECT_EQ(engine.timerId, 0u);
  EXPECT_TRUE(form.close());
  EXPECT_TRUE(TakeShownMessages().empty());
}

TEST(MainWindowLifecycle, SdlDummyDriverCarriesHalvesWhileTheWindowIsOpen) {
  TFormUnderTest window(/*recordMidi=*/false, [](TDDSD&) {});
  TForm1& form = *window.form;
  ASSERT_TRUE(form.DDSD1.Initialized());
  window.Show();
  // The stream's own notify thread takes a half every 50 ms of played sound.
  int32_t takes = 0;
  int32_t last = window.engine->nextTakeBlock.load();
  EXPECT_TRUE(WaitUntil([&] {
    const int32_t now = window.engine->nextTakeBlock.load();
    if (now != last) ++takes;
    last = now;
    return takes >= 4;
  }));
  form.close();
  EXPECT_EQ(window.engine->timerId, 0u);
  EXPECT_TRUE(TakeShownMessages().empty());
}

TEST(MainWindowLifecycle, WithoutAnOutputDeviceTheWindowWorksSilently) {
  TFormUnderTest window(/*recordMidi=*/true,
                        [](TDDSD& device) { device.setDeviceName("no such output"); });
  TForm1& form = *window.form;
  EXPECT_FALSE(form.DDSD1.Initialized());
  ASSERT_NE(form.StreamWave(), nullptr);
  EXPECT_EQ(form.StreamWave()->SoundBuffer(), nullptr);
  window.Show();
  EXPECT_TRUE(form.EngineStarted());
  EXPECT_NE(window.engine->timerId, 0u);
  QTest::mouseClick(form.MIDIKeyb1, Qt::LeftButton, Qt::NoModifier, KeyCentre(*form.MIDIKeyb1, 62));
  EXPECT_EQ(window.TakeMidi(), (std::vector<uint8_t>{0x90, 62, 100, 0x90, 62, 0}));
  form.close();
  EXPECT_FALSE(form.EngineStarted());
  EXPECT_EQ(window.engine->timerId, 0u);
  EXPECT_TRUE(TakeShownMessages().empty());
}

}  // namespace
}  // namespace velmo::test

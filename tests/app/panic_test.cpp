// Panic: Escape and the MIDI menu's entry end every sound on all sixteen channels.
#include <gtest/gtest.h>

#include <algorithm>

#include "app_test_support.h"
#include "assets/builtin_bank.h"

namespace velmo::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes PanicBytes() {
  Bytes bytes;
  for (uint8_t channel = 0; channel < 16; ++channel) {
    for (const uint8_t controller : {uint8_t{120}, uint8_t{121}}) {
      bytes.insert(bytes.end(), {static_cast<uint8_t>(0xB0 + channel), controller, 0});
    }
  }
  return bytes;
}

// Escape works wherever the focus is in the window, a list included; the menu entry is the same.
TEST(MainWindowPanic, EscapeAndTheMenuEntrySendSoundOffAndResetOnEveryChannel) {
  TFormUnderTest window;
  window.Show();
  TForm1& form = *window.form;
  window.TakeMidi();
  for (QWidget* focus :
       {static_cast<QWidget*>(form.ComboBox1), static_cast<QWidget*>(form.ComboBox2),
        static_cast<QWidget*>(form.MIDIKeyb1)}) {
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_EQ(window.TakeMidi(), PanicBytes()) << focus->objectName().toStdString();
  }
  ASSERT_TRUE(form.MidiMenu->actions().contains(form.PanicAction));
  form.PanicAction->trigger();
  EXPECT_EQ(window.TakeMidi(), PanicBytes());
  EXPECT_TRUE(TakeShownMessages().empty());
}

// Held notes on several channels, drums and a held sustain pedal among them: the block rendered
// right after the panic is digital silence and no voice is left.
TEST(MainWindowPanic, SilencesEverythingWithinOneBlock) {
  TFormUnderTest window(/*recordMidi=*/false);
  Engine& engine = *window.engine;
  EngineLoadAndReset(engine, *OpenBuiltinBank());
  const Bytes notes{0xB0, 64,   127, 0x90, 60,   127, 0x90, 64,   127, 0xC3, 48,   0x93, 55,
                    100,  0x99, 36,  127,  0x99, 42,  127,  0xEF, 0,   127,  0x9F, 84,   90};
  window.form->SendMidi(notes);
  for (int block = 0; block < 3; ++block) {
    window.form->HandOff().BeforeBlock(engine);
    DrainMidiQueue(engine);
    RenderBlock(engine);
  }
  const auto silent = [&] {
    const int16_t* samples = RingBlock(engine, (WriteBlock(engine) + 9) % 10);
    return std::all_of(samples, samples + 442, [](int16_t sample) { return sample == 0; });
  };
  ASSERT_TRUE(AnyVoiceActive(engine));
  ASSERT_FALSE(silent());

  window.form->PanicAction->trigger();
  window.form->HandOff().BeforeBlock(engine);
  DrainMidiQueue(engine);
  RenderBlock(engine);
  EXPECT_TRUE(silent());
  EXPECT_FALSE(AnyVoiceActive(engine));
  // The pedal was reset with the controllers: the pedal is up again.
  EXPECT_EQ(engine.channels[0].hold, 0);
}

}  // namespace
}  // namespace velmo::test

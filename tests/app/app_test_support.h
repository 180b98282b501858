// Shared pieces of the main window tests: the application object (made before the first test and
// destroyed after the last, recording messages instead of opening boxes), forms on a fresh
// engine, and helpers that play keys and step the virtual sound device.
#pragma once

#include <QApplication>
#include <QPoint>
#include <QString>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/main_form.h"
#include "audio/backend_virtual.h"

namespace velmo::test {

struct TShownMessage {
  TMessageKind kind;
  QString text;
};

// Messages shown since the last call.
std::vector<TShownMessage> TakeShownMessages();

// A window on its own engine; the MIDI bytes it sends are recorded unless `recordMidi` is false
// (then they go to the engine's queue). The device is the virtual one with manual polling unless
// `configureDevice` says otherwise; the bank is the built-in one unless `openBank` says otherwise;
// there is no MIDI input unless `openMidiInput` makes one.
struct TFormUnderTest {
  explicit TFormUnderTest(bool recordMidi = true,
                          std::function<void(TDDSD&)> configureDevice = nullptr,
                          std::function<std::unique_ptr<std::istream>()> openBank = nullptr,
                          std::function<std::unique_ptr<TMidiInput>()> openMidiInput = nullptr);
  ~TFormUnderTest();

  // Recorded bytes since the last call.
  std::vector<uint8_t> TakeMidi();
  // Shows the window and waits until it is exposed.
  void Show();

  std::unique_ptr<Engine> engine;
  std::vector<uint8_t> midi;
  int32_t bankOpens = 0;
  std::vector<QUrl> openedUrls;
  std::unique_ptr<TForm1> form;
};

// The virtual device with manual notify polling.
void UseVirtualDevice(TDDSD& device);
VirtualBackend& VirtualOf(TForm1& form);

// The centre of `note`'s lower (white-key-wide) part, in keyboard coordinates.
QPoint KeyCentre(TMIDIKeyb& keyb, int32_t note);

// Waits (processing events) until `done` holds or `timeout` passes; returns done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace velmo::test

// velmo-keyboard-demo: shows the on-screen keyboard alone and prints its
// events, or renders its image to a PNG file without showing a window.
#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QTextStream>
#include <cstdio>

#include "controls/midi_keyb.h"

namespace {

struct TDemoOptions {
  int Width = 761;
  int Height = 51;
  int Position = 14;
  bool Octave = false;
  int Poly = 0;
  int Ratio = 1;
  bool Gliss = false;
  bool RightClick = false;
  bool ViewOnly = false;
  QList<int> Down;
  QString GrabPath;
};

bool ParseInt(const QString& text, int& value) {
  bool ok = false;
  value = text.toInt(&ok);
  return ok;
}

// Returns false (after printing why) when an option value is not a number.
bool ReadOptions(const QCommandLineParser& parser, TDemoOptions& options) {
  const struct {
    const char* Name;
    int* Target;
  } numbers[] = {{"width", &options.Width},
                 {"height", &options.Height},
                 {"position", &options.Position},
                 {"poly", &options.Poly},
                 {"ratio", &options.Ratio}};
  for (const auto& number : numbers) {
    if (parser.isSet(number.Name) && !ParseInt(parser.value(number.Name), *number.Target)) {
      std::fprintf(stderr, "velmo-keyboard-demo: --%s needs a whole number\n", number.Name);
      return false;
    }
  }
  for (const QString& text : parser.values("down")) {
    int note = 0;
    if (!ParseInt(text, note)) {
      std::fprintf(stderr, "velmo-keyboard-demo: --down needs a note number\n");
      return false;
    }
    options.Down.append(note);
  }
  if (options.Width < 1 || options.Height < 1 || options.Width > 16384 || options.Height > 16384) {
    std::fprintf(stderr, "velmo-keyboard-demo: the size must be 1..16384 pixels\n");
    return false;
  }
  if (options.Ratio < 1 || options.Ratio > 4) {
    std::fprintf(stderr, "velmo-keyboard-demo: the pixel ratio must be 1..4\n");
    return false;
  }
  options.Octave = parser.isSet("octave");
  options.Gliss = parser.isSet("gliss");
  options.RightClick = parser.isSet("right-click");
  options.ViewOnly = parser.isSet("view-only");
  options.GrabPath = parser.value("grab");
  return true;
}

void Configure(velmo::TMIDIKeyb& keyb, const TDemoOptions& options) {
  keyb.resize(options.Width, options.Height);
  keyb.SetPos(options.Position);
  keyb.SetOct(options.Octave);
  keyb.SetPoly(options.Poly);
  keyb.SetGliss(options.Gliss);
  keyb.SetRightClickEnable(options.RightClick);
  keyb.SetViewOnly(options.ViewOnly);
  for (const int note : options.Down)
    keyb.SetDown(note, keyb.Color());
}

void PrintEvents(velmo::TMIDIKeyb& keyb) {
  const auto print = [](const char* name, int note) {
    std::printf("%s %d\n", name, note);
    std::fflush(stdout);
  };
  QObject::connect(&keyb, &velmo::TMIDIKeyb::OnNoteOn,
                   [print](velmo::TMIDIKeyb*, int note) { print("OnNoteOn", note); });
  QObject::connect(&keyb, &velmo::TMIDIKeyb::OnNoteOff,
                   [print](velmo::TMIDIKeyb*, int note) { print("OnNoteOff", note); });
  QObject::connect(&keyb, &velmo::TMIDIKeyb::OnRightClickNoteOn,
                   [print](velmo::TMIDIKeyb*, int note) { print("OnRightClickNoteOn", note); });
  QObject::connect(&keyb, &velmo::TMIDIKeyb::OnRightClickNoteOff,
                   [print](velmo::TMIDIKeyb*, int note) { print("OnRightClickNoteOff", note); });
  QObject::connect(&keyb, &velmo::TMIDIKeyb::OnResize, [](velmo::TMIDIKeyb*, int pos, int size) {
    std::printf("OnResize Pos=%d Size=%d\n", pos, size);
    std::fflush(stdout);
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Shows the on-screen MIDI keyboard and prints its events, or renders it to a PNG.");
  parser.addHelpOption();
  parser.addOptions({
      {"grab", "Render the keyboard to <file> (PNG) and exit.", "file"},
      {"ratio", "Device pixels per logical pixel for --grab (default 1).", "n"},
      {"width", "Width in pixels (default 761).", "pixels"},
      {"height", "Height in pixels (default 51).", "pixels"},
      {"position", "White key at the left edge, 0..74 (default 14).", "key"},
      {"octave", "Write octave numbers on the C keys."},
      {"down", "Show <note> pressed (repeatable).", "note"},
      {"poly", "Latch up to <count> keys (0: keys sound while held).", "count"},
      {"gliss", "Dragging moves the held note from key to key."},
      {"right-click", "The right button plays notes too."},
      {"view-only", "Ignore the mouse."},
  });
  parser.process(app);
  TDemoOptions options;
  if (!ReadOptions(parser, options)) return 2;

  velmo::TMIDIKeyb keyb;
  Configure(keyb, options);
  if (!options.GrabPath.isEmpty()) {
    QImage image(options.Width * options.Ratio, options.Height * options.Ratio,
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(options.Ratio);
    keyb.render(&image);
    if (!image.save(options.GrabPath, "PNG")) {
      std::fprintf(stderr, "velmo-keyboard-demo: cannot write %s\n", qPrintable(options.GrabPath));
      return 1;
    }
    return 0;
  }
  PrintEvents(keyb);
  keyb.setWindowTitle("velmo-keyboard-demo");
  keyb.show();
  return QApplication::exec();
}

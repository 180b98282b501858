// An independent description of the keyboard's geometry, written from the
// key layout rules (white width Round(H*0.4), black height Round(H*0.5),
// half black width Round(w*0.66) div 2) without the control's layout code,
// to check hit tests and painted pixels against.
#pragma once

#include <cmath>
#include <cstdint>

namespace velmo::test {

struct TReferenceKeyb {
  int Width;
  int Height;
  int Position;
  int W;   // white key width
  int Hb;  // black key height
  int K;   // half black key width

  TReferenceKeyb(int width, int height, int position)
      : Width(width), Height(height), Position(position) {
    // Floating-point rounding in the default mode rounds ties to even.
    W = static_cast<int>(std::nearbyint(height * 0.4));
    Hb = static_cast<int>(std::nearbyint(height * 0.5));
    K = static_cast<int>(std::nearbyint(W * 0.66)) / 2;
  }

  // Note of white key number j (0..74).
  static int WhiteNote(int j) {
    static constexpr int kSteps[7] = {0, 2, 4, 5, 7, 9, 11};
    return (j / 7) * 12 + kSteps[j % 7];
  }
  // Whether a black key sits between white keys j and j + 1.
  static bool BlackAfter(int j) {
    const int inOctave = j % 7;
    return j < 74 && inOctave != 2 && inOctave != 6;  // none after E and B
  }

  // Unscrolled x of the point.
  int Ux(int x) const { return x + Position * W; }

  // The note a click at (x, y) must hit, or -1.
  int NoteAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width || y >= Height) return -1;
    const int ux = Ux(x);
    const int j = ux / W;
    const int dx = ux % W;
    if (j > 74) return -1;
    if (y < Hb) {
      if (dx < K && j > 0 && BlackAfter(j - 1)) return WhiteNote(j) - 1;
      if (dx >= W - K && BlackAfter(j)) return WhiteNote(j) + 1;
    }
    return WhiteNote(j);
  }
};

}  // namespace velmo::test

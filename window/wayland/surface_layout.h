#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/screen_size.h"

namespace slash {

// An output as the compositor describes it: its current mode in its own
// pixels, its integer scale and its transform (wl_output's numbering:
// 1, 3, 5 and 7 turn it a quarter, so the mode's sides swap on screen).
struct OutputFacts {
  ScreenSize mode;
  std::int32_t scale = 1;
  std::int32_t transform = 0;
};

// What the compositor has said that decides the window's pictures.
struct SizeFacts {
  ScreenSize configured;               // the toplevel's size in surface units; 0x0: ours to choose
  std::optional<OutputFacts> output;   // the output the surface is on, or one standing in for it
  std::uint32_t fractional_scale = 0;  // the preferred scale in 120ths, 0 until one is sent
  bool viewporter = true;              // whether a picture's size can differ from the surface's
  std::optional<ScreenSize> screen;    // the most pixels a picture may have (see ScreenLimit)
};

// How the window is put on screen: its size in surface units (the
// viewport's destination), the size of a full picture in screen pixels,
// and the buffer scale to declare (1 whenever the viewporter sizes it).
// Sizes are 64-bit here: a compositor may announce anything, and nothing
// is made before PictureRefusal has passed them.
struct SurfaceLayout {
  std::int64_t logical_width = 0;
  std::int64_t logical_height = 0;
  std::int64_t picture_width = 0;
  std::int64_t picture_height = 0;
  std::int32_t buffer_scale = 1;
  // One colour may be a tiny buffer the viewport stretches over the window;
  // not on a transformed output, where a compositor's stretch has left an
  // edge uncovered: there it is a picture of the window's size.
  bool stretch_solid = true;
  bool operator==(const SurfaceLayout&) const = default;
};

// The layout that makes one picture pixel one screen pixel: at the
// preferred fractional scale when there is one, else at the output's own
// mode when the surface fills it at a scale the integer one only rounds
// (an output at 1.5 announced as 2), else at the integer scale. A picture
// is never larger than the screen (a configure larger than the output is
// not followed past it) and never smaller than one pixel. Nothing when
// the compositor has given neither a size nor an output with a mode.
std::optional<SurfaceLayout> LayoutFor(const SizeFacts& facts);

// Why a picture of this many pixels cannot be made, in words that name the
// size; nothing when it can. The rule is wl_shm's own: sizes and strides
// are 32-bit, and a buffer whose height reaches INT32_MAX / stride is
// refused, so such a size is ours to refuse before the compositor does.
std::optional<std::string> PictureRefusal(std::int64_t width, std::int64_t height,
                                          int bytes_per_pixel);

// An output the compositor announced, and whether the surface is on it.
struct OutputState {
  OutputFacts facts;
  bool entered = false;
};

// The output whose facts decide the pictures: of those the surface is on,
// the one of the largest scale; before the surface is on any, the one the
// configured size fits, else the first with a mode, else the first.
// Nothing when no output is known.
const OutputFacts* SurfaceOutput(const std::vector<OutputState>& outputs, ScreenSize configured);

// The most pixels a picture may have: the largest of the outputs the
// surface is on, or before it is on any, of every output announced, each
// as it lies on screen. Nothing when no output has a mode.
std::optional<ScreenSize> ScreenLimit(const std::vector<OutputState>& outputs);

}  // namespace slash

#include "window/backend_choice.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "runtime/runtime_error.h"

namespace slash {
namespace {

using Variables = std::map<std::string, std::string>;

BackendKind Choose(const Variables& variables) {
  return ChooseBackend([&](const char* name) {
    const auto found = variables.find(name);
    return found == variables.end() ? std::string() : found->second;
  });
}

TEST(ChooseBackend, TheXServerWheneverThereIsOneUnlessAskedOtherwise) {
  const struct {
    Variables variables;
    BackendKind expected;
  } cases[] = {
      {{{"DISPLAY", ":0"}}, BackendKind::kX11},
      {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, BackendKind::kX11},  // XWayland
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, BackendKind::kSdl},
      {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "wayland-0"}}, BackendKind::kSdl},
      {{{"SDL_VIDEODRIVER", "kmsdrm"}}, BackendKind::kSdl},
      {{{"DISPLAY", ":0"}, {"SLASH_BACKEND", "sdl"}}, BackendKind::kSdl},
      {{{"WAYLAND_DISPLAY", "wayland-0"}, {"SLASH_BACKEND", "x11"}}, BackendKind::kX11},
      {{{"DISPLAY", ":0"}, {"SLASH_BACKEND", ""}}, BackendKind::kX11},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Choose(c.variables), c.expected) << c.variables.size() << " variables";
  }
}

TEST(ChooseBackend, NoDisplayOrAnUnknownNameIsTheNoDisplayFailure) {
  for (const Variables& variables :
       {Variables{}, Variables{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}},
        Variables{{"DISPLAY", ":0"}, {"SLASH_BACKEND", "gl"}}}) {
    try {
      Choose(variables);
      ADD_FAILURE() << "a back end was chosen";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.exit_status(), kNoDisplayStatus);
    }
  }
}

}  // namespace
}  // namespace slash

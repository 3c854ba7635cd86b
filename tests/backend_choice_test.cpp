#include <gtest/gtest.h>

#include <map>
#include <string>

#include "runtime/runtime_error.h"
#include "window/hosts/linux/session_choice.h"

namespace slash {
namespace {

using Variables = std::map<std::string, std::string>;

// `reachable`: whether the Wayland socket accepts a connection; `terminal`:
// whether the process has a controlling terminal.
BackendKind Choose(const Variables& variables, bool reachable = true, bool terminal = false) {
  return ChooseBackend(
      [&](const char* name) {
        const auto found = variables.find(name);
        return found == variables.end() ? std::string() : found->second;
      },
      [reachable] { return reachable; }, [terminal] { return terminal; });
}

TEST(ChooseBackend, WaylandWhenItAnswersElseTheXServerUnlessAskedOtherwise) {
  const Variables both{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}};
  const struct {
    Variables variables;
    bool reachable;
    BackendKind expected;
    bool terminal = false;
  } cases[] = {
      {{{"DISPLAY", ":0"}}, true, BackendKind::kX11},
      {both, true, BackendKind::kWayland},
      {both, false, BackendKind::kX11},  // a socket left by a compositor that has gone
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, false, BackendKind::kWayland},  // it names the failure
      {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "wayland-0"}}, true, BackendKind::kWayland},
      {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", ""}}, true, BackendKind::kX11},
      {{{"DISPLAY", ":0"}, {"SLASH_BACKEND", "wayland"}}, false, BackendKind::kWayland},
      {{{"WAYLAND_DISPLAY", "wayland-0"}, {"SLASH_BACKEND", "x11"}}, true, BackendKind::kX11},
      {{{"DISPLAY", ":0"}, {"SLASH_BACKEND", ""}}, true, BackendKind::kX11},
      {{}, true, BackendKind::kTerminal, true},
      {{{"DISPLAY", ":0"}}, true, BackendKind::kX11, true},
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, false, BackendKind::kWayland, true},
      {{{"DISPLAY", ":0"}, {"SLASH_BACKEND", "terminal"}}, true, BackendKind::kTerminal},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Choose(c.variables, c.reachable, c.terminal), c.expected)
        << c.variables.size() << " variables, reachable " << c.reachable << ", terminal "
        << c.terminal;
  }
}

TEST(ChooseBackend, NoDisplayOrAnUnknownNameIsTheNoDisplayFailure) {
  for (const Variables& variables :
       {Variables{}, Variables{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
        Variables{{"DISPLAY", ":0"}, {"SLASH_BACKEND", "sdl"}}}) {
    try {
      Choose(variables);
      ADD_FAILURE() << "a back end was chosen";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.exit_status(), kStatusNoDisplay);
    }
  }
}

}  // namespace
}  // namespace slash

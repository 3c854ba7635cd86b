#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace slash::testing {

struct Size {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const Size&) const = default;
};

// What the compositor announces and does, as a hostile or merely unusual
// compositor might. Times count from the first commit with a buffer.
struct CompositorScript {
  Size mode{640, 480};  // the one output's current mode (0x0: no mode at all)
  std::int32_t scale = 1;
  Size configure{};  // the toplevel's size in every configure (0x0: the client's choice)
  bool viewporter = true;
  std::uint32_t fractional_scale = 0;   // offered and sent, in 120ths, when not 0
  bool rgb565 = true;                   // offered beside the two formats every compositor has
  bool pointer = false;                 // a seat whose pointer enters the window when it shows
  int burst = 0;                        // configures sent at once when the window shows ...
  int stall_ms = 0;                     // ... and then nothing read for this long
  Size resize_to{};                     // a configure of this size 2 s in (0x0: none)
  int error_at_commit = 0;              // posts a protocol error on the surface at this commit
  bool ping = false;                    // pings every 200 ms
  bool close_before_configure = false;  // closes the toplevel instead of configuring it
  int malformed_at_commit = 0;          // sends an event of no known opcode at this commit
  std::vector<std::uint32_t> only_formats{};  // wl_shm offers just these (no pools), when given
};

// What the client did, as the compositor saw it.
struct CompositorRecord {
  std::vector<Size> buffers;           // the size of each buffer committed, in order
  std::vector<std::uint32_t> formats;  // their wl_shm formats
  Size destination;                    // the viewport's destination at the last commit
  std::int32_t buffer_scale = 1;       // at the last commit
  int pings = 0;
  int pongs = 0;
  double slowest_pong_ms = 0;
  bool cursor_hidden = false;  // set_cursor with no surface after the pointer entered
  int attaches = 0;            // buffers attached, committed or not
};

// A small compositor on libwayland-server, run on a thread of its own and
// listening on `runtime_dir()/display()`: one output, xdg-shell, wl_shm
// and, as the script says, the viewporter, fractional scaling and a seat.
class TestCompositor {
 public:
  explicit TestCompositor(const CompositorScript& script);
  ~TestCompositor();
  TestCompositor(const TestCompositor&) = delete;
  TestCompositor& operator=(const TestCompositor&) = delete;

  bool ok() const { return ok_; }
  const std::string& runtime_dir() const { return dir_; }
  static constexpr const char* display() { return "wayland-test"; }
  // Stops the compositor and returns what it saw.
  CompositorRecord Stop();

  struct State;

 private:
  std::unique_ptr<State> state_;
  std::string dir_;
  bool ok_ = false;
  std::thread thread_;
};

}  // namespace slash::testing

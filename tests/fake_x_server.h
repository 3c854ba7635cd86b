#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace slash::testing {

// A listener on a display of its own (an abstract socket, which xcb tries
// first) that behaves as a real server would not. One client at a time.
class FakeXServer {
 public:
  enum class Behaviour {
    kSilent,   // accepts the connection and never answers
    kGarbage,  // answers the connection with bytes that are no X reply
    kRefuse,   // refuses the connection with `reason`, as for a bad cookie
    kProxy,    // passes everything to and from the real display `upstream`
  };

  FakeXServer(Behaviour behaviour, const std::string& reason_or_upstream = "");
  ~FakeXServer();
  FakeXServer(const FakeXServer&) = delete;
  FakeXServer& operator=(const FakeXServer&) = delete;

  bool ok() const { return listener_ >= 0; }
  const std::string& name() const { return name_; }  // ":N"
  // The server stops reading: the client's next write finds the
  // connection broken, as when a server shuts down its reading side.
  void StopReading() { stop_reading_ = true; }

 private:
  void Serve();
  void Answer(int client);
  void Pass(int client);

  Behaviour behaviour_;
  std::string argument_;
  std::string name_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_reading_{false};
  std::thread thread_;
};

}  // namespace slash::testing

#include "trace/trace_lines.h"

#include <charconv>
#include <cstdio>
#include <set>

namespace slash {
namespace {

using Operation = WindowRecord::Operation;

// The shortest text that reads back as the same float.
std::string NumberText(float value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string MillisecondsText(double ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", ms);
  return buffer;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The last record of one operation, or null when there is none.
const WindowRecord* LastOf(const std::vector<WindowRecord>& records, Operation operation) {
  const WindowRecord* last = nullptr;
  for (const WindowRecord& record : records) {
    if (record.operation == operation) last = &record;
  }
  return last;
}

// The last value the records set for a window property, or the scene's.
std::int64_t LastGeometry(const std::vector<WindowRecord>& records, Operation operation,
                          std::int32_t scene_value) {
  const WindowRecord* last = LastOf(records, operation);
  return last ? static_cast<std::int64_t>(last->value) : scene_value;
}

std::string Field(const char* name, const std::string& value) {
  return std::string(",\"") + name + "\":" + value;
}

std::string Field(const char* name, std::int64_t value) {
  return Field(name, std::to_string(value));
}

struct TickActions {
  explicit TickActions(const std::vector<WindowRecord>& records)
      : x1(LastOf(records, Operation::kSetLineX1)),
        y1(LastOf(records, Operation::kSetLineY1)),
        x2(LastOf(records, Operation::kSetLineX2)),
        y2(LastOf(records, Operation::kSetLineY2)),
        background(LastOf(records, Operation::kSetBackground)) {}

  bool placed() const { return x1 || y1 || x2 || y2; }

  const WindowRecord* x1;
  const WindowRecord* y1;
  const WindowRecord* x2;
  const WindowRecord* y2;
  const WindowRecord* background;
};

std::string PlaceFields(const TickActions& actions) {
  const WindowRecord* any = actions.x1   ? actions.x1
                            : actions.x2 ? actions.x2
                            : actions.y1 ? actions.y1
                                         : actions.y2;
  const auto end = [](const char* name, const WindowRecord* record) {
    return record ? Field(name, NumberText(static_cast<float>(record->value))) : std::string();
  };
  return Field("line", any->line) + end("x1", actions.x1) + end("y1", actions.y1) +
         end("x2", actions.x2) + end("y2", actions.y2);
}

}  // namespace

std::string ColorText(EffectColor color) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%06X", static_cast<unsigned>(color));
  return buffer;
}

std::string LoadTraceLine(const std::vector<WindowRecord>& records, const EffectScene& scene,
                          const EffectState& state) {
  std::set<std::int16_t> colored;
  for (const WindowRecord& record : records) {
    if (record.operation == Operation::kSetLineColor && record.color == state.ZanColor) {
      colored.insert(record.line);
    }
  }
  return "{\"tick\":0,\"phase\":\"load\"" +
         Field("left", LastGeometry(records, Operation::kSetLeft, scene.left)) +
         Field("top", LastGeometry(records, Operation::kSetTop, scene.top)) +
         Field("width", LastGeometry(records, Operation::kSetWidth, scene.width)) +
         Field("height", LastGeometry(records, Operation::kSetHeight, scene.height)) +
         Field("wait", state.ZanWait) + Field("count", state.ZanCount) +
         Field("color", JsonString(ColorText(state.ZanColor))) +
         Field("colored", static_cast<std::int64_t>(colored.size())) + "}";
}

std::string TickTraceLine(const EffectStep& step, const std::vector<WindowRecord>& records,
                          std::optional<double> ms) {
  const TickActions actions(records);
  const EffectState& after = step.after;

  std::string phase = "hold";
  std::string extra;
  if (step.ended) {
    phase = "end";
  } else if (actions.placed()) {
    phase = "place";
    extra = PlaceFields(actions);
  } else if (actions.background) {
    phase = "flood";
    extra = Field("color", JsonString(ColorText(actions.background->color)));
  } else if (after.ZanWait != step.before.ZanWait) {
    phase = "wait";
  }
  std::string line = "{\"tick\":" + std::to_string(step.tick) + Field("phase", JsonString(phase)) +
                     Field("wait", after.ZanWait) + Field("count", after.ZanCount) + extra;
  if (ms) line += Field("ms", MillisecondsText(*ms));
  return line + "}";
}

std::string ErrorTraceLine(std::int64_t tick, const std::string& message) {
  return "{\"tick\":" + std::to_string(tick) + ",\"phase\":\"error\"" +
         Field("message", JsonString(message)) + "}";
}

}  // namespace slash

#include "diag/telemetry_line.h"

#include "diag/ascii_text.h"
#include "diag/telemetry_fields.h"
#include "timing/render_unlock_state.h"

namespace driftglass {
namespace {

constexpr uint32_t kMaxDecimalCharacters = 31;

// Prints the snapshot's fields in the order telemetry_fields.h visits them.
class LineWriter {
 public:
  LineWriter(AsciiText& text, double elapsedSeconds)
      : text_(text), elapsedSeconds_(elapsedSeconds) {}

  void Head(const char* key, uint32_t count) {
    text_.Append(" ");
    text_.Append(key);
    text_.Append("=");
    text_.Unsigned(count);
    text_.Append(" (");
    Decimal(elapsedSeconds_ > 0.0 ? count / elapsedSeconds_ : 0.0);
    text_.Append(" Hz)");
  }

  void Group(const char* name) {
    text_.Append(" ");
    text_.Append(name);
    text_.Append("(");
    first_ = true;
  }
  void EndGroup() { text_.Append(")"); }

  void Nested(const char* name) {
    Separate();
    text_.Append(name);
    text_.Append("(");
    first_ = true;
  }
  void EndNested() { text_.Append(")"); }

  void Running(const char* key, uint32_t value) { Count(key, value); }
  void Interval(const char* key, uint32_t value) { Count(key, value); }
  void Joined(uint32_t value) {
    text_.Append("/");
    text_.Unsigned(value);
  }
  void Sum(const char* key, const CountPair& pair) {
    Key(key);
    text_.Signed(pair.x);
    text_.Append("/");
    text_.Signed(pair.y);
  }
  void State(const char* key, const wchar_t* (*name)(uint32_t), uint32_t value) {
    Key(key);
    text_.Append(name(value));
  }
  void Named(const char* key, const wchar_t* name) {
    Key(key);
    text_.Append(name != nullptr ? name : L"unknown");
  }
  void Millionths(const char* key, uint32_t value) {
    Key(key);
    Decimal(value / 1000000.0);
  }
  void Latest(const char* key, uint32_t value) {
    Key(key);
    text_.Unsigned(value);
  }

  void Count(const char* key, uint64_t value) {
    Key(key);
    text_.Unsigned(value);
  }
  void Milliseconds(const char* key, double value) {
    Key(key);
    Decimal(value);
  }
  void Decimal(double value) { text_.Fixed(value, 3, kMaxDecimalCharacters); }

 private:
  void Separate() {
    if (!first_) text_.Append(", ");
    first_ = false;
  }
  void Key(const char* key) {
    Separate();
    text_.Append(key);
    text_.Append("=");
  }

  AsciiText& text_;
  double elapsedSeconds_;
  bool first_ = true;
};

void WriteCadence(LineWriter& line, const FrameCadenceStats& cadence) {
  line.Group("FrameCadence");
  line.Count("samples", cadence.samples);
  line.Milliseconds("meanMs", cadence.meanMs);
  line.Milliseconds("p50Ms", cadence.p50Ms);
  line.Milliseconds("p95Ms", cadence.p95Ms);
  line.Milliseconds("p99Ms", cadence.p99Ms);
  line.Milliseconds("maxMs", cadence.maxMs);
  line.Count("longGap", cadence.longGap);
  line.Count("overflow", cadence.overflow);
  line.Count("invalid", cadence.invalid);
  line.EndGroup();
}

}  // namespace

uint32_t FormatTelemetryLine(const TelemetrySnapshot& snapshot, char* out, uint32_t capacity) {
  AsciiText text(out, capacity);
  LineWriter line(text, snapshot.elapsedSeconds);
  text.Append("Telemetry interval=");
  line.Decimal(snapshot.elapsedSeconds);
  text.Append("s RenderUnlock=");
  text.Append(RenderUnlockStateName(snapshot.renderUnlockState));
  VisitTelemetryHead(line, snapshot.values);
  WriteCadence(line, snapshot.cadence);
  VisitTelemetryGroups(line, snapshot.values);
  return text.length();
}

}  // namespace driftglass

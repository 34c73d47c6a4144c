#pragma once
// The machine-readable record of a run: one line per fact, "kind key=value key=value ...".
//   entry name="cScene::Render" rva=0x00001234 patched=1
//   frame index=12 wall=0.204512 ticks=13 limit_fps=1 camera_x=0.2 camera_logic_x=0.2
//   invariant name=entry-bytes ok=1 detail="..."
//   summary ticks=180 ondraw=181 onpostrender=181 scenerender=181 frames=181 checks=9000 failures=0

#include <cstdarg>
#include <cstdio>
#include <string>

class HostRecord {
 public:
  bool Open(const std::wstring& path);
  void Line(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Records an invariant's outcome; a failed one makes the run fail.
  void Invariant(const char* name, bool ok, const char* detail = "");
  // A check made every tick or frame: counted, and recorded only when it fails.
  void Checked(const char* name, bool ok, const char* detail) {
    if (ok) {
      ++checks_;
    } else {
      Invariant(name, false, detail);
    }
  }
  int failures() const { return failures_; }
  // Every check made, recorded or only counted.
  unsigned long long checks() const { return checks_; }
  void Close();

 private:
  FILE* file_ = nullptr;
  int failures_ = 0;
  unsigned long long checks_ = 0;
};

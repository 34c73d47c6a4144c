#include "record/host_record.h"

bool HostRecord::Open(const std::wstring& path) {
  file_ = _wfopen(path.c_str(), L"wb");
  return file_ != nullptr;
}

void HostRecord::Line(const char* format, ...) {
  if (file_ == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  vfprintf(file_, format, arguments);
  va_end(arguments);
  fputc('\n', file_);
}

void HostRecord::Invariant(const char* name, bool ok, const char* detail) {
  ++checks_;
  if (!ok) {
    if (++failures_ <= 5) std::fprintf(stderr, "simhost: invariant %s failed: %s\n", name, detail);
  }
  Line("invariant name=%s ok=%d detail=\"%s\"", name, ok ? 1 : 0, detail);
}

void HostRecord::Close() {
  if (file_ != nullptr) fclose(file_);
  file_ = nullptr;
}

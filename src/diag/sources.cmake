target_sources(driftglass_core PRIVATE
  diag/ascii_text.cpp
  diag/motion_trace.cpp
  diag/motion_trace_row.cpp
  diag/telemetry_counters.cpp
  diag/telemetry_line.cpp
  diag/telemetry_reporter.cpp
)

target_sources(driftglass_core PRIVATE
  diag/ascii_text.cpp
  diag/telemetry_counters.cpp
  diag/telemetry_line.cpp
  diag/telemetry_reporter.cpp
  diag/motion_trace_row.cpp
  diag/motion_trace.cpp
  # The result names the telemetry line prints; their interpolators will join them here.
  interp/camera_result.cpp
  interp/hands_root_result.cpp
)

driftglass_add_test(diag_tests
  diag/telemetry_line_test.cpp
  diag/telemetry_reporter_test.cpp
  diag/motion_trace_test.cpp
  timing/frame_cadence_test.cpp)

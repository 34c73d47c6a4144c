target_sources(driftglass_core PRIVATE
  log/diagnostic_log.cpp
)

target_sources(driftglass_core PRIVATE
  bootstrap/bootstrap_sequence.cpp
  bootstrap/feature_summary.cpp
  bootstrap/file_locations.cpp
  bootstrap/settings_watcher.cpp
)

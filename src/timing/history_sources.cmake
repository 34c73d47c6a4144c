target_sources(driftglass_core PRIVATE
  timing/snapshot_history.cpp
)

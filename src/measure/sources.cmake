target_sources(driftglass_core PRIVATE
  measure/stage_meter.cpp
)

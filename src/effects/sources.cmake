target_sources(driftglass_core PRIVATE
  effects/effects_detours.cpp
  effects/image_trail_timing.cpp
  effects/particle_positions.cpp
)

target_sources(driftglass_core PRIVATE
  timing/frame_cadence.cpp
  timing/render_unlock_state.cpp
  timing/discontinuity_reason.cpp
  timing/effects_detours.cpp
  timing/hands_counting.cpp
  timing/hands_detours.cpp
  timing/world_counting.cpp
  timing/world_detours.cpp
)

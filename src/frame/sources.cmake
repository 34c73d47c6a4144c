target_sources(driftglass_core PRIVATE
  frame/engine_run_detour.cpp
  frame/tick_frame_sequence.cpp
)

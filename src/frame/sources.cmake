target_sources(driftglass_core PRIVATE
  frame/engine_run_detour.cpp
  frame/live_settings_apply.cpp
  frame/presentation_limiter.cpp
  frame/model_matrix_detour.cpp
  frame/object_update_detours.cpp
  frame/tick_frame_sequence.cpp
)

target_sources(driftglass_core PRIVATE
  timing/clock_sample.cpp
  timing/discontinuity_reason.cpp
  timing/display_rate.cpp
  timing/frame_cadence.cpp
  timing/frame_pacer.cpp
  timing/frame_rate.cpp
  timing/logic_timer_residual.cpp
  timing/presentation_clock.cpp
  timing/render_unlock_state.cpp
  timing/snapshot_history.cpp
  timing/system_pacer_platform.cpp
  timing/tick_sequence.cpp
  timing/wall_clock.cpp
)

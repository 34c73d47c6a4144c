target_sources(driftglass_core PRIVATE
  world/moved_body_queue.cpp
  world/moving_transform_append.cpp
  world/world_body_choice.cpp
  world/world_body_table.cpp
  world/world_counting.cpp
  world/world_detours.cpp
  world/world_frame_tables.cpp
  world/world_model_answers.cpp
  world/world_model_histories.cpp
  world/world_model_result.cpp
  world/world_render_correction.cpp
  world/world_root_capture.cpp
  world/world_root_interpolator.cpp
  world/world_root_tracker.cpp
  world/world_sleep_cache.cpp
)

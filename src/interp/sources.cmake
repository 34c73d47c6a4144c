target_sources(driftglass_core PRIVATE
  interp/quaternion.cpp
  interp/rigid_transform.cpp
  interp/camera_pose.cpp
  interp/bone_palette.cpp
  interp/hands_host_layout.cpp
  interp/hands_staging.cpp
  interp/hands_attachments.cpp
  interp/hands_root_interpolator.cpp
  interp/host_palette.cpp
  interp/hands_pose_interpolator.cpp
  interp/enemy_pose_interpolator.cpp
  interp/world_index.cpp interp/moving_transform_append.cpp interp/moved_body_queue.cpp interp/world_body_table.cpp interp/world_sleep_cache.cpp interp/world_model_histories.cpp interp/world_root_tracker.cpp interp/world_root_capture.cpp
  interp/world_model_result.cpp interp/world_frame_tables.cpp interp/world_body_choice.cpp interp/world_render_correction.cpp interp/world_root_interpolator.cpp
  interp/particle_positions.cpp interp/image_trail_timing.cpp
)

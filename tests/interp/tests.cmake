driftglass_add_test(interp_tests
  interp/rigid_transform_test.cpp
  interp/camera_pose_test.cpp
  interp/bone_palette_test.cpp
  interp/hands_pose_interpolator_test.cpp
  interp/hands_root_interpolator_test.cpp
  timing/snapshot_history_test.cpp)
driftglass_add_test(world_tests interp/world_index_test.cpp interp/world_root_tracker_test.cpp)
driftglass_add_test(world_render_tests interp/world_render_correction_test.cpp)
driftglass_add_test(enemy_pose_tests interp/enemy_pose_interpolator_test.cpp)
driftglass_add_test(effects_tests interp/effects_test.cpp)

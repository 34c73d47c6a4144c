target_sources(driftglass_core PRIVATE
  poses/enemy_pose_interpolator.cpp
  poses/pose_counting.cpp
)

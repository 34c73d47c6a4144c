target_sources(driftglass_core PRIVATE
  hands/hands_attachments.cpp
  hands/hands_counting.cpp
  hands/hands_detours.cpp
  hands/hands_pose_interpolator.cpp
  hands/hands_root_interpolator.cpp
  hands/hands_root_result.cpp
  hands/hands_staging.cpp
)

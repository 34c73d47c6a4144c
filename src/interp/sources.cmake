target_sources(driftglass_core PRIVATE
  interp/quaternion.cpp
  interp/rigid_transform.cpp
  interp/camera_pose.cpp
  interp/bone_palette.cpp
  interp/hands_host_layout.cpp
  interp/hands_staging.cpp
  interp/hands_attachments.cpp
  interp/hands_root_interpolator.cpp
  interp/hands_pose_interpolator.cpp
)

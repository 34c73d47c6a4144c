target_sources(driftglass_core PRIVATE
  interp/quaternion.cpp
  interp/rigid_transform.cpp
  interp/camera_pose.cpp
  interp/bone_palette.cpp
)

target_sources(driftglass_core PRIVATE
  shared/bone_palette.cpp
  shared/camera_pose.cpp
  shared/compare_switch.cpp
  shared/entity_layout.cpp
  shared/frame_sequence_settings.cpp
  shared/host_palette.cpp
  shared/live_settings.cpp
  shared/quaternion.cpp
  shared/rigid_transform.cpp
)

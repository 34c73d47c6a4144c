set(DRIFTGLASS_INTERP_MATH_SOURCES
  interp/quaternion.cpp
  interp/rigid_transform.cpp
  interp/camera_pose.cpp
  interp/bone_palette.cpp
)
target_sources(driftglass_core PRIVATE ${DRIFTGLASS_INTERP_MATH_SOURCES})
# Tolerances and blends are defined on 32-bit floats; x87 excess precision would blur them.
set_source_files_properties(${DRIFTGLASS_INTERP_MATH_SOURCES} PROPERTIES
  COMPILE_OPTIONS "-msse2;-mfpmath=sse")

target_sources(driftglass_core PRIVATE
  camera/camera_counting.cpp
  camera/camera_interpolator.cpp
  camera/camera_result.cpp
)

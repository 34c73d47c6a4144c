target_sources(driftglass_core PRIVATE
  input/mouse_arithmetic.cpp
)

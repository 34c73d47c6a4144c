target_sources(driftglass_core PRIVATE
  input/compare_key.cpp
  input/gameplay_input_pass.cpp
  input/gui_cursor.cpp
  input/look_command.cpp
  input/look_preview.cpp
  input/mouse_arithmetic.cpp
  input/mouse_capture.cpp
  input/mouse_detours.cpp
  input/mouse_state.cpp
  input/player_dequantize.cpp
  input/raw_input_tap.cpp
)

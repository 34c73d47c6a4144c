target_sources(driftglass_core PRIVATE
  input/mouse_arithmetic.cpp
  input/mouse_state.cpp
  input/mouse_capture.cpp
  input/raw_input_tap.cpp
  input/gui_cursor.cpp
  input/gameplay_input_pass.cpp
  input/look_command.cpp
  input/look_preview.cpp
  input/player_dequantize.cpp
  input/mouse_detours.cpp
)

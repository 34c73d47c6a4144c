target_sources(driftglass_core PRIVATE
  host/engine_mappings.cpp
  host/game_window.cpp
  host/guarded_memory.cpp
  host/hook_slots.cpp
  host/image_headers.cpp
  host/image_validation.cpp
  host/import_resolution.cpp
  host/signature_scan.cpp
  host/signature_table.cpp
)

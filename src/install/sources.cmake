target_sources(driftglass_core PRIVATE
  install/detour_plan.cpp
  install/detour_table.cpp
  install/hook_backend.cpp
  install/hook_installer.cpp
  install/hook_installer_messages.cpp
)

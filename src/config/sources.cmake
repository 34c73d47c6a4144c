target_sources(driftglass_core PRIVATE
  config/key_names.cpp
  config/plugin_config.cpp
  config/profile_text.cpp
  config/settings_change.cpp
  config/settings_file_watch.cpp
  config/settings_table.cpp
)

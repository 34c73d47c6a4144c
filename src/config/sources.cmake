target_sources(driftglass_core PRIVATE
  config/key_names.cpp
  config/plugin_config.cpp
)

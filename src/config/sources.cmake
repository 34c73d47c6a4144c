target_sources(driftglass_core PRIVATE
  config/plugin_config.cpp
)

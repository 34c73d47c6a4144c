#pragma once
// The simulated game's world: one instance of each engine object the entry points work on, and
// what the game counted itself. The main loop (main_loop.cpp) and the engine's own functions
// (engine_functions.cpp) work on it.

#include <cstdint>

#include "engine/engine_objects.h"
#include "scenarios/scenario.h"

class HostRecord;

struct HostCounts {
  uint32_t ticks = 0;
  uint32_t onDraw = 0;
  uint32_t onPostRender = 0;
  uint32_t sceneRender = 0;
  uint32_t otherMessages = 0;
  uint32_t frames = 0;
};

struct EngineWorld {
  cEngine* engine;
  LogicTimer* timer;
  cUpdater* updater;
  cScene* scene;
  cCamera* camera;
  cLuxPlayer* player;
  cMouseSDL* mouse;
  cLuxInputHandler* input;
  HostCounts counts;
  const Scenario* scenario;
  HostRecord* record;
  double loopStartSeconds;
  double ownRenderSeconds;  // the game's own render work in the latest frame
  double drawStartSeconds;  // when the game's own render began (after any detour's wait)
};

// Builds the world's objects (static storage) for one run.
EngineWorld& CreateEngineWorld(const Scenario& scenario, HostRecord& record);
EngineWorld& World();

// Set when the loaded plug-in is a measurement build (benchmarks only).
extern uint32_t (*gPluginRegionQueries)();

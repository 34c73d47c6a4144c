#pragma once
// Reads a scenario file (its keys are listed in scenario.h): the scenario's own events, the
// soak's drawn on top of them, and the checks that refuse a scenario the game cannot play.

#include <string>

#include "scenarios/scenario.h"

// Reads a scenario; on failure fills error with the file's line and reason.
bool LoadScenario(const std::wstring& path, Scenario& scenario, std::string& error);
bool ParseScenarioText(const std::string& text, Scenario& scenario, std::string& error);

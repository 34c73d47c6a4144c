#pragma once
// The game's wall clock: seconds on the performance counter. Every time the record carries, and
// every wait the game and its helpers make, is read from it.

double HostSeconds();

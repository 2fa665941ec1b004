// The built-in tour: the scenario ravelo-sim runs with no arguments (sim/scenarios/tour.txt).
#pragma once

namespace sim {

extern const char* const kTourScenario;

}  // namespace sim

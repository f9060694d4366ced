// The ways a run can end early, as the library publishes them: Error, which
// says what kind of failure it is, and FatalStop, a fixed limit reached.
#pragma once

#include <veltrane2/veltrane2.hpp>

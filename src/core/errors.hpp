// The ways a run can end early: RunError (a message and an exit status) and
// FatalStop (a fixed limit reached), as the library publishes them.
#pragma once

#include <veltrane2/veltrane2.hpp>

// The process-wide objects of a run, of every layer: the core's values (Globals.h), then the
// objects of higher layers that the set holds, in the program's start-up order.
#pragma once

#include "Globals.h"

// Builds a fresh set of process-wide objects in order and makes it current: the values, the
// audio device table, PcInfo (its constructor writes the run's first log line, with the
// banner, and starts the audio thread) and the application object. The previous set, if any,
// is freed first: every thread of the run that used it must have ended (on the simulated PC,
// the SimPc that ran it is gone). endProcessObjects (Globals.h) frees it.
Globals& startProcessObjects();

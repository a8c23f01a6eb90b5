// The lines the checker prints for a person. The results for programs are results.h's; a
// program never reads these.
#pragma once
#include <string>

#include "options.h"
#include "record.h"
#include "verdict.h"

// The verdict line on the screen: what the frames showed, how they were watched, the verdict.
std::string VerdictLine(const PlaceRecord& shown, Verdict verdict, const Options& o);

// The line on the renderer's own drawable: how many presented frames were right.
std::string PresentedLine(const PlaceRecord& presented);

// The line on the window's own pixels under a compositing manager: what the layer delivered,
// before the manager composed it onto the screen, with its own verdict.
std::string WindowLine(const PlaceRecord& window, Verdict verdict, const std::string& compositor);

// The line when no frame of the program appeared within o.wait seconds.
std::string NoScreenLine(const Options& o);

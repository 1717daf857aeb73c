// The publishing linked into the program instead of loaded (tests, tools, benchmarks), and the way
// to its parts for those who drive the page or the publishers directly.
#pragma once

#include "station/station_publishing.h"

class TForm1;

// The window's publishing, once its start is finished.
TStationPublishing& BuiltInPublishing(TForm1& form);

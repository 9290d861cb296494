// The wipe check and its helpers live in recording.h.
#pragma once

#include "recording.h"

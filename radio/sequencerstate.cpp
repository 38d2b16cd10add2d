#include "radio/sequencerstate.h"

bool SendReady = false;

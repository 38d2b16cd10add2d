#include "app/reveal.h"

bool HiddenFeatureReveal::tick() {
    bool windowClosed = false;
    if (StartupTicks++ > 80) {
        RevealWindowOpen = 0;
        windowClosed = true;
    }
    if (ArmAgeTicks++ > 2) RevealArmed = 0;
    return windowClosed;
}

void HiddenFeatureReveal::panel11Click() {
    ArmAgeTicks = 0;
    RevealArmed = RevealArmed == 0 ? 1 : 0;
}

bool HiddenFeatureReveal::panel10Click() {
    RevealToggle = RevealToggle == 0 ? 1 : 0;
    return RevealToggle == 1 && RevealArmed != 0 && RevealWindowOpen != 0;
}

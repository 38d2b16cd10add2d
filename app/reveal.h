#pragma once

#include <cstdint>

// The hidden features unlock when Panel11 and then, within about three 100 ms ticks, Panel10
// are clicked during the first seconds after start-up.
struct HiddenFeatureReveal {
    uint32_t StartupTicks = 0;
    uint8_t RevealWindowOpen = 1;
    uint8_t RevealArmed = 0;
    uint8_t ArmAgeTicks = 0;
    uint8_t RevealToggle = 0;

    // One tick of Timer1; true when the reveal window has closed and the timer is to stop.
    bool tick();
    void panel11Click();
    // True when this click reveals the hidden features.
    bool panel10Click();
};

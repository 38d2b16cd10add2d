#pragma once

// The sequencer's one flag: it permits the next command to be sent and carries the verdict on
// the last reply. The reply checks write it; the sequencer reads and resets it.
extern bool SendReady;

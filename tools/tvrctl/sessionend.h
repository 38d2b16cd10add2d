#pragma once

// How tvrctl tells the ending of a radio session: its exit status and its line.

#include <QString>

#include "production/radiosession.h"

// The end of a session after `result`; a read that a write follows is not its end.
[[nodiscard]] SessionEnd EndOf(const SequenceResult& result, const SessionState& state);
// Every ending of a session, the engine's and the session's own.
[[nodiscard]] SessionEnd TellSessionEnd(const SessionResult& result);

// Why the port did not take 9600 bit/s, 8N1, where a session and the link test start.
QString StartSettingRefusalText(SettingsRefusal refusal);

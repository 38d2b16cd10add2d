#pragma once

#include <QString>

#include "serial/serialdevice.h"

// Opens the port a name stands for: a port behind a network serial server for an rfc2217:// or
// socket:// name (one not exactly as it must be is refused as an invalid address), the local
// device of that name otherwise.
OpenResult OpenNamedPort(const QString& name);

// Opens a port behind a network serial server and asks it for `settings` without waiting for
// the server, which may take up to ConnectWaitMs to answer; a name that is no valid network port
// finishes at once, refused.
std::unique_ptr<PendingOpen> OpenNetworkPortInBackground(const QString& name,
                                                         const LineSettings& settings);

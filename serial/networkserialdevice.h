#pragma once

#include "serial/porturl.h"
#include "serial/serialdevice.h"

// Opens a serial port behind a network serial server. An rfc2217:// port speaks telnet with the
// COM port option: each line setting counts as set only once the server has answered with the
// value asked for (the settings it confirmed last are not asked for again), purges purge the
// server's buffers too, and data bytes go through unchanged (IAC doubled both ways). An input purge
// does not wait for the server: what the server sent before its answer is thrown away as it comes
// (for at most ServerAnswerWaitMs) and reported by the next purge. A socket:// port is a plain TCP
// connection whose line settings cannot change. The connection lives in a thread of its own and is
// read by a reader that waits in the kernel, as a local port's I/O is; the connect takes at most
// ConnectWaitMs, and settings wait at most ServerAnswerWaitMs for the server's answer. A connection
// that breaks is a device that vanished: lost() once.
OpenResult OpenNetworkSerialDevice(const PortUrl& url);
// The same open without waiting for the server, followed by a request for `settings`; it
// finishes within the same bounds. A port whose server did not answer that request within
// ServerAnswerWaitMs is not opened; one that took them need not ask again for the same.
std::unique_ptr<PendingOpen> OpenNetworkSerialDeviceInBackground(const PortUrl& url,
                                                                 const LineSettings& settings);

inline constexpr int ConnectWaitMs = 5000;
inline constexpr int ServerAnswerWaitMs = 2000;

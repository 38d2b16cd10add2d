#include "serial/portopener.h"

#include "serial/networkserialdevice.h"
#include "serial/porturl.h"
#include "serial/qtserialdevice.h"

OpenResult OpenNamedPort(const QString& name) {
    if (!IsNetworkPortName(name)) return OpenQtSerialDevice(name);
    const std::optional<PortUrl> url = ParsePortUrl(name);
    if (!url) return OpenResult::Failed(OpenFailure::InvalidAddress);
    return OpenNetworkSerialDevice(*url);
}

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

namespace {

// A name refused before anything is opened: it finishes on the next turn of the event loop, as
// every background open finishes after its caller has returned.
class RefusedOpen : public PendingOpen {
  public:
    explicit RefusedOpen(OpenFailure failure) {
        QMetaObject::invokeMethod(
            this, [this, failure] { finish(OpenResult::Failed(failure)); }, Qt::QueuedConnection);
    }
};

}  // namespace

std::unique_ptr<PendingOpen> OpenNetworkPortInBackground(const QString& name,
                                                         const LineSettings& settings) {
    const std::optional<PortUrl> url = ParsePortUrl(name);
    if (!url) return std::make_unique<RefusedOpen>(OpenFailure::InvalidAddress);
    return OpenNetworkSerialDeviceInBackground(*url, settings);
}

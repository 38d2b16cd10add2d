#pragma once

#include <QAccessibleInterface>

// Lets screen readers (and tests through the accessibility interfaces) read the receive view's
// text, as it is copied, and its selection.
QAccessibleInterface* ReceiveViewAccessibleFactory(const QString& className, QObject* object);

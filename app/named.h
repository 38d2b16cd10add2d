#pragma once

#include <QString>

// The control with its object name set, which tests and the accessibility tree find it by.
template <typename T>
T* Named(T* control, const char* name) {
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

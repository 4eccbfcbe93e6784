#pragma once
// A control of the window found by its objectName, as the operator's documentation names it: the
// way tests and scenario programs reach the window's controls, which are the window's own.
#include <QObject>
#include <QString>

#include <cstdio>
#include <cstdlib>

// The control of that name and kind, or nullptr.
template <typename T> T* FindControl(const QObject& window, const char* name) {
    return window.findChild<T*>(QString::fromUtf8(name));
}

// The control of that name and kind; a program that asks for one the window lacks ends here with
// a message naming it, since whatever it checks next would be meaningless.
template <typename T> T* Control(const QObject& window, const char* name) {
    T* control = FindControl<T>(window, name);
    if (!control) {
        std::fprintf(stderr, "no control named %s of the kind asked for\n", name);
        std::abort();
    }
    return control;
}

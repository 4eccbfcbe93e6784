#pragma once
// A square indicator lamp (a device's worker lamp, the engine lamp). The console implements it
// with a widget; the core only switches it.

class TStatusLamp {
public:
    virtual ~TStatusLamp() = default;
    virtual void ChangeValue(bool on) = 0;
};

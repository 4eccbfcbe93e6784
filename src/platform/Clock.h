#pragma once
// Time as the system counts it: a date-time is days since 1899-12-30 00:00 local time, with the
// time of day as the fraction (millisecond resolution). The core asks this interface instead of
// the real clock so that tests and scenario programs can run hours of program time in seconds.
//
// Two readings: Now is the local wall clock, for stamps and file names; a time server or the end
// of summer time sets it back or forward. SteadyNow counts in the same unit (days) from an
// arbitrary origin and never jumps, so durations (a program's elapsed time, the data table's
// pace) are measured on it.

#include <chrono>

class Clock {
public:
    virtual ~Clock() = default;
    virtual double Now() const = 0;
    virtual double SteadyNow() const = 0;
    virtual void Sleep(int milliseconds) = 0;
};

// The wall clock in local time, sleeping for real.
class SystemClock final : public Clock {
public:
    double Now() const override;
    double SteadyNow() const override;
    void Sleep(int milliseconds) override;
};

// A clock that only moves when told to: Sleep advances it instead of blocking. Both readings
// start at the given date-time.
class ManualClock final : public Clock {
public:
    explicit ManualClock(double start = 0.0) : now_(start), steady_(start) {}
    double Now() const override { return now_; }
    double SteadyNow() const override { return steady_; }
    void Sleep(int milliseconds) override { AdvanceMs(milliseconds); }
    // Sets the wall clock, as a time server or the change of summer time does: the steady
    // reading does not move.
    void Set(double dateTime) { now_ = dateTime; }
    // Time passes: both readings move.
    void AdvanceMs(double milliseconds) {
        now_ += milliseconds / 86400000.0;
        steady_ += milliseconds / 86400000.0;
    }

private:
    double now_;
    double steady_;
};

// The wall clock run faster by a factor from the moment it is made: a scenario against real
// workers and simulated instruments runs minutes of program time in seconds. Sleep sleeps the
// wall time that corresponds to the requested program time, so pauses keep their share.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(double scale);
    double Now() const override;
    // Now is counted from a steady clock already, so it serves as the steady reading too.
    double SteadyNow() const override { return Now(); }
    void Sleep(int milliseconds) override;
    double Scale() const { return scale_; }

private:
    double scale_;
    double start_;
    std::chrono::steady_clock::time_point startSteady_;
};

// The clock every core unit uses; the system clock unless one is installed. Install before
// workers start and keep it alive until they have joined.
Clock& GetClock();
void SetClock(Clock* clock);

// Milliseconds per day, and the date-time helpers built on it.
constexpr double MsPerDay = 86400000.0;
// Encodes a local calendar date and time as a date-time.
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int millisecond = 0);

struct TDateTimeParts {
    int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
// Splits a date-time into calendar parts, rounding to the nearest millisecond.
TDateTimeParts DecodeDateTime(double dateTime);

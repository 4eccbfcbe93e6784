#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

namespace {

SystemClock systemClock;
// Workers read the clock too, so the installed pointer is atomic.
std::atomic<Clock*> installed{nullptr};

// Days from 1899-12-30 to 1970-01-01.
constexpr double UnixEpochDays = 25569.0;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (m <= 2));
}

} // namespace

double SystemClock::Now() const {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, static_cast<int>(ms % 1000));
}

double SystemClock::SteadyNow() const {
    const std::chrono::duration<double, std::milli> sinceOrigin =
        std::chrono::steady_clock::now().time_since_epoch();
    return sinceOrigin.count() / MsPerDay;
}

void SystemClock::Sleep(int milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

ScaledClock::ScaledClock(double scale)
    : scale_(scale > 0 ? scale : 1.0), start_(SystemClock().Now()),
      startSteady_(std::chrono::steady_clock::now()) {}

double ScaledClock::Now() const {
    // Counted from a steady clock, so a wall clock set meanwhile does not move program time.
    const std::chrono::duration<double, std::milli> real =
        std::chrono::steady_clock::now() - startSteady_;
    return start_ + real.count() * scale_ / MsPerDay;
}

void ScaledClock::Sleep(int milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(
            std::chrono::duration<double, std::milli>(milliseconds / scale_));
}

Clock& GetClock() {
    Clock* clock = installed.load();
    return clock ? *clock : systemClock;
}

void SetClock(Clock* clock) {
    installed.store(clock);
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                      int millisecond) {
    const long long days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const double msOfDay = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
    return static_cast<double>(days) + UnixEpochDays + msOfDay / MsPerDay;
}

TDateTimeParts DecodeDateTime(double dateTime) {
    // Work in whole milliseconds so that 23:59:59.9996 does not come out as second 60.
    const long long totalMs = std::llround(dateTime * MsPerDay);
    long long days = totalMs / 86400000LL;
    long long msOfDay = totalMs % 86400000LL;
    if (msOfDay < 0) {
        msOfDay += 86400000LL;
        --days;
    }
    TDateTimeParts p{};
    CivilFromDays(days - static_cast<long long>(UnixEpochDays), p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(msOfDay / 3600000);
    p.Minute = static_cast<int>(msOfDay / 60000 % 60);
    p.Second = static_cast<int>(msOfDay / 1000 % 60);
    p.Millisecond = static_cast<int>(msOfDay % 1000);
    return p;
}

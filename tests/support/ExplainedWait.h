#pragma once
// Time-bounded waits that explain themselves. A wait that runs out reports how long it waited
// and what the test's peers looked like at that moment: each simulator peer and each worker a
// test sets up registers a witness that describes its state (the journal tail, the worker's last
// status), and every witness alive at the timeout speaks. What was awaited is the assertion's own
// expression, which GoogleTest prints beside the message. So a failure on a loaded machine can
// be understood from the log alone, without running it again.
//
// Witnesses live on the test's main thread, as do the waits.
#include "platform/Clock.h"
#include "platform/MainThreadGate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <list>
#include <sstream>
#include <string>
#include <utility>

// One source of "what was seen last"; registered for its own lifetime.
class TWaitWitness {
public:
    TWaitWitness(std::string name, std::function<std::string()> describe)
        : entry_(All().insert(All().end(), {std::move(name), std::move(describe)})) {}
    ~TWaitWitness() { All().erase(entry_); }
    TWaitWitness(const TWaitWitness&) = delete;
    TWaitWitness& operator=(const TWaitWitness&) = delete;

    // Every live witness's account, one block each.
    static std::string Accounts() {
        std::ostringstream text;
        for (const auto& [name, describe] : All())
            text << "--- " << name << ":\n" << describe() << "\n";
        return text.str();
    }

private:
    using TEntry = std::pair<std::string, std::function<std::string()>>;
    static std::list<TEntry>& All() {
        static std::list<TEntry> witnesses;
        return witnesses;
    }
    std::list<TEntry>::iterator entry_;
};

// The last `lines` lines of a text file (a simulator's journal), or a note that it is empty.
inline std::string FileTail(const std::string& path, std::size_t lines = 12) {
    std::ifstream in(path);
    std::list<std::string> tail;
    for (std::string line; std::getline(in, line);) {
        tail.push_back(line);
        if (tail.size() > lines)
            tail.pop_front();
    }
    if (tail.empty())
        return "(nothing in " + path + ")";
    std::string text;
    for (const auto& line : tail)
        text += line + "\n";
    return text;
}

// A date-time of the core's clock as the time of day, hh:mm:ss.zzz ("never" for 0).
inline std::string TimeOfDayText(double dateTime) {
    if (dateTime == 0)
        return "never";
    const TDateTimeParts t = DecodeDateTime(dateTime);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.Hour, t.Minute, t.Second,
                  t.Millisecond);
    return text;
}

// The outcome of a wait as an assertion: success, or the time waited and every witness's account.
inline ::testing::AssertionResult WaitOutcome(bool done,
                                              std::chrono::steady_clock::time_point start) {
    if (done)
        return ::testing::AssertionSuccess();
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return ::testing::AssertionFailure()
           << "gave up after " << waited.count() << " ms; seen last:\n"
           << TWaitWitness::Accounts();
}

// Serves hand-overs on gate until done() or the timeout (see QueueMainThreadGate::ServeUntil).
inline ::testing::AssertionResult
ServeUntilExplained(QueueMainThreadGate& gate, const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    const auto start = std::chrono::steady_clock::now();
    return WaitOutcome(gate.ServeUntil(done, timeout), start);
}

#pragma once
// What the worker tests share: a queue gate that counts the hand-overs it served, and a
// diagnostics recorder, installed for the lifetime of the object.
#include "platform/Diagnostics.h"
#include "platform/MainThreadGate.h"
#include "support/ExplainedWait.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

class CountingGate final : public MainThreadGate {
public:
    bool RunOnMainThread(const std::function<void()>& work, std::stop_token stop) override {
        return queue.RunOnMainThread(
            [&] {
                work();
                ++served;
            },
            stop);
    }
    QueueMainThreadGate queue;
    int served = 0; // main thread only
};

class RecordingDiagnostics final : public Diagnostics {
public:
    void Send(const std::string& category, const std::string& text) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(category + "|" + text);
    }
    int Count(const std::string& line) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
    }
    // The last `count` lines, one per line.
    std::string Tail(std::size_t count) const {
        std::lock_guard lock(mutex_);
        std::string text;
        for (std::size_t i = lines_.size() > count ? lines_.size() - count : 0; i < lines_.size();
             ++i)
            text += lines_[i] + "\n";
        return text.empty() ? "(no diagnostics)" : text;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Installs the gate and the recorder; restores the defaults afterwards.
class WorkerTestEnvironment {
public:
    WorkerTestEnvironment() {
        SetMainThreadGate(&gate);
        SetDiagnostics(&diagnostics);
    }
    ~WorkerTestEnvironment() {
        SetDiagnostics(nullptr);
        SetMainThreadGate(nullptr);
    }
    WorkerTestEnvironment(const WorkerTestEnvironment&) = delete;
    WorkerTestEnvironment& operator=(const WorkerTestEnvironment&) = delete;

    // Serves hand-overs until done() or the timeout; a timeout explains itself.
    ::testing::AssertionResult
    ServeUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        return ServeUntilExplained(gate.queue, done, timeout);
    }
    // Serves the given number of further hand-overs.
    ::testing::AssertionResult ServeHandOvers(int count) {
        const int target = gate.served + count;
        return ServeUntil([&] { return gate.served >= target; });
    }

    CountingGate gate;
    RecordingDiagnostics diagnostics;

private:
    TWaitWitness witness_{"hand-overs and diagnostics", [this] {
                              return "hand-overs served: " + std::to_string(gate.served) +
                                     "\nlast diagnostics:\n" + diagnostics.Tail(16);
                          }};
};

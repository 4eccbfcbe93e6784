// Cost of evaluating a program, which the engine tick does once a second for every device.
#include "program/SegmentProgram.h"
#include "registry/Orvello_DeviceInfo.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string LongProgram(int lines) {
    std::string program;
    for (int i = 0; i < lines; ++i) {
        program += std::to_string(i + 1) + "." + std::to_string(i % 10) + " " +
                   std::to_string((i * 37) % 101) + (i % 2 ? " Ramp" : " Step Some_note");
        program += "\r\n";
    }
    return program;
}

void SegmentAtDemonstration(benchmark::State& state) {
    const std::string program = MakeDemoDevice().SegmentProgram;
    const double minutes = static_cast<double>(state.range(0)) / 100;
    TSegment result;
    for (auto _ : state) {
        SegmentAt(program, minutes, result);
        benchmark::DoNotOptimize(result.Setpoint);
    }
}
// Early in the program, under the middle ramp, and past the end (every line read).
BENCHMARK(SegmentAtDemonstration)->Arg(50)->Arg(225)->Arg(1000);

void SegmentAtThousandLines(benchmark::State& state) {
    const std::string program = LongProgram(1000);
    const double minutes = static_cast<double>(state.range(0));
    TSegment result;
    for (auto _ : state) {
        SegmentAt(program, minutes, result);
        benchmark::DoNotOptimize(result.Setpoint);
    }
}
BENCHMARK(SegmentAtThousandLines)->Arg(1)->Arg(500)->Arg(2000);

} // namespace

#pragma once
// The orvello-rig program: publishes the simulated rig, prints one line per port
// ("NAME PATH KIND SERIAL") and then "ready", takes control lines on standard input, and on
// SIGINT or SIGTERM removes its links and exits 0.
//
//   orvello-rig [--port-dir DIR] [--sets N] [--journal FILE] [--time-scale F]
int RunOrvelloRig(int argc, char** argv);

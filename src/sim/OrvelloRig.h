#pragma once
// The orvello-rig program: publishes the simulated rig, prints one line per port
// ("NAME PATH KIND SERIAL") and then "ready", takes control lines on standard input, and on
// SIGINT, SIGTERM, SIGHUP or SIGQUIT removes its links, gives up the port folder's lock and
// exits 0. A port folder that is not private to the user stops it at the start with exit 1.
//
//   orvello-rig [--port-dir DIR] [--sets N] [--journal FILE] [--time-scale F]
int RunOrvelloRig(int argc, char** argv);

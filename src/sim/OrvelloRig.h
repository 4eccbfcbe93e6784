#pragma once
// The orvello-rig program: publishes the simulated rig, prints one line per port
// ("NAME PATH KIND SERIAL") and then "ready", takes control lines on standard input, and on
// SIGINT, SIGTERM, SIGHUP or SIGQUIT removes its links, gives up the port folder's lock and
// exits 0; with --stop-on-eof it does the same when its standard input ends. A port folder that
// is not private to the user, or that another running rig serves, stops it at the start with
// exit 1.
//
// --help prints the options (one line each) and --version the project's version, both on standard
// output with exit 0; an argument it does not take gets a reason and the usage line on standard
// error, exit 2.
//
//   orvello-rig [--port-dir DIR] [--sets N] [--journal FILE] [--time-scale F] [--stop-on-eof]
int RunOrvelloRig(int argc, char** argv);

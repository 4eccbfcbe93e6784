#pragma once
// The guardian: a small program that the console starts before any of its workers and that
// outlives it. It reads the console's words on its standard input (see GuardianWord.h) and does
// nothing else while the console lives, however long the console is stopped or busy. When its
// input ends without the clean word (the console was killed, crashed or ran out of memory), it
// stops every instrument of the last record, once the kernel has released the ports, the same
// way the next start would (SafeStop.h); then it tells what it did and what it could not do: a
// line per port on standard error, in the run's session log and in the system log, and it
// updates the record.
//
//   orvello-guard --record FILE --port-dir DIR [--bound SECONDS]
//
// Exit code: 0 after a clean word or when every stop was confirmed, 3 when a device may still
// be running, 2 for a wrong command line.
#include <string>
#include <vector>

int RunGuardian(int argc, char** argv);

// The guardian's arguments for the console to start it with.
std::vector<std::string> GuardianArguments(const std::string& recordPath,
                                           const std::string& portFolder);

#pragma once
// The user name and password for the broker, read from a file that only its owner may read:
// the first line is the user name, the second the password (a trailing CR is dropped, so a file
// written on Windows reads the same). They are never taken from the command line, where every
// user of the machine can see them (ps, /proc).
//
// A file that others may read (any group or other permission bit), that belongs to someone else,
// or that is not a regular file is refused, as ssh refuses a private key that others can read: a
// password that has leaked is not a password.
#include <optional>
#include <string>

struct TBrokerCredentials {
    std::string User;
    std::string Password;
};

// The credentials of the file at path; nothing, with one sentence saying why in error, when the
// file cannot be read, is not kept private or holds no user name.
std::optional<TBrokerCredentials> ReadBrokerCredentials(const std::string& path,
                                                        std::string& error);

#pragma once
// Where the run record lives and how it reaches the disk.
//
// It must survive a reboot and belong to one rig: under the user's state folder
// ($XDG_STATE_HOME, by default ~/.local/state), in "orvello", one file per port folder, so two
// consoles on two rigs of one computer never share a record. Never under $XDG_RUNTIME_DIR: that
// is emptied at every boot, which is exactly when the record is needed.
#include "safety/RunRecord.h"

#include <optional>
#include <string>

// "$XDG_STATE_HOME/orvello" when XDG_STATE_HOME holds an absolute path, else
// "$HOME/.local/state/orvello" (the home folder from the password database without HOME).
std::string RunRecordFolder();
// The record of the rig whose ports are found in portFolder: "run-<folder, made a file
// name>-<checksum of the folder>.record" in RunRecordFolder().
std::string RunRecordPath(const std::string& portFolder);

// Writes the record whole or not at all (temporary file, sync, rename, sync of the folder), so
// a power cut leaves the old record or the new one, never a torn one; makes the folder (private
// to the user) when it is missing. False with a text naming the file and the reason.
bool WriteRunRecordFile(const std::string& path, const TRunRecord& record, std::string& error);

// Takes the record of a port folder for this process for as long as it lives: two consoles on one
// rig would otherwise take each other's record for a run that ended without its stops. Returns a
// descriptor to keep open (the lock goes with it, and with the process), or -1 with the reason;
// busy is set when another process holds it.
int LockRunRecord(const std::string& path, bool& busy, std::string& error);

struct TRunRecordRead {
    // False when there is no record: the first run, or one whose folder was emptied.
    bool Found = false;
    // The record, when it could be read and is whole and of this port folder.
    std::optional<TRunRecord> Record;
    // Why a record that was found cannot be used (torn, foreign, unreadable).
    std::string Error;
};
// Reads the record at path and checks it belongs to portFolder: a record of another folder is
// foreign and is not used.
TRunRecordRead ReadRunRecordFile(const std::string& path, const std::string& portFolder);

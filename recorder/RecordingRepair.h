#pragma once

#include <atomic>
#include <string>

// Recordings cut short (the program killed, a crash, a power cut, a full
// disk) end without their index and sizes, so players show no duration and
// cannot seek. This finds them and rewrites them with an index. Everything
// here may run on any thread; a file being recorded right now (by this or
// another running instance, which holds an exclusive flock on it) is left
// alone. A stop flag, when given and set by another thread, ends the work
// early: the file being rewritten then stays as it was.
class RecordingRepair {
public:
    // True for an AVI whose writing never finished. Reads a few chunk headers,
    // nothing more; false for finished files and anything that is not an AVI.
    static bool IsUnfinished(const std::string& strPath);
    // Copies the packets of an unfinished file into a new file beside it,
    // which takes its place once complete. False when the file is not
    // unfinished, is being recorded, or cannot be rewritten: it stays as it
    // was then.
    static bool Repair(const std::string& strPath, const std::atomic<bool>* pStop = nullptr);
    // Repairs every unfinished .avi file in the folder (not below it); returns
    // how many were repaired.
    static int RepairFolder(const std::string& strFolder, const std::atomic<bool>* pStop = nullptr);
};

#pragma once

#include <atomic>

// Process-wide values shared between panels that may not know each other.

// Rotation of the shown picture in degrees (0, 90, 180, 270). Written by the
// video view, read by the control panel. GUI thread only.
extern int CurrentRotateAngle;

// True while a recording runs. Written by the video view, read by the
// settings panel; atomic because the recording thread reads it too.
extern std::atomic<bool> IsRecording;

#include "app/SharedState.h"

int CurrentRotateAngle = 0;
std::atomic<bool> IsRecording{false};

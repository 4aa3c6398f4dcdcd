#include "process/frame_pass.h"

// Placeholder until the frame pass lands: leaves the frame untouched.
void processFrame(void * /*instance*/, const FrameAccess * /*access*/) {}

// The windowed build's splash bitmap, shown on a thread of its own while the application starts.
#pragma once

namespace stub {

// Starts the splash thread and returns at once; the splash closes itself.
void StartSplash();

}  // namespace stub

// The windowed build's splash bitmap, shown on a thread of its own while the application starts.
// The thread owns the window, its timers and the loaded bitmap; the main thread never waits for it.
#pragma once

namespace stub {

// Starts the splash thread and returns at once; the splash closes itself when the process shows a
// window of its own (ShowSplash) or after SplashSeconds. A thread that cannot be started is not
// reported: the launch goes on without a splash.
void StartSplash();

}  // namespace stub

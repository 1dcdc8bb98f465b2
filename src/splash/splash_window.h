// The windowed build's splash bitmap, shown on a thread of its own while the application starts.
// The thread owns the window, its timers and the loaded bitmap; the main thread waits for it only at
// the end (EndSplash).
#pragma once

#include <string>

namespace stub {

// What the splash takes from the configuration.
struct SplashSettings {
  const std::string& text;  // SplashText, the window's title
  bool show_splash;         // ShowSplash
  int seconds;              // SplashSeconds
};

// Starts the splash thread and returns at once; the splash closes itself when the process shows a
// window of its own (show_splash) or after its seconds. A thread that cannot be started is not
// reported: the launch goes on without a splash.
void StartSplash(const SplashSettings& settings);

// Closes a splash that is still shown and waits (a few seconds at most) for its thread to end; the
// launcher calls it before the process ends. Does nothing when no splash was started.
void EndSplash();

}  // namespace stub

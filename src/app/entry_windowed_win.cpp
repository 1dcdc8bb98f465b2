// Entry point of the windowed build. The command line is split by the launcher's own tokenizer, with
// element 0 reserved for the program, so that arguments reach Java exactly as the configured rules say.
// With mingw-w64 the process starts in startup_windowed_win.cpp beside this file, which calls wWinMain.
#include <windows.h>

#include "app/launcher.h"
#include "core/system_win.h"
#include "core/tokenizer.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::string command_line = stub::Utf8Of(::GetCommandLineW());
  return stub::RunLauncher(/*windowed=*/true,
                           stub::TokenizeArguments(stub::StripProgramName(command_line), /*reserve_slot=*/true));
}

// Entry point of the windowed build. The command line is split by the launcher's own tokenizer, with
// element 0 reserved for the program, so that arguments reach Java exactly as configured rules say.
#include <windows.h>

#include "core/launcher.h"
#include "core/tokenizer.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string_view arguments = stub::StripProgramName(::GetCommandLineA());
  return stub::RunLauncher(/*windowed=*/true, stub::TokenizeArguments(arguments, /*reserve_slot=*/true));
}

// Hosting the Java virtual machine in the launcher's own process: loading the chosen jvm.dll,
// creating the virtual machine with the assembled options, and taking it down again.
#pragma once

namespace stub {

// Loads the runtime and creates the virtual machine on the calling thread; with a service console,
// also gives the process a console of its own for Java's standard streams. Reports every failure;
// false when no virtual machine exists afterwards.
bool CreateJvm(bool with_service_console);

// Detaches the calling thread, destroys the virtual machine (waiting for the application's non-daemon
// threads) and unloads the runtime. Called on the creating thread after the main class has run.
void DestroyJvm();

}  // namespace stub

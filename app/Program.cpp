// What this program does with the shell: load the login window and release
// the server settings at the end.
#include "app/Shell.h"
#include "link/ServerSettings.h"
#include "screens/Screens.h"

namespace {

void ReleaseProgramState() { ReleaseServerSettings(); }

}  // namespace

std::int32_t RunProgram() {
  InitializeShell();
  RegisterExitRoutine(ReleaseProgramState);
  LoadStartupWindow(LoginWindow::number);
  RunEventLoop();
  return 0;
}

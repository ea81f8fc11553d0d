#include <windows.h>

#include "app/Shell.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RunProgram();
  ShutDownShell(0);
  return 0;
}

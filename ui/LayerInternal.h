// What the parts of the window layer share among themselves.
#pragma once

#include <windows.h>

#include "ui/Layer.h"

// The loaded window entry whose top-level window this is, or null.
WindowEntry* EntryOfWindow(HWND topLevel);

// Index of a control of the entry by control number; 0 (and the window's own
// number) stands for the window itself; -1 when there is none.
int ControlIndex(const WindowEntry& entry, ControlNumber control);

void RaiseControlClick(WindowEntry& entry, int controlIndex);

// Creates the top-level window and its controls, all hidden. False when any
// of them could not be created; what was made is destroyed again.
bool CreateLoadedWindow(WindowEntry& entry, bool fullyModal);

// Called by the window procedure of a top-level window.
void OnWindowCloseRequested(WindowEntry& entry);
void OnWindowDestroying(WindowEntry& entry);
void OnWindowDestroyed(WindowEntry& entry);

// Routes a child's WM_COMMAND notification to the control's event.
void OnChildCommand(WPARAM wParam, LPARAM lParam);

HBITMAP LayerImage(int resourceId);
HBRUSH LayerTileBrush(int resourceId);

// The handlers of the confirmation window's two answer buttons.
#pragma once

void OnInfoWrongClicked();
void OnInfoCorrectClicked();

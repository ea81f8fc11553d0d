// The handlers of the login window: connect before the window is first
// shown, send a login request per click, judge every arrival.
#pragma once

void OnLoginWindowCreated();
void OnLoginButtonClicked();
void OnClientDataArrival();

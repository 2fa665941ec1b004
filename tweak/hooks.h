// The SpringBoard and UIKit methods the tweak takes over.
#pragma once

// Installs, in table order, every hook whose feature switch is on. Called once, at start-up, and only
// when the master switch is on.
void installHooks(void);

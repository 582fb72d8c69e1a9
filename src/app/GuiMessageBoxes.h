#pragma once

namespace quillon::app {

// Puts real modal message boxes behind the platform's message-box seam, always shown on the UI
// thread. Installed by the application; tests install their own answers instead.
void InstallGuiMessageBoxes();

} // namespace quillon::app

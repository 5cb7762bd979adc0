// One-time set-up of libxml2 for this process.
#pragma once

namespace kelxml {

// Initialises libxml2 once, whichever thread asks first; later calls return
// at once. Called by the factories before any other libxml2 use.
void InitLibrary();

}  // namespace kelxml

#pragma once

namespace quillon::devices {

// The name of the lock that serialises every entering of replies into the device table,
// between the receivers, the Search command and the closing of the window, and between every
// running copy of the program of the same user: a platform::NamedLock of this name.
inline constexpr const char* kListLockName = "LIST LOCK";

} // namespace quillon::devices

#pragma once

namespace quillon::test {

// False, after saying why on standard error, when the process can see a real network: tests
// that send must then not run at all.
bool SeesOnlyAVirtualLan();

} // namespace quillon::test

#pragma once
// Inside the file layer on Windows: the errno value whose wording fits a Windows error code.

namespace velt::platform {

// GetLastError()'s code as the errno value that describeErrno words alike; EIO when none fits.
int errnoOfWindowsError(unsigned long code);

}  // namespace velt::platform

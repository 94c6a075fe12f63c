#pragma once

namespace nms::process_capabilities {

// The capabilities of the calling thread, through the capget and capset
// system calls. Capabilities belong to each thread: call these before any
// other thread exists, so that they hold for the whole process. Plain C++:
// the ICMP helper uses them too.

// Whether a capability is in the permitted set.
bool permitted(int capability);

// Makes a permitted capability effective; false when it is not permitted.
bool raise(int capability);

// Gives up every capability: the effective, permitted, inheritable and
// ambient sets are emptied, and every capability but `keepBounding` (-1 for
// none) leaves the bounding set where the process may change it (it needs
// CAP_SETPCAP, which root has and an ordinary user has not). True when the
// four sets are empty afterwards.
bool dropAll(int keepBounding);

} // namespace nms::process_capabilities

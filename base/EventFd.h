#pragma once
// An owned eventfd: a counter in the kernel that poll() sees as readable while it is above
// zero. One thread raises it (Signal), another waits on fd() beside its other descriptors.
// Non-blocking and closed on exec; when the system gives none, the object is false and
// Signal and Drain do nothing.

#include "base/FileDescriptor.h"

class EventFd {
public:
    EventFd();

    explicit operator bool() const { return static_cast<bool>(m_fd); }
    // Readable (POLLIN) from the first Signal until Drain; -1 when there is none.
    int fd() const { return m_fd.get(); }
    // Adds one to the counter: fd() becomes readable.
    void Signal() const;
    // Sets the counter back to zero: fd() is no longer readable.
    void Drain() const;

private:
    FileDescriptor m_fd;
};

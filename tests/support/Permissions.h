#pragma once

// File permissions do not hold back the superuser, and the tests often run as root (containers,
// single-user machines). These helpers take that power away where a test needs a folder that
// cannot be read to be unreadable.

#include "platform/Process.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// While alive, the calling thread cannot pass file permissions (capabilities are per thread);
// it keeps the right to take the power back, which the destructor does.
class PermissionsHoldForThisThread
{
public:
    PermissionsHoldForThisThread()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_changed = ::syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~PermissionsHoldForThisThread()
    {
        if (m_changed)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    PermissionsHoldForThisThread(const PermissionsHoldForThisThread &) = delete;
    PermissionsHoldForThisThread &operator=(const PermissionsHoldForThisThread &) = delete;

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_changed = false;
};

// The same request, run so that the program cannot pass file permissions either: as root it
// is started through setpriv(1) with those capabilities out of its bounding set.
inline ProcessRequest withPermissionsHolding(ProcessRequest request)
{
    if (::geteuid() != 0)
        return request;
    request.arguments.prepend(request.program);
    request.arguments.prepend(QStringLiteral("--"));
    request.arguments.prepend(QStringLiteral("--bounding-set=-dac_override,-dac_read_search"));
    request.program = QStringLiteral("setpriv");
    if (const auto found = Process::findProgram(request.program))
        request.program = *found;
    return request;
}

#pragma once

#include <QtGlobal>

#include <atomic>
#include <vector>

// Test-only faults in the copy code: a read of the source, a write or fsync of the destination,
// or the read-back of a copy fails with a chosen errno after N bytes or on the Nth call, and one
// byte of a copy can be flipped between its write and its read-back. Nothing is installed in
// the programs; the copy code then pays one relaxed atomic load per step.
namespace IoFaults {

enum class Op { SourceRead, DestinationWrite, DestinationSync, ReadBack };

struct Rule
{
    Op op = Op::DestinationWrite;
    int error = 0;          // the errno the step fails with (EIO, ENOSPC, ...)
    qint64 afterBytes = -1; // fail once this many bytes have passed through `op` (>= 0)...
    int onCall = 0;         // ...or on this call of `op`, counted from 1 (> 0)
    int times = 1;          // how often it fires once reached; -1: from then on, every time
};

struct Plan
{
    std::vector<Rule> rules;
    int flips = 0; // copies whose byte in the middle is flipped before their read-back
};

// Installs a plan (a copy is kept) and restarts its byte and call counts; clear() removes it.
void install(const Plan &plan);
void clear();

// How many times a step ran since the plan was installed (tests ask whether a copy was redone).
int callsOf(Op op);

namespace detail {
extern std::atomic<bool> g_active;
int before(Op op, qint64 *length);
void after(Op op, qint64 bytes);
bool takeFlip();
} // namespace detail

// Before a step that moves up to *length bytes: 0 to go on (with *length possibly shortened so
// a fault lands exactly on its byte), or the errno the step must fail with.
inline int before(Op op, qint64 *length)
{
    if (!detail::g_active.load(std::memory_order_relaxed))
        return 0;
    return detail::before(op, length);
}
// After a step moved `bytes` bytes.
inline void after(Op op, qint64 bytes)
{
    if (detail::g_active.load(std::memory_order_relaxed))
        detail::after(op, bytes);
}
// True when the copy about to be read back should have one byte flipped first.
inline bool takeFlip()
{
    return detail::g_active.load(std::memory_order_relaxed) && detail::takeFlip();
}

// Installs a plan for the life of a scope (tests).
class Scope
{
public:
    explicit Scope(const Plan &plan) { install(plan); }
    ~Scope() { clear(); }
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;
};

} // namespace IoFaults

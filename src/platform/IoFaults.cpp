#include "platform/IoFaults.h"

#include <mutex>

namespace IoFaults {

namespace {

struct Counters
{
    qint64 bytes = 0;
    int calls = 0;
};

struct Armed
{
    Rule rule;
    int fired = 0;
};

std::mutex g_mutex;
std::vector<Armed> g_rules;
Counters g_counters[4];
int g_flips = 0;

Counters &countersOf(Op op)
{
    return g_counters[static_cast<int>(op)];
}

} // namespace

namespace detail {

std::atomic<bool> g_active{false};

int before(Op op, qint64 *length)
{
    std::lock_guard lock(g_mutex);
    Counters &counters = countersOf(op);
    ++counters.calls;
    for (Armed &armed : g_rules) {
        const Rule &rule = armed.rule;
        if (rule.op != op || (rule.times >= 0 && armed.fired >= rule.times))
            continue;
        if (rule.onCall > 0 && counters.calls == rule.onCall + armed.fired) {
            ++armed.fired;
            return rule.error;
        }
        if (rule.afterBytes >= 0) {
            const qint64 room = rule.afterBytes - counters.bytes;
            if (room <= 0) {
                ++armed.fired;
                return rule.error;
            }
            if (length && *length > room)
                *length = room;
        }
    }
    return 0;
}

void after(Op op, qint64 bytes)
{
    std::lock_guard lock(g_mutex);
    countersOf(op).bytes += bytes;
}

bool takeFlip()
{
    std::lock_guard lock(g_mutex);
    if (g_flips <= 0)
        return false;
    --g_flips;
    return true;
}

} // namespace detail

int callsOf(Op op)
{
    std::lock_guard lock(g_mutex);
    return countersOf(op).calls;
}

void install(const Plan &plan)
{
    std::lock_guard lock(g_mutex);
    g_rules.clear();
    for (const Rule &rule : plan.rules)
        g_rules.push_back(Armed{rule, 0});
    for (Counters &counters : g_counters)
        counters = Counters();
    g_flips = plan.flips;
    detail::g_active = !g_rules.empty() || g_flips > 0;
}

void clear()
{
    install(Plan());
}

} // namespace IoFaults

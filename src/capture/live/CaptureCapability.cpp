#include "capture/live/CaptureCapability.h"

#include <sys/capability.h>

#include <memory>

namespace quorvel::capture {

namespace {

struct CapFree {
    void operator()(cap_t caps) const { cap_free(caps); }
};
using Caps = std::unique_ptr<std::remove_pointer_t<cap_t>, CapFree>;

bool HasFlag(cap_t caps, cap_flag_t set)
{
    cap_flag_value_t value = CAP_CLEAR;
    return cap_get_flag(caps, CAP_NET_RAW, set, &value) == 0 && value == CAP_SET;
}

// Returns whether the effective flag now has the wanted value.
bool SetEffective(bool on)
{
    const Caps caps(cap_get_proc());
    if (!caps)
        return false;
    if (HasFlag(caps.get(), CAP_EFFECTIVE) == on)
        return true;
    if (on && !HasFlag(caps.get(), CAP_PERMITTED))
        return false;
    cap_value_t which[] = {CAP_NET_RAW};
    if (cap_set_flag(caps.get(), CAP_EFFECTIVE, 1, which, on ? CAP_SET : CAP_CLEAR) != 0)
        return false;
    return cap_set_proc(caps.get()) == 0;
}

// Capabilities belong to each thread, and threads inherit them: lowering before main() runs, before
// any thread exists, keeps every later thread (toolkit, audio, the capture's reader) without it.
[[gnu::constructor]] void LowerAtProgramStart()
{
    SetEffective(false);
}

} // namespace

void LowerCaptureCapability()
{
    SetEffective(false);
}

RaisedCaptureCapability::RaisedCaptureCapability() : m_raised(SetEffective(true)) {}

RaisedCaptureCapability::~RaisedCaptureCapability()
{
    if (m_raised)
        SetEffective(false);
}

} // namespace quorvel::capture

#pragma once
// CAP_NET_RAW stays permitted for the whole run (the capture is re-opened after an interface comes back)
// but is effective only while a capture is being opened, so nothing else runs with it.

namespace quorvel::capture {

// Takes CAP_NET_RAW out of the calling thread's effective set; harmless when it never had it. (A
// program linking this library has it lowered before main() already.)
void LowerCaptureCapability();

// Raises CAP_NET_RAW into the effective set for its lifetime when it is permitted.
class RaisedCaptureCapability {
public:
    RaisedCaptureCapability();
    ~RaisedCaptureCapability();
    RaisedCaptureCapability(const RaisedCaptureCapability&) = delete;
    RaisedCaptureCapability& operator=(const RaisedCaptureCapability&) = delete;

private:
    bool m_raised = false;
};

} // namespace quorvel::capture

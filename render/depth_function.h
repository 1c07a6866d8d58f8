// The depth test's function as the renderer last set it. Reading it back from GL would cost a
// round trip in a browser: there a glGet waits until the GPU process has carried out every
// command queued before it, and a slice's batches would each wait for the one before.
#pragma once

namespace orvo {

class DepthFunction {
public:
    /// Sets GL's depth function and remembers it (GL_LESS, GL_LEQUAL, GL_ALWAYS...).
    void set(unsigned function);
    /// The function last set: GL_LESS, GL's own start, until one is.
    unsigned current() const { return current_; }

private:
    unsigned current_ = 0x0201;  // GL_LESS
};

}  // namespace orvo

#pragma once

#include "link/Layer.h"
#include "link/PortOptions.h"
#include "naming/NetAddress.h"

#include <memory>

namespace qm240lx {

// The one place where the words of a network address become layers: TCP at
// the bottom, then the scheme's words from the last up to the first. A new
// transport or filter is a class of its own and one entry here.
class LayerTable
{
public:
    // What accepts() takes, for usage errors.
    static constexpr const char* accepted =
        "rfc2217://HOST:PORT, tcp://HOST:PORT, rfc2217+tls://HOST:PORT or "
        "tcp+tls://HOST:PORT with PORT from 1 to 65535";

    // Whether every word names a layer, the first a protocol and the others
    // filters beneath it, none twice.
    static bool accepts(const NetAddress& address);

    // The stack an accepted address names.
    static std::unique_ptr<Layer> build(const NetAddress& address, const PortOptions& options);
};

} // namespace qm240lx

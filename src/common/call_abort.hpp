// How code below a call's entry stops the call on a broken internal invariant.
#pragma once

#include <source_location>
#include <string>
#include <utility>

namespace zorv {

// Caught only at the call boundary and raised there as PanicException.
// Computations never throw it on any input: it signals a bug, not bad data.
struct CallAbort {
    std::string message;
    std::source_location where;

    explicit CallAbort(std::string msg,
                       std::source_location loc = std::source_location::current())
        : message(std::move(msg)), where(loc) {}
};

}  // namespace zorv

// The exception family of the program: every failure that reaches the user carries a message.
#pragma once

#include <stdexcept>
#include <string>

namespace spectrino {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Raised by components (capture devices and the like) when a property change fails.
class EComponentError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace spectrino

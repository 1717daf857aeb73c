// Raised only when a device object cannot be created; the controller's scan swallows it.
#pragma once

#include <stdexcept>
#include <string>

class EControllerError : public std::runtime_error
{
public:
    explicit EControllerError(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

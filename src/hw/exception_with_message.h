#pragma once
// The one exception of the program: an operation the processor cannot carry out.
// Only the driver catches it; it owns a copy of its message. It sits at the
// bottom, beside the register helpers, so that every layer can throw it without
// reaching up to the driver.

#include <exception>
#include <string>
#include <utility>

class ExceptionWithMessage : public std::exception {
public:
    explicit ExceptionWithMessage(std::string message) : message_(std::move(message)) {}
    ~ExceptionWithMessage() override = default;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

#pragma once
// The general failure of the framework: an exception that carries a message text.

#include <exception>
#include <string>

namespace winapp {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}

    const std::string& Message() const { return FMessage; }
    // The class name that the last-chance handler shows beside the message.
    virtual const char* ClassName() const { return "Exception"; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// Raised by an operation that a class declares but does not supply.
class EAbstractError : public Exception {
public:
    EAbstractError() : Exception("Abstract Error") {}
    const char* ClassName() const override { return "EAbstractError"; }
};

[[noreturn]] inline void AbstractError() { throw EAbstractError(); }

} // namespace winapp

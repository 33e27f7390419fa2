#pragma once
// The one exception type of the Wavra library. Every failure the library
// reports is thrown as wavra::Error or one of its subclasses; what() is the
// message text that the command-line programs print.

#include <exception>
#include <string>

namespace wavra {

class Error : public std::exception {
public:
    Error() = default;
    explicit Error(std::string message) : message_(std::move(message)) {}

    const char* what() const noexcept override { return message_.c_str(); }

protected:
    void setText(std::string message) { message_ = std::move(message); }
    const std::string& text() const { return message_; }

private:
    std::string message_;
};

}  // namespace wavra

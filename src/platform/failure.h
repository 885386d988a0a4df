#pragma once
// The one exception of a failure that concerns a file: the file and the cause in plain words; and
// the one function that words any failure for the user.

#include <exception>
#include <stdexcept>
#include <string>

namespace velt {

class Failure : public std::runtime_error {
public:
    // `file` is the path as the user would read it (UTF-8), `cause` a plain sentence (UTF-8).
    Failure(std::string file, std::string cause)
        : std::runtime_error(file.empty() ? cause : file + ": " + cause),
          file_(std::move(file)),
          cause_(std::move(cause)) {}

    const std::string& file() const { return file_; }
    const std::string& cause() const { return cause_; }

private:
    std::string file_;
    std::string cause_;
};

// The file a failure concerns, empty when it names none.
std::string fileOf(const std::exception& e);
// Why it failed, in Japanese, without the file.
std::string causeOf(const std::exception& e);
// The whole failure in Japanese: "file: cause", or the cause alone when it names no file.
std::string describe(const std::exception& e);
std::string describe(const std::exception_ptr& e);

}  // namespace velt

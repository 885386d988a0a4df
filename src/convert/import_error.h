#pragma once
// The one exception of an import that fails: the file concerned and the cause in plain words.

#include <stdexcept>
#include <string>

namespace velt {

class ImportError : public std::runtime_error {
public:
    // `file` is the path as the user would read it (UTF-8), `cause` a plain sentence (UTF-8).
    ImportError(std::string file, std::string cause)
        : std::runtime_error(file + ": " + cause),
          file_(std::move(file)),
          cause_(std::move(cause)) {}

    const std::string& file() const { return file_; }
    const std::string& cause() const { return cause_; }

private:
    std::string file_;
    std::string cause_;
};

}  // namespace velt

#include "platform/file.h"

namespace velt {
// The cause of an operating-system failure in plain words, as the file layer words it.
using platform::describeErrno;
}  // namespace velt

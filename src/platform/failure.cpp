#include "platform/failure.h"

#include <new>

#include "platform/file.h"

namespace velt {

std::string fileOf(const std::exception& e) {
    if (auto* f = dynamic_cast<const Failure*>(&e)) return f->file();
    if (auto* f = dynamic_cast<const platform::FileError*>(&e)) return f->path();
    return {};
}

std::string causeOf(const std::exception& e) {
    if (auto* f = dynamic_cast<const Failure*>(&e)) return f->cause();
    if (auto* f = dynamic_cast<const platform::FileError*>(&e))
        return platform::describeFileError(f->error(), f->op());
    if (dynamic_cast<const std::bad_alloc*>(&e)) return "メモリが足りません";
    return e.what();
}

std::string describe(const std::exception& e) {
    const std::string file = fileOf(e);
    return file.empty() ? causeOf(e) : file + ": " + causeOf(e);
}

std::string describe(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return describe(x);
    }
}

}  // namespace velt

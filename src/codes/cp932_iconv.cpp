// CP932 through the C library's iconv.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "codes/cp932.h"

namespace velt::cp932 {
namespace {

// One iconv descriptor, closed with its owner.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::system_error(errno, std::generic_category(),
                                    std::string("iconv_open ") + from + " -> " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in, writing `substitute` for every input sequence that cannot be converted and
    // skipping `skip(in)` bytes of it, so that a bad byte can never stall the loop.
    template <typename Skip>
    std::string run(std::string_view in, std::string_view substitute, Skip skip) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.reserve(in.size() * 2 + 8);
        char buf[1024];
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        while (left > 0) {
            char* dst = buf;
            std::size_t room = sizeof buf;
            std::size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (a sequence cut short at the end): substitute and step over it.
            std::size_t n = skip(std::string_view(src, left));
            if (n == 0 || n > left) n = 1;
            src += n;
            left -= n;
            out.append(substitute);
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buf;
        std::size_t room = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &room);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return out;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::string fromUtf8(std::string_view utf8) {
    thread_local Converter conv("CP932", "UTF-8");
    return conv.run(utf8, "?", utf8SequenceLength);
}

std::string toUtf8(std::string_view bytes) {
    // ASCII reads the same in both: most fields that name files are digits.
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(bytes);
    thread_local Converter conv("UTF-8", "CP932");
    return conv.run(bytes, "\xEF\xBF\xBD", [](std::string_view s) { return charLength(s, 0); });
}

}  // namespace velt::cp932

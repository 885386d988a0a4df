#pragma once
// A code table written as readable UTF-8, handed out as CP932 bytes indexed by code.

#include <cmath>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "codes/cp932.h"

namespace velt::code {

struct Entry {
    int code;
    const char* text;  // UTF-8
};

class Table {
public:
    // Entries with codes from 0 upwards; any other value gives `fallback`.
    Table(std::initializer_list<Entry> entries, const char* fallback)
        : fallback_(cp932::fromUtf8(fallback)) {
        int top = 0;
        for (const Entry& e : entries) top = e.code > top ? e.code : top;
        texts_.assign(static_cast<std::size_t>(top) + 1, fallback_);
        for (const Entry& e : entries)
            texts_[static_cast<std::size_t>(e.code)] = cp932::fromUtf8(e.text);
    }

    // Exact numeric equality with the integer codes; fractions and negatives find nothing.
    std::string_view operator()(double code) const {
        if (code >= 0 && code < static_cast<double>(texts_.size()) && code == std::floor(code))
            return texts_[static_cast<std::size_t>(code)];
        return fallback_;
    }

private:
    std::string fallback_;
    std::vector<std::string> texts_;
};

}  // namespace velt::code

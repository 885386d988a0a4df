#include "codes/code.h"
#include "codes/table.h"
namespace velt::code {
std::string_view equipmentName(double code) {
    static const Table table({}, "　");
    return table(code);
}
std::string_view legName(double code) {
    static const Table table({}, "　　");
    return table(code);
}
}  // namespace velt::code

#include "convert/converters.h"
namespace velt {
Outcome Lap(std::string_view, ImportContext&) { return Outcome::Malformed; }
}  // namespace velt

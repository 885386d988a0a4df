#include "convert/converters.h"
namespace velt {
Outcome kakuchouhenkan(std::string_view, ImportContext&) { return Outcome::Malformed; }
}  // namespace velt

#include "convert/converters.h"
namespace velt {
Outcome ky(std::string_view, ImportContext&) { return Outcome::Malformed; }
}  // namespace velt

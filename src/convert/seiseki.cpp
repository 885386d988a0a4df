#include "convert/converters.h"
namespace velt {
Outcome Seiseki(std::string_view, ImportContext&) { return Outcome::Malformed; }
}  // namespace velt

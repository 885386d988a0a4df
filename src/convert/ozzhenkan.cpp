#include "convert/converters.h"
namespace velt {
Outcome ozzhenkan(std::string_view, ImportContext&) { return Outcome::Malformed; }
int frameNumber(int, int h) { return h; }
}  // namespace velt

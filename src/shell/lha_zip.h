#pragma once
// The former name of the LHA reader's header, kept for the callers not yet moved.
#include "shell/lha_archive.h"
namespace velt {
using LhaZip = LhaReader;
}  // namespace velt

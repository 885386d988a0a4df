#pragma once
// The code tables: a JRDB code's numeric value in, the fixed-width CP932 text of Target out.

#include <string_view>

namespace velt::code {

// Every function takes the `numeric value` of its field (16-bit rounded where the caller says so)
// and returns CP932 bytes, all of one width per table; values without an entry give the default.

std::string_view courseName(double code);          // 2 bytes: racecourse kanji
std::string_view trackConditionName(double code);  // 4 bytes
std::string_view gradeName(double code);           // 2 bytes

std::string_view runningStyleName(double code);   // 2 bytes
std::string_view trainingArrowName(double code);  // 2 bytes
std::string_view stableRatingName(double code);   // 2 bytes
std::string_view markName(double code);           // 2 bytes

std::string_view positionName(double code);  // 2 bytes
std::string_view bodyName(double code);      // 4 bytes
std::string_view demeanorName(double code);  // 6 bytes
std::string_view surfaceName(double code);   // 2 bytes

std::string_view remarkName(double code);     // 8 bytes
std::string_view equipmentName(double code);  // 2 bytes
std::string_view legName(double code);        // 4 bytes

}  // namespace velt::code

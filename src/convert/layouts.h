#pragma once
// The JRDB record layouts the converters read, field by field: 1-based byte position and length.

#include <cstddef>

#include "convert/record.h"

namespace velt {

// The characters that begin every line of Target's files and say which record wrote it.
constexpr std::size_t kHorseKeyChars = 11;    // MDATA: race key, horse number, "0", "1" or "01"
constexpr std::size_t kCommentKeyChars = 18;  // KCOM_DATA: date, race key, horse number

// The race key and horse number that open KYD, SEB, ZEB, SKA, ZKA and OZ records.
namespace race {
constexpr Field kCourse{1, 2};
constexpr Field kYear{3, 2};
constexpr Field kMeeting{5, 1};
constexpr Field kDay{6, 1};
constexpr Field kRace{7, 2};
constexpr Field kHorse{9, 2};  // OZ: the number of horses
constexpr std::size_t kRaceKeyBytes = 8;
constexpr std::size_t kKeyBytes = 10;  // through the horse number
}  // namespace race

// KYD: horse data.
namespace kyd {
constexpr Field kIndex{55, 5};
constexpr Field kOverallIndex{85, 5};
constexpr Field kRunningStyle{90, 1};
constexpr Field kGrade{92, 1};
constexpr Field kTrainingIndex{145, 5};
constexpr Field kStableIndex{150, 5};
constexpr Field kTrainingArrow{155, 1};
constexpr Field kStableRating{156, 1};
constexpr FieldRun kMarks{327, 1};  // six marks
}  // namespace kyd

// SEB and ZEB: results.
namespace seb {
constexpr Field kSurface{67, 1};
constexpr Field kTrackCondition{70, 2};
constexpr Field kFigure{183, 3};
constexpr Field kTrackFigure{189, 3};  // after the track condition
constexpr Field kLateFigure{195, 3};   // labelled "遅"
constexpr Field kUnfitFigure{201, 3};  // labelled "不"
constexpr Field kPosition{216, 1};
constexpr Field kGrade{217, 1};
constexpr Field kBody{220, 1};
constexpr Field kDemeanor{221, 1};
constexpr Field kNote{222, 1};
constexpr Field kFirstTime{259, 3};
constexpr Field kSecondTime{262, 3};
}  // namespace seb

// OZ: odds of one race.
namespace oz {
constexpr Field kRaceKey{1, 8};
constexpr Field kHorses{9, 2};
constexpr FieldRun kWin{11, 5};        // horses 1 to 18
constexpr FieldRun kPlace{101, 5};     // horses 1 to 18
constexpr FieldRun kQuinella{191, 5};  // pairs 1-2, 1-3, ..., 17-18
constexpr int kMaxHorses = 18;
}  // namespace oz

// SKA and ZKA: extended results, comments on each horse run.
namespace ska {
constexpr Field kDate{19, 8};          // YYYYMMDD
constexpr FieldRun kRemarks{27, 3};    // six remark codes
constexpr FieldRun kEquipment{45, 3};  // eight equipment codes
constexpr FieldRun kLegs{69, 3};       // fifteen leg codes
constexpr Field kFirstComment{114, 40};
constexpr Field kEquipmentComment{154, 40};
constexpr Field kLegComment{194, 40};
constexpr Field kRemarkComment{234, 40};
constexpr std::size_t kMinBytes = 26;  // through the date, the last field of the comment key
}  // namespace ska

// JracSei1.dat: the laps of one race.
namespace lap {
constexpr Field kYear{3, 2};
constexpr Field kCourse{9, 2};
constexpr Field kMeeting{12, 1};
constexpr Field kDay{14, 1};
constexpr Field kRace{15, 2};
constexpr FieldRun kLaps{650, 3};  // laps 1 to 25
constexpr std::size_t kMinBytes = 16;
}  // namespace lap

}  // namespace velt

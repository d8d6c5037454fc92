// How good a monitor's calibration is: what the four measured corners say about the screen, and what looks
// wrong with them; and how well three corners touched again re-anchor a calibration. Pure arithmetic on
// the corners as they are stored; nothing here changes them.
#pragma once

#include "geometry/geometry.h"
#include "geometry/rigid_motion.h"
#include "setup/corner_order.h" // the corners' names, which the warnings use

#include <array>
#include <optional>
#include <string>
#include <vector>

// Why the warnings sit where they do. The tracking itself is good to a millimetre or two; what limits a
// calibration is the hand. A tip held on a corner lands within 2 or 3 mm of it, and a careful aim along the
// controller misses a corner one or two metres away by less than 10 mm. So:
// - A corner is judged against the rectangle of the other three: it lies |v0 - v1 + v2 - v3| from the
//   place they give it, which is exactly how far a single corner is off, and at most four times the worst
//   corner's error when every corner is a little off. Four careful corners (3 mm each) stay below 12 mm;
//   one corner 30 mm off, with the others careful, shows at least 21 mm. The warning starts at 20 mm.
// - Two careful aims at a corner each pass within 10 mm of it, so within 20 mm of each other; aims 20 mm
//   or more apart warn.
// - Physical and pixel aspect agree on any monitor with square pixels. Careful corners move the measured
//   aspect by a few per cent (under 5 % on a screen 300 mm wide); a stretched picture is 11 % off (16:10
//   on a 16:9 panel) or more (4:3: 33 %). More than 10 % warns.
// - A screen under 50 mm on a side is no monitor: the corners were taken in the wrong place.
inline constexpr double kCornerOffWarningMm = 20.0;
inline constexpr double kAimGapWarningMm = 20.0;
inline constexpr double kAspectWarningFraction = 0.10;
inline constexpr double kSmallestEdgeMm = 50.0;

struct CalibrationQuality {
    double width_mm = 0.0;         // mean of the top and bottom edges
    double height_mm = 0.0;        // mean of the left and right edges
    double diagonal_inches = 0.0;  // mean of the two diagonals
    double aspect = 0.0;           // width / height; 0 when the height is 0
    double pixel_aspect = 0.0;     // (right - left) / (bottom - top), square pixels
    double off_rectangle_mm = 0.0; // the largest distance of a corner from the best-fitting rectangle
    int suspect_corner = 0;        // the corner whose other three form the best rectangle of the pixel aspect
    double suspect_off_mm = 0.0;   // how far that corner lies from the rectangle of the other three
    std::optional<std::array<double, 4>> aim_gaps_mm; // pointing only: each corner's two lines, apart
};

// `corners` in the stored order (upper left, lower left, lower right, upper right), metres; `aim_gaps` the
// closest approach of each corner's two pointing lines in metres, when the corners were pointed at.
CalibrationQuality measureCalibration(const std::array<Vec3, 4>& corners, const MonitorInfo& monitor,
                                      const std::optional<std::array<float, 4>>& aim_gaps);

// "Measured 597 x 336 mm (27.0 in), aspect 1.78 (pixels 1.78), corners within 2 mm of a rectangle", for
// pointing followed by how close each corner's two aims came. No line break.
std::string summaryLine(const CalibrationQuality& quality);

// One line per problem, each starting with "Warning:", without line breaks; none for a good calibration.
std::vector<std::string> warningLines(const CalibrationQuality& quality);

// Re-anchoring: three corners of a calibrated monitor touched again (upper left, lower left, lower right)
// after the tracking space moved. The stored corners, moved by the motion that fits them best onto the
// touched ones, should meet them within a few millimetres, and the touched corners should lie as far apart
// as the stored ones: a tip lands within about 3 mm of a corner, so careful touches stay within 6 mm of
// both. A corner 20 mm or more away from either was missed, or the monitor itself moved.
inline constexpr double kReanchorWarningMm = 20.0;

// A turn further than this is warned about too. The tracking space turns when a base station is bumped or
// moved or a headset's origin drifts: by a few degrees, rarely by a quarter turn, while three corners
// touched in the wrong order fit as a turn of about 180 degrees (the last corner touched first, going round
// the same way, fits exactly and changes no distance). Halfway, 90 degrees leaves room for either.
inline constexpr double kReanchorTurnWarningDegrees = 90.0;

struct Reanchoring {
    RigidMotion motion;               // carries the stored positions to where they lie now
    double centre_moved_mm = 0.0;     // how far it carries the monitor's centre (its corners' mean)
    double turned_degrees = 0.0;      // its rotation's angle
    double worst_residual_mm = 0.0;   // the touched corner furthest from its stored one, moved
    double distance_change_mm = 0.0;  // the largest change of a distance between two corners, + further
    std::array<int, 2> pair = {0, 1}; // the two corners of that distance
};

// Nothing when the stored or the touched corners lie (nearly) on one line.
std::optional<Reanchoring> measureReanchoring(const std::array<Vec3, 4>& stored,
                                              const std::array<Vec3, 3>& touched);

// "Moved 412 mm, turned 30.0 degrees; the touched corners lie within 1 mm of the stored ones moved". No
// line break.
std::string movedLine(const Reanchoring& reanchoring);

// One line per problem, each starting with "Warning:", without line breaks; none for a good re-anchoring.
std::vector<std::string> warningLines(const Reanchoring& reanchoring);

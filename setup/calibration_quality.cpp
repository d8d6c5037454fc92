#include "setup/calibration_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace {

// A corner in millimetres, in double precision.
Vec3d millimetres(const Vec3& v) {
    return 1000.0 * widen(v);
}
Vec3d unit(const Vec3d& a) {
    const double l = length(a);
    return l > 0.0 ? (1.0 / l) * a : Vec3d{};
}

// The two directions made perpendicular in their plane, each turned by half of what their angle lacks of
// (or has beyond) 90 degrees, so that neither edge is preferred.
std::pair<Vec3d, Vec3d> squaredUp(const Vec3d& along, const Vec3d& across) {
    const Vec3d a = unit(along);
    const Vec3d b = unit(across);
    const Vec3d bisector = unit(a + b);
    const Vec3d other = unit(a - b); // perpendicular to the bisector, as a and b have the same length
    const double half = std::sqrt(0.5);
    return {half * (bisector + other), half * (bisector - other)};
}

// The largest distance of a corner from the rectangle that fits the four best: centred on their mean, in
// the plane of the squared-up mean edge directions, turned within it and sized for the least sum of squared
// distances (a few rounds of alternately sizing and turning settle well below a tenth of a millimetre).
// For a twisted quadrilateral the plane spreads the twist evenly over the corners, as a least-squares fit
// does.
double offRectangleMm(const std::array<Vec3d, 4>& v) {
    constexpr int kSideX[4] = {-1, -1, 1, 1};
    constexpr int kSideY[4] = {1, -1, -1, 1};
    const Vec3d centre = 0.25 * (((v[0] + v[1]) + v[2]) + v[3]);
    auto [x_axis, y_axis] = squaredUp((v[3] - v[0]) + (v[2] - v[1]), (v[0] - v[1]) + (v[3] - v[2]));
    std::array<Vec3d, 4> fitted;
    for (int round = 0; round < 8; ++round) {
        double half_width = 0.0;
        double half_height = 0.0;
        for (int i = 0; i < 4; ++i) {
            half_width += 0.25 * kSideX[i] * dot(v[i] - centre, x_axis);
            half_height += 0.25 * kSideY[i] * dot(v[i] - centre, y_axis);
        }
        double along = 0.0;
        double across = 0.0;
        for (int i = 0; i < 4; ++i) {
            const Vec3d to = v[i] - centre;
            const double x = kSideX[i] * half_width;
            const double y = kSideY[i] * half_height;
            fitted[i] = (centre + x * x_axis) + y * y_axis;
            along += x * dot(to, x_axis) + y * dot(to, y_axis);
            across += x * dot(to, y_axis) - y * dot(to, x_axis);
        }
        const double turn = std::atan2(across, along);
        const Vec3d turned_x = std::cos(turn) * x_axis + std::sin(turn) * y_axis;
        y_axis = std::cos(turn) * y_axis - std::sin(turn) * x_axis;
        x_axis = turned_x;
    }
    double worst = 0.0;
    for (int i = 0; i < 4; ++i)
        worst = std::max(worst, length(v[i] - fitted[i]));
    return worst;
}

// Three corners fix where the fourth belongs, and when one corner alone is off, only the other three form
// a rectangle of the screen's shape. Each triple is scored by how far the angle at its middle corner is
// from square and its sides' ratio from the pixel aspect; the corner left out of the best triple is the
// one to blame. (A corner off the screen's plane leaves every triple square: no triple is better then.)
int suspectCorner(const std::array<Vec3d, 4>& v, double pixel_aspect) {
    int suspect = 0;
    double best = std::numeric_limits<double>::infinity();
    for (int left_out = 0; left_out < 4; ++left_out) {
        // Upper left 0, lower left 1, lower right 2, upper right 3: corner c's neighbour along the top or
        // bottom edge is c ^ 3, along the left or right edge c ^ 1.
        const int middle = left_out ^ 2;
        const Vec3d horizontal = v[middle ^ 3] - v[middle];
        const Vec3d vertical = v[middle ^ 1] - v[middle];
        const double skew = std::abs(dot(unit(horizontal), unit(vertical)));
        const double stretch = std::abs(std::log(length(horizontal) / (pixel_aspect * length(vertical))));
        if (skew + stretch < best) {
            best = skew + stretch;
            suspect = left_out;
        }
    }
    return suspect;
}

std::string format(const char* pattern, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

// Figures are shown rounded to whole millimetres; a warning goes by the figure shown.
bool reaches(double millimetres, double threshold) {
    return !(std::round(millimetres) < threshold);
}

} // namespace

CalibrationQuality measureCalibration(const std::array<Vec3, 4>& corners, const MonitorInfo& monitor,
                                      const std::optional<std::array<float, 4>>& aim_gaps) {
    std::array<Vec3d, 4> v;
    for (int i = 0; i < 4; ++i)
        v[i] = millimetres(corners[i]);
    CalibrationQuality quality;
    quality.width_mm = 0.5 * (length(v[3] - v[0]) + length(v[2] - v[1]));
    quality.height_mm = 0.5 * (length(v[0] - v[1]) + length(v[3] - v[2]));
    quality.diagonal_inches = 0.5 * (length(v[2] - v[0]) + length(v[3] - v[1])) / 25.4;
    quality.aspect = quality.height_mm > 0.0 ? quality.width_mm / quality.height_mm : 0.0;
    const double pixel_width = static_cast<double>(monitor.right) - monitor.left;
    const double pixel_height = static_cast<double>(monitor.bottom) - monitor.top;
    quality.pixel_aspect = pixel_height > 0.0 ? pixel_width / pixel_height : 0.0;
    quality.off_rectangle_mm = offRectangleMm(v);
    quality.suspect_corner =
        suspectCorner(v, quality.pixel_aspect > 0.0 ? quality.pixel_aspect : quality.aspect);
    // Where the other three put a corner is the fourth corner of their parallelogram; every corner lies
    // the same distance from its own.
    quality.suspect_off_mm = length(((v[0] - v[1]) + v[2]) - v[3]);
    if (aim_gaps) {
        std::array<double, 4> gaps;
        for (int i = 0; i < 4; ++i)
            gaps[i] = (*aim_gaps)[i] * 1000.0;
        quality.aim_gaps_mm = gaps;
    }
    return quality;
}

std::string summaryLine(const CalibrationQuality& quality) {
    std::string line = format("Measured %.0f x %.0f mm (%.1f in), aspect %.2f (pixels %.2f), corners within "
                              "%.0f mm of a rectangle",
                              quality.width_mm, quality.height_mm, quality.diagonal_inches, quality.aspect,
                              quality.pixel_aspect, quality.off_rectangle_mm);
    if (quality.aim_gaps_mm) {
        const double widest = *std::max_element(quality.aim_gaps_mm->begin(), quality.aim_gaps_mm->end());
        line += format(", the two aims at each corner within %.0f mm", widest);
    }
    return line;
}

std::vector<std::string> warningLines(const CalibrationQuality& quality) {
    if (!reaches(quality.width_mm, kSmallestEdgeMm) || !reaches(quality.height_mm, kSmallestEdgeMm))
        return {format("Warning: the corners lie only %.0f x %.0f mm apart, too close for a monitor.",
                       quality.width_mm, quality.height_mm)};
    std::vector<std::string> warnings;
    if (reaches(quality.suspect_off_mm, kCornerOffWarningMm))
        warnings.push_back(format("Warning: the %s corner lies %.0f mm off the rectangle of the other three.",
                                  kCornerNames[quality.suspect_corner], quality.suspect_off_mm));
    if (quality.aim_gaps_mm) {
        for (int i = 0; i < 4; ++i) {
            if (reaches((*quality.aim_gaps_mm)[i], kAimGapWarningMm))
                warnings.push_back(format("Warning: the two aims at the %s corner pass %.0f mm apart.",
                                          kCornerNames[i], (*quality.aim_gaps_mm)[i]));
        }
    }
    const double percent_off = std::abs(quality.aspect / quality.pixel_aspect - 1.0) * 100.0;
    if (quality.pixel_aspect > 0.0 && std::round(percent_off) > kAspectWarningFraction * 100.0)
        warnings.push_back(format("Warning: the measured aspect %.2f is %.0f %% off the pixels' %.2f.",
                                  quality.aspect, percent_off, quality.pixel_aspect));
    return warnings;
}

std::optional<Reanchoring> measureReanchoring(const std::array<Vec3, 4>& stored,
                                              const std::array<Vec3, 3>& touched) {
    const std::array<Vec3d, 3> from = {widen(stored[0]), widen(stored[1]), widen(stored[2])};
    const std::array<Vec3d, 3> to = {widen(touched[0]), widen(touched[1]), widen(touched[2])};
    const std::optional<RigidMotion> motion = fitRigidMotion(from, to);
    if (!motion)
        return std::nullopt;
    Reanchoring result;
    result.motion = *motion;
    const Vec3d centre = 0.25 * (((from[0] + from[1]) + from[2]) + widen(stored[3]));
    result.centre_moved_mm = 1000.0 * length(apply(*motion, centre) - centre);
    result.turned_degrees = rotationDegrees(*motion);
    for (int i = 0; i < 3; ++i) {
        result.worst_residual_mm =
            std::max(result.worst_residual_mm, 1000.0 * length(apply(*motion, from[i]) - to[i]));
        const int j = (i + 1) % 3;
        const double change = 1000.0 * (length(to[j] - to[i]) - length(from[j] - from[i]));
        if (std::abs(change) > std::abs(result.distance_change_mm)) {
            result.distance_change_mm = change;
            result.pair = {std::min(i, j), std::max(i, j)};
        }
    }
    return result;
}

std::string movedLine(const Reanchoring& r) {
    return format(
        "Moved %.0f mm, turned %.1f degrees; the touched corners lie within %.0f mm of the stored ones "
        "moved",
        r.centre_moved_mm, r.turned_degrees, r.worst_residual_mm);
}

std::vector<std::string> warningLines(const Reanchoring& r) {
    std::vector<std::string> warnings;
    if (reaches(r.worst_residual_mm, kReanchorWarningMm))
        warnings.push_back(
            format("Warning: a touched corner lies %.0f mm off the stored corners moved (a corner "
                   "missed, or the monitor moved).",
                   r.worst_residual_mm));
    if (reaches(std::abs(r.distance_change_mm), kReanchorWarningMm))
        warnings.push_back(format("Warning: the %s and %s corners lie %.0f mm %s than stored (a corner "
                                  "missed, or the monitor moved).",
                                  kCornerNames[r.pair[0]], kCornerNames[r.pair[1]],
                                  std::abs(r.distance_change_mm),
                                  r.distance_change_mm > 0.0 ? "further apart" : "closer together"));
    if (r.turned_degrees > kReanchorTurnWarningDegrees)
        warnings.push_back(
            format("Warning: the space turned %.1f degrees; were the corners touched in the order "
                   "%s, %s, %s?",
                   r.turned_degrees, kCornerNames[0], kCornerNames[1], kCornerNames[2]));
    return warnings;
}

#include "geometry/tip.h"

Transform34 referenceTip() {
    Transform34 tip;
    tip.m[1][3] = -0.077f;
    tip.m[2][3] = -0.038f;
    return tip;
}

Vec3 transformPoint(const Transform34& t, const Vec3& p) {
    const float(*m)[4] = t.m;
    return {((m[0][0] * p.x + m[0][1] * p.y) + m[0][2] * p.z) + m[0][3],
            ((m[1][0] * p.x + m[1][1] * p.y) + m[1][2] * p.z) + m[1][3],
            ((m[2][0] * p.x + m[2][1] * p.y) + m[2][2] * p.z) + m[2][3]};
}

Vec3 transformDirection(const Transform34& t, const Vec3& d) {
    const float(*m)[4] = t.m;
    return {(m[0][0] * d.x + m[0][1] * d.y) + m[0][2] * d.z, (m[1][0] * d.x + m[1][1] * d.y) + m[1][2] * d.z,
            (m[2][0] * d.x + m[2][1] * d.y) + m[2][2] * d.z};
}

Vec3 tipPoint(const Transform34& pose, const Transform34& tip) {
    return transformPoint(pose, {tip.m[0][3], tip.m[1][3], tip.m[2][3]});
}

Vec3 tipDirection(const Transform34& pose, const Transform34& tip, float offset_x, float offset_y) {
    return transformDirection(pose, transformDirection(tip, {offset_x, offset_y, -1.0f}));
}

Ray tipAim(const Transform34& pose, const Transform34& tip, float offset_x, float offset_y) {
    return {tipPoint(pose, tip), tipDirection(pose, tip, offset_x, offset_y)};
}

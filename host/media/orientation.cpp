#include "host/media/orientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <cmath>

namespace kivo::media {

DisplayTurn turnOf(const int32_t *matrix) {
    DisplayTurn turn;
    if (matrix == nullptr) return turn;
    // Clockwise degrees from 0 to 360.
    double theta = -std::round(av_display_rotation_get(matrix));
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    Orientation &o = turn.orientation;
    if (std::fabs(theta - 90) < 1) {
        o.transpose = true;
        o.mirrorRows = matrix[3] <= 0; // a clockwise quarter turn; otherwise a transpose alone
    } else if (std::fabs(theta - 180) < 1) {
        o.mirrorColumns = matrix[0] < 0;
        o.mirrorRows = matrix[4] < 0;
    } else if (std::fabs(theta - 270) < 1) {
        o.transpose = true;
        o.mirrorColumns = true;
        o.mirrorRows = matrix[3] < 0; // a counter-clockwise quarter turn, mirrored when flipped
    } else if (std::fabs(theta) > 1) {
        turn.exact = false;
    } else {
        o.mirrorRows = matrix[4] < 0;
    }
    return turn;
}

} // namespace kivo::media

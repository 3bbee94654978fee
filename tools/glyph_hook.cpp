#include "glyph_hook.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "glyph_degrade.h"

namespace {

constexpr int kInk = 128;

struct Point {
  double x;
  double y;
};

// Ink extent of one row: the darkness-weighted width and centre of its dark run.
struct Run {
  double width = 0.0;
  double centre = 0.0;
};

Run inkRun(const GrayImage& image, int row) {
  double weight = 0.0;
  double moment = 0.0;
  for (int column = 0; column < image.width; ++column) {
    const double darkness = (255 - image.at(column, row)) / 255.0;
    weight += darkness;
    moment += darkness * (column + 0.5);
  }
  return Run{weight, weight > 0.0 ? moment / weight : 0.0};
}

double distanceToSegment(Point p, Point a, Point b) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  const double t =
      length2 > 0.0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

}  // namespace

GrayImage hooked(const GrayImage& page, double radius, double tail) {
  const Box box = inkBox(page, kInk);
  const int bendRow = static_cast<int>(std::floor(box.bottom - radius - 1.0));
  if (bendRow <= box.top) return page;
  const Run stem = inkRun(page, bendRow);
  const Run foot = inkRun(page, box.bottom - 1);
  if (stem.width < 0.5 || foot.width > 1.6 * stem.width) return page;

  // The stroke's centre line: down the stem, round the bend, along the tail.
  const double half = stem.width / 2.0;
  const double bottom = box.bottom - half;
  const Point bendCentre{stem.centre + radius, bottom - radius};
  std::vector<Point> path{{stem.centre, static_cast<double>(bendRow)}};
  for (int step = 0; step <= 12; ++step) {
    const double angle = 3.141592653589793 * (1.0 + step / 24.0);
    path.push_back({bendCentre.x + radius * std::cos(angle), bendCentre.y - radius * std::sin(angle)});
  }
  path.push_back({bendCentre.x + tail, bottom});

  const int extra = static_cast<int>(std::ceil(radius + tail + half)) + 1;
  GrayImage out(page.width + extra, page.height, 255);
  for (int row = 0; row < page.height; ++row)
    for (int column = 0; column < page.width; ++column) out.at(column, row) = page.at(column, row);
  // The old foot goes; the new stroke is drawn with an anti-aliased edge.
  for (int row = bendRow + 1; row < out.height; ++row)
    for (int column = 0; column < out.width; ++column) {
      const Point p{column + 0.5, row + 0.5};
      double distance = 1e9;
      for (std::size_t i = 1; i < path.size(); ++i)
        distance = std::min(distance, distanceToSegment(p, path[i - 1], path[i]));
      const double coverage = std::clamp(half + 0.5 - distance, 0.0, 1.0);
      out.at(column, row) = static_cast<std::uint8_t>(std::lround(255.0 * (1.0 - coverage)));
    }
  return out;
}

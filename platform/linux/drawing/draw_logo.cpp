// Draws the program's images, as PNG files:
//   - the alternate image "quorvel-logo-alt": a thermometer, black on transparent, at the menu
//     bar's template size (18 x 18) and twice that (36 x 36, "@2x");
//   - the application icon "org.quorvel.Quorvel" for the desktop's menus, in the hicolor theme's
//     layout at its usual sizes: the same thermometer, white with red liquid, on a slate tile;
//   - the tray icon "org.quorvel.Quorvel-thermometer", for trays that show a themed icon beside the
//     temperature: a thermometer alone, white glass with red liquid and a dark outline, so that it
//     reads on light and dark panels, at the sizes panels draw;
//   - its warning variant "org.quorvel.Quorvel-thermometer-hot", shown while the reading is at or
//     above the threshold: the same thermometer filled to the top, its liquid in the title's
//     warning red (#F92804).
//
//   quorvel_draw_logo <folder>   writes <folder>/quorvel-logo-alt.png, ...@2x.png and
//                                <folder>/icons/hicolor/<N>x<N>/apps/org.quorvel.Quorvel.png and
//                                ...-thermometer.png and ...-thermometer-hot.png
//
// Each drawing is measured in points of its own square and sampled 8 x 8 times per pixel, and
// written with our PNG writer (stored deflate blocks: nothing beyond the standard library). The
// alternate image and the application icon come from one drawing for all sizes; the tray icon is
// drawn for each size, its straight edges on whole pixels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "png/png_writer.h"

namespace {

struct Point {
  double x, y;
};

// Signed distance to a circle and to a capsule (a segment with round ends); negative inside.
double circle(Point p, Point centre, double radius) {
  return std::hypot(p.x - centre.x, p.y - centre.y) - radius;
}

double capsule(Point p, Point a, Point b, double radius) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double t =
      std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy)) - radius;
}

bool insideBox(Point p, double left, double top, double right, double bottom) {
  return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom;
}

// Whether a point of the 18-point square is inked. Edges lie on whole points, so that the
// 18-pixel image stays sharp.
bool inked(Point p) {
  constexpr Point kBulb{8.0, 13.0};
  constexpr double kStroke = 1.0;
  // The glass: the outline of a tube joined to a bulb.
  const double glass = std::min(capsule(p, {8.0, 3.0}, {8.0, 10.0}, 3.0), circle(p, kBulb, 4.0));
  if (glass <= 0.0 && glass > -kStroke) return true;
  // The liquid: a full bulb and a column half way up the tube.
  if (circle(p, kBulb, 2.0) <= 0.0 || capsule(p, {8.0, 6.0}, kBulb, 1.0) <= 0.0) return true;
  // The scale: three marks beside the tube.
  for (const double y : {2.0, 5.0, 8.0}) {
    if (insideBox(p, 12.0, y, 15.0, y + 1.0)) return true;
  }
  return false;
}

// A colour with its opacity, 0 (nothing drawn) or 255 at one sample point.
struct Colour {
  uint8_t r, g, b, a;
};

constexpr Colour kNothing{0, 0, 0, 0};

// The template image: black ink.
Colour alternateImage(Point p) {
  return inked(p) ? Colour{0, 0, 0, 255} : kNothing;
}

// The application icon, in a 32-point square: a tile with rounded corners, darker towards the
// bottom, holding a filled thermometer (white glass, red liquid) and its scale.
Colour applicationIcon(Point p) {
  constexpr Colour kGlass{242, 244, 248, 255}, kLiquid{229, 72, 77, 255};
  constexpr Point kBulb{13.0, 22.0};
  for (const double y : {7.5, 11.5, 15.5}) {
    if (insideBox(p, 19.0, y, 24.0, y + 1.5)) return kGlass;
  }
  if (circle(p, kBulb, 3.25) <= 0.0 || capsule(p, {13.0, 11.0}, kBulb, 1.5) <= 0.0) return kLiquid;
  if (circle(p, kBulb, 5.0) <= 0.0 || capsule(p, {13.0, 8.0}, {13.0, 19.0}, 3.5) <= 0.0) {
    return kGlass;
  }
  // The tile: a square from 2 to 30 points whose corners are rounded with a 6-point radius.
  constexpr double kLow = 8.0, kHigh = 24.0;
  const Point corner{std::clamp(p.x, kLow, kHigh), std::clamp(p.y, kLow, kHigh)};
  if (circle(p, corner, 6.0) > 0.0) return kNothing;
  const double t = std::clamp((p.y - 2.0) / 28.0, 0.0, 1.0);
  const auto mix = [t](double top, double bottom) {
    return static_cast<uint8_t>(std::lround(top + (bottom - top) * t));
  };
  return {mix(62, 32), mix(78, 42), mix(110, 64), 255};
}

// The tray icon at size pixels, measured in pixels: a slim tube with a round top on a bulb,
// centred, with a dark outline (two pixels wide from 40 pixels), white glass, and red liquid in the
// bulb and the lower half of the tube. The tube's sides, the glass's and the liquid's, and the
// liquid's top lie on whole pixels, so that they stay sharp; only the round parts are blended.
// Hot, the liquid is the warning red and reaches the top of the tube's straight part.
auto trayIcon(int size, bool hot = false) {
  constexpr Colour kOutline{32, 34, 40, 255}, kGlass{242, 244, 248, 255};
  const Colour liquidColour = hot ? Colour{249, 40, 4, 255} : Colour{229, 72, 77, 255};
  const double unit = size / 16.0;
  const double outline = size >= 40 ? 2.0 : 1.0;
  const double margin = std::max(1.0, std::round(unit / 2));
  const double centre = size / 2.0;
  const double tube = std::round(2 * unit);  // half the tube's width, outline included
  const double glass = size < 20 ? 0.0 : std::round(unit / 2);  // between outline and liquid
  const double liquid = tube - outline - glass;                 // half the liquid column's width
  const double bulbRadius = std::round(1.9 * tube);
  const Point bulb{centre, size - margin - bulbRadius};
  const double bulbLiquid = bulbRadius - outline - std::max(1.0, glass);
  const double liquidTop = hot ? margin + tube : std::round(size * 0.45);
  return [=](Point p) {
    // Below 32 pixels each pixel is all one colour, the one at its centre, as in pixel art.
    if (size < 32) p = {std::floor(p.x) + 0.5, std::floor(p.y) + 0.5};
    if (circle(p, bulb, bulbLiquid) <= 0.0 ||
        insideBox(p, centre - liquid, liquidTop, centre + liquid, bulb.y)) {
      return liquidColour;
    }
    const double shape =
        std::min(capsule(p, {centre, margin + tube}, bulb, tube), circle(p, bulb, bulbRadius));
    if (shape <= -outline) return kGlass;
    return shape <= 0.0 ? kOutline : kNothing;
  };
}

// RGBA rows, each preceded by its filter type (0, none), as PNG's image data wants them. The
// drawing measures `points` on a side; each pixel averages its samples, weighted by opacity.
template <typename Drawing>
std::vector<uint8_t> drawRows(int size, double points, Drawing drawing) {
  constexpr int kSamples = 8, kCount = kSamples * kSamples;
  const double scale = points / size;
  std::vector<uint8_t> rows;
  for (int y = 0; y < size; ++y) {
    rows.push_back(0);
    for (int x = 0; x < size; ++x) {
      int alpha = 0, red = 0, green = 0, blue = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Point p{(x + (sx + 0.5) / kSamples) * scale, (y + (sy + 0.5) / kSamples) * scale};
          const Colour c = drawing(p);
          alpha += c.a;
          red += c.r * c.a;
          green += c.g * c.a;
          blue += c.b * c.a;
        }
      }
      const auto average = [alpha](int weighted) {
        return static_cast<uint8_t>(alpha == 0 ? 0 : (weighted + alpha / 2) / alpha);
      };
      rows.insert(rows.end(), {average(red), average(green), average(blue),
                               static_cast<uint8_t>((alpha + kCount / 2) / kCount)});
    }
  }
  return rows;
}

template <typename Drawing>
png::Bytes drawPng(int size, double points, Drawing drawing) {
  const auto side = static_cast<uint32_t>(size);
  return png::rgba(side, side, drawRows(size, points, drawing));
}

bool writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorvel_draw_logo <folder>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::vector<std::pair<std::filesystem::path, std::vector<uint8_t>>> files = {
      {"quorvel-logo-alt.png", drawPng(18, 18.0, alternateImage)},
      {"quorvel-logo-alt@2x.png", drawPng(36, 18.0, alternateImage)}};
  const auto themed = [](int size, const char* name) {
    const std::string side = std::to_string(size);
    return std::filesystem::path("icons/hicolor") / (side + "x" + side) / "apps" / name;
  };
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    files.emplace_back(themed(size, "org.quorvel.Quorvel.png"),
                       drawPng(size, 32.0, applicationIcon));
  }
  for (const int size : {16, 22, 24, 32, 48, 64}) {
    files.emplace_back(themed(size, "org.quorvel.Quorvel-thermometer.png"),
                       drawPng(size, size, trayIcon(size)));
    files.emplace_back(themed(size, "org.quorvel.Quorvel-thermometer-hot.png"),
                       drawPng(size, size, trayIcon(size, true)));
  }
  for (const auto& [name, bytes] : files) {
    const std::filesystem::path path = folder / name;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error || !writeFile(path, bytes)) {
      std::fprintf(stderr, "quorvel_draw_logo: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

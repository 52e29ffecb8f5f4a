#include "render/svg_plots.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

#include "render/numeric_text.h"

namespace velkor {

namespace {

const char* const kColours[] = {"#1f5fbf", "#d0471c", "#2a8a3a", "#8a3ab0", "#b08a00", "#0090a0", "#a02060", "#505050"};

const char* colour(std::size_t k) { return kColours[k % (sizeof kColours / sizeof kColours[0])]; }

std::string fixed(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

// A drawing area: data coordinates to SVG coordinates.
struct Panel {
  double left, top, width, height;
  double xMin, xMax, yMin, yMax;  // x in the axis's units (log10 of Hz for Bode)
  double x(double value) const { return left + (value - xMin) / (xMax - xMin) * width; }
  double y(double value) const { return top + (yMax - value) / (yMax - yMin) * height; }
};

// A step of 1, 2 or 5 times a power of ten giving about `wanted` intervals.
double niceStep(double span, int wanted) {
  double raw = span / wanted;
  double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * magnitude >= raw) return m * magnitude;
  return 10 * magnitude;
}

std::string line(double x1, double y1, double x2, double y2, const char* cls) {
  return "<line class=\"" + std::string(cls) + "\" x1=\"" + fixed(x1) + "\" y1=\"" + fixed(y1) + "\" x2=\"" +
         fixed(x2) + "\" y2=\"" + fixed(y2) + "\"/>\n";
}

std::string text(double x, double y, const std::string& content, const char* anchor, const char* extra = "") {
  return "<text x=\"" + fixed(x) + "\" y=\"" + fixed(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" +
         escapeXml(content) + "</text>\n";
}

std::string header(int width, int height, const std::string& title) {
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(width) + " " +
                    std::to_string(height) + "\" width=\"" + std::to_string(width) + "\" height=\"" +
                    std::to_string(height) + "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n";
  svg += "<title>" + escapeXml(title) + "</title>\n";
  svg += "<style>.grid{stroke:#d8d8d8;stroke-width:1}.minor{stroke:#eeeeee;stroke-width:1}"
         ".frame{fill:none;stroke:#404040;stroke-width:1}.axis{stroke:#404040;stroke-width:1}"
         ".curve{fill:none;stroke-width:2;stroke-linejoin:round}</style>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  // The title on one line: cut (at a blank where one is near) to what the
  // width holds at about 9 px a character; the full one is the <title>.
  std::string shown = title;
  const std::size_t room = static_cast<std::size_t>(std::max(10, (width - 24) / 9));
  if (shown.size() > room) {
    std::size_t cut = shown.rfind(' ', room - 3);
    if (cut == std::string::npos || cut < room / 2) cut = room - 3;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
    shown = shown.substr(0, cut) + "...";
  }
  svg += text(width / 2.0, 22, shown, "middle", " font-size=\"15\" font-weight=\"bold\"");
  return svg;
}

// Horizontal grid lines and labels of a linear y axis, and the axis title.
std::string yAxis(const Panel& p, double step, const std::string& label) {
  std::string svg;
  for (double v = p.yMin; v <= p.yMax + step * 1e-6; v += step) {
    double y = p.y(v);
    svg += line(p.left, y, p.left + p.width, y, "grid");
    svg += text(p.left - 6, y + 4, formatNumber(std::fabs(v) < step * 1e-9 ? 0 : v, 4), "end");
  }
  double cy = p.top + p.height / 2;
  svg += "<text x=\"16\" y=\"" + fixed(cy) + "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " + fixed(cy) +
         ")\">" + escapeXml(label) + "</text>\n";
  return svg;
}

// Decade lines (labelled when `labels`) and the lines of 2..9 between them.
std::string logXGrid(const Panel& p, bool labels) {
  std::string svg;
  for (double decade = std::floor(p.xMin); decade <= p.xMax + 1e-9; ++decade) {
    for (int m = 2; m <= 9; ++m) {
      double x = decade + std::log10(static_cast<double>(m));
      if (x > p.xMin && x < p.xMax) svg += line(p.x(x), p.top, p.x(x), p.top + p.height, "minor");
    }
    if (decade < p.xMin - 1e-9) continue;
    svg += line(p.x(decade), p.top, p.x(decade), p.top + p.height, "grid");
    if (labels) svg += text(p.x(decade), p.top + p.height + 16, siLabel(std::pow(10.0L, decade)), "middle");
  }
  return svg;
}

// A polyline broken where values are not finite or leave the frame (a
// curve below a magnitude axis cut at its depth is not drawn along the
// frame, where it would read as a level): a piece that leaves or enters the
// frame is drawn to the point where it crosses the frame's edge; a response
// of 0 (-inf dB) drops to the bottom edge.
// A dashed one (an approximation) lets the curve it follows show through.
std::string curve(const Panel& p, const std::vector<long double>& logF, const std::vector<long double>& values,
                  const char* stroke, bool dashed) {
  std::string svg, points;
  const std::string style = std::string("\" stroke=\"") + stroke + (dashed ? "\" stroke-dasharray=\"7 5" : "");
  int count = 0;
  auto flush = [&] {
    if (count > 1) svg += "<polyline class=\"curve" + style + "\" points=\"" + points + "\"/>\n";
    points.clear();
    count = 0;
  };
  auto add = [&](double x, double y) {
    if (count > 0) points += ' ';
    points += fixed(x) + "," + fixed(y);
    ++count;
  };
  const double top = p.top, bottom = p.top + p.height;
  auto inside = [&](double y) { return y >= top && y <= bottom; };
  // The point where the piece from (x0, y0) to (x1, y1) meets the edge that
  // y1 (or, for an infinitely deep y0 or y1, the bottom) lies beyond.
  auto crossing = [&](double x0, double y0, double x1, double y1) {
    const double edge = y1 < top ? top : bottom;
    if (!std::isfinite(y0) || !std::isfinite(y1)) return std::pair{std::isfinite(y1) ? x0 : x1, bottom};
    return std::pair{x0 + (x1 - x0) * (edge - y0) / (y1 - y0), edge};
  };
  bool havePrevious = false;
  double px = 0, py = 0;
  for (std::size_t k = 0; k < values.size() && k < logF.size(); ++k) {
    if (std::isnan(values[k]) || values[k] == INFINITY) {
      flush();
      havePrevious = false;
      continue;
    }
    const double x = p.x(static_cast<double>(logF[k]));
    const double y = values[k] == -INFINITY ? INFINITY : p.y(static_cast<double>(values[k]));
    if (inside(y)) {
      if (havePrevious && !inside(py)) {
        const auto [cx, cy] = crossing(x, y, px, py);
        add(cx, cy);
      }
      add(x, y);
    } else {
      if (havePrevious && inside(py)) {
        const auto [cx, cy] = crossing(px, py, x, y);
        add(cx, cy);
      }
      flush();
    }
    havePrevious = true;
    px = x, py = y;
  }
  flush();
  return svg;
}

}  // namespace

std::string escapeXml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string engineering(long double value, int digits) {
  static const char* const prefixes[] = {"f", "p", "n", "\u00b5", "m", "", "k", "M", "G", "T"};
  if (value == 0 || !std::isfinite(value)) return formatNumber(value);
  int group = static_cast<int>(std::floor(std::log10(std::fabs(value)) / 3 + 1e-9));
  if (group < -5 || group > 4) return formatNumber(value, digits);
  long double scaled = value / std::pow(1000.0L, group);
  // Rounding may carry into the next group (999.9999 as 1000).
  std::string text = formatNumber(scaled, digits);
  if (group < 4 && std::fabs(std::stold(text)) >= 1000) return formatNumber(scaled / 1000, digits) + prefixes[group + 6];
  return text + prefixes[group + 5];
}

std::string siLabel(long double value) { return engineering(value, 3); }

namespace {

const char* magnitudeLabel(ResponseUnit unit) {
  switch (unit) {
    case ResponseUnit::kOhm: return "magnitude (dB re 1 \u03a9)";
    case ResponseUnit::kSiemens: return "magnitude (dB re 1 S)";
    case ResponseUnit::kRatio: break;
  }
  return "magnitude (dB)";
}

const char* unitClass(ResponseUnit unit) {
  switch (unit) {
    case ResponseUnit::kOhm: return "ohm";
    case ResponseUnit::kSiemens: return "siemens";
    case ResponseUnit::kRatio: break;
  }
  return "ratio";
}

// The lowest and highest finite value of some curves (left as they are
// when there is none).
void finiteExtent(const std::vector<const std::vector<long double>*>& series, double& bottom, double& top) {
  for (const auto* values : series)
    for (long double v : *values)
      if (std::isfinite(v)) {
        top = std::max(top, static_cast<double>(v));
        bottom = std::min(bottom, static_cast<double>(v));
      }
}

// The magnitude axis of some curves: whole steps around their finite values
// with room above the highest (a peak never touches the frame), at most
// kMagnitudeSpanDb deep (deeper notches are cut at the bottom).
constexpr double kMagnitudeSpanDb = 200;

void magnitudeRange(const std::vector<const std::vector<long double>*>& series, double& low, double& high,
                    double& step) {
  double top = -INFINITY, bottom = INFINITY;
  finiteExtent(series, bottom, top);
  if (!std::isfinite(top)) {
    low = -1, high = 1, step = 0.5;
    return;
  }
  bottom = std::max(bottom, top - kMagnitudeSpanDb);
  if (top - bottom < 1) bottom -= 0.5, top += 0.5;
  step = niceStep(top - bottom, 6);
  low = std::floor(bottom / step) * step;
  high = std::ceil(top / step) * step;
  if (high - top < 0.05 * (high - low)) high += step;
}

// The phase axis: ticks at a multiple of 45 degrees (45, 90, 180, ...) that
// gives at most eight intervals.
void phaseRange(const std::vector<const std::vector<long double>*>& series, double& low, double& high,
                double& step) {
  double top = -INFINITY, bottom = INFINITY;
  finiteExtent(series, bottom, top);
  if (!std::isfinite(top)) top = 0, bottom = 0;
  step = 45;
  while ((top - bottom) / step > 8) step *= 2;
  low = std::floor(bottom / step + 1e-9) * step;
  high = std::ceil(top / step - 1e-9) * step;
  if (high - low < 2 * step) {
    low -= step;
    high += step;
  }
  // Curves off the frame.
  if (high - top < 0.02 * (high - low)) high += step;
  if (bottom - low < 0.02 * (high - low)) low -= step;
}

bool anyFinite(const std::vector<long double>& values) {
  return std::any_of(values.begin(), values.end(), [](long double v) { return std::isfinite(v); });
}

std::string frame(const Panel& p, const std::string& extra = "") {
  char data[160];
  std::snprintf(data, sizeof data, " data-x-min=\"%.9g\" data-x-max=\"%.9g\" data-y-min=\"%.9g\" data-y-max=\"%.9g\"",
                p.xMin, p.xMax, p.yMin, p.yMax);
  return "<rect class=\"frame\" x=\"" + fixed(p.left) + "\" y=\"" + fixed(p.top) + "\" width=\"" + fixed(p.width) +
         "\" height=\"" + fixed(p.height) + "\"" + data + extra + "/>\n";
}

}  // namespace

std::string bodeSvg(const std::vector<long double>& frequenciesHz, const std::vector<FrequencyResponse>& responses,
                    const std::string& title) {
  const int width = 800;
  std::vector<long double> logF;
  for (long double f : frequenciesHz) logF.push_back(std::log10(f));
  double xMin = logF.empty() ? 0 : static_cast<double>(logF.front());
  double xMax = logF.empty() ? 1 : static_cast<double>(logF.back());
  if (xMax <= xMin) xMax = xMin + 1;

  // One magnitude panel per unit that some curve is in, then the phase.
  std::vector<ResponseUnit> units;
  for (ResponseUnit unit : {ResponseUnit::kRatio, ResponseUnit::kOhm, ResponseUnit::kSiemens})
    for (const FrequencyResponse& r : responses)
      if (r.unit == unit) {
        units.push_back(unit);
        break;
      }
  if (units.empty()) units.push_back(ResponseUnit::kRatio);
  const double panelHeight = units.size() == 1 ? 230 : 190, gap = 50, top = 44;
  const double phaseTop = top + static_cast<double>(units.size()) * (panelHeight + gap);
  const double axisTitleY = phaseTop + panelHeight + 36;

  // The legend: a row of entries for the curves drawn, wrapped at the width.
  std::vector<std::size_t> listed;
  for (std::size_t k = 0; k < responses.size(); ++k)
    if (anyFinite(responses[k].magnitudeDb) || anyFinite(responses[k].phaseDeg)) listed.push_back(k);
  std::string legendSvg;
  double lx = 80, ly = axisTitleY + 28;
  for (std::size_t k : listed) {
    const std::string& name = responses[k].name;
    double entryWidth = 44 + 7.5 * static_cast<double>(name.size());
    if (lx > 80 && lx + entryWidth > width - 10) lx = 80, ly += 22;
    legendSvg += "<line x1=\"" + fixed(lx) + "\" y1=\"" + fixed(ly) + "\" x2=\"" + fixed(lx + 24) + "\" y2=\"" +
                 fixed(ly) + "\" stroke=\"" + colour(k) + "\" stroke-width=\"3\"" +
                 (responses[k].approximated ? " stroke-dasharray=\"7 5\"" : "") + "/>\n";
    legendSvg += text(lx + 30, ly + 4, name, "start");
    lx += entryWidth;
  }
  const int height = static_cast<int>(listed.empty() ? axisTitleY + 14 : ly + 18);

  std::string svg = header(width, height, title);
  for (std::size_t u = 0; u < units.size(); ++u) {
    const ResponseUnit unit = units[u];
    std::vector<const std::vector<long double>*> series;
    for (const FrequencyResponse& r : responses)
      if (r.unit == unit) series.push_back(&r.magnitudeDb);
    double low, high, step;
    magnitudeRange(series, low, high, step);
    const double panelTop = top + static_cast<double>(u) * (panelHeight + gap);
    Panel panel{80, panelTop, 690, panelHeight, xMin, xMax, low, high};
    svg += std::string("<g class=\"magnitude ") + unitClass(unit) + "\">\n";
    svg += logXGrid(panel, true);
    svg += yAxis(panel, step, magnitudeLabel(unit));
    svg += frame(panel);
    for (std::size_t k = 0; k < responses.size(); ++k)
      if (responses[k].unit == unit)
        svg += curve(panel, logF, responses[k].magnitudeDb, colour(k), responses[k].approximated);
    svg += "</g>\n";
  }
  {
    std::vector<const std::vector<long double>*> series;
    for (const FrequencyResponse& r : responses) series.push_back(&r.phaseDeg);
    double low, high, step;
    phaseRange(series, low, high, step);
    Panel panel{80, phaseTop, 690, panelHeight, xMin, xMax, low, high};
    svg += "<g class=\"phase\">\n";
    svg += logXGrid(panel, true);
    svg += yAxis(panel, step, "phase (degrees)");
    svg += frame(panel);
    for (std::size_t k = 0; k < responses.size(); ++k)
      svg += curve(panel, logF, responses[k].phaseDeg, colour(k), responses[k].approximated);
    svg += "</g>\n";
  }
  svg += text(80 + 345, axisTitleY, "frequency (Hz)", "middle");
  svg += legendSvg;
  svg += "</svg>\n";
  return svg;
}

namespace {

// The s-plane in log radius: a root keeps its angle, and its distance from
// the centre grows with log10 |s| from the inner circle (the lowest decade)
// to the outer one (the highest); roots at the origin sit at the centre.
struct LogPlane {
  double cx, cy, inner, outer;
  int lowDecade, highDecade;
  double radius(long double magnitude) const {
    if (magnitude <= 0) return 0;
    double decades = static_cast<double>(std::log10(magnitude)) - lowDecade;
    return inner + decades / (highDecade - lowDecade) * (outer - inner);
  }
  double x(std::complex<long double> s) const {
    return cx + radius(std::abs(s)) * std::cos(static_cast<double>(std::arg(s)));
  }
  double y(std::complex<long double> s) const {
    return cy - radius(std::abs(s)) * std::sin(static_cast<double>(std::arg(s)));
  }
};

std::string rootTitle(const char* kind, const std::string& set, const PolynomialRoot& root) {
  std::string title = std::string(kind) + " of " + set + ": ";
  if (!root.reliable) return title + "ill-conditioned, near " + formatComplex(root.value, 3) + " rad/s";
  title += formatComplex(root.value) + " rad/s";
  if (root.value != std::complex<long double>(0)) title += " (|s| " + siLabel(hertz(std::abs(root.value))) + "Hz";
  if (root.isComplex()) title += ", Q " + formatNumber(root.quality(), 4);
  if (root.value != std::complex<long double>(0)) title += ")";
  return title;
}

}  // namespace

std::string poleZeroSvg(const std::vector<PoleZeroSet>& sets, const std::string& title) {
  const int width = 640;
  long double smallest = INFINITY, largest = 0;
  for (const PoleZeroSet& set : sets)
    for (const auto* roots : {&set.zeros, &set.poles})
      for (const PolynomialRoot& root : *roots) {
        long double m = std::abs(root.value);
        if (!std::isfinite(m) || m == 0) continue;
        smallest = std::min(smallest, m);
        largest = std::max(largest, m);
      }
  int lowDecade = 0, highDecade = 1;
  if (largest > 0) {
    // (Clamped: a long double may lie beyond what an int of decades holds.)
    auto decade = [](long double logarithm) { return static_cast<int>(std::clamp(logarithm, -4900.0L, 4900.0L)); };
    lowDecade = decade(std::floor(std::log10(smallest)));
    highDecade = decade(std::ceil(std::log10(largest)));
    if (highDecade <= lowDecade) highDecade = lowDecade + 1;
  }
  const double left = 65, top = 44, side = 510;
  LogPlane plane{left + side / 2, top + side / 2, 22, side / 2 - 16, lowDecade, highDecade};

  // Legend rows below the plane.
  std::vector<std::size_t> listed;
  for (std::size_t k = 0; k < sets.size(); ++k)
    if (!sets[k].zeros.empty() || !sets[k].poles.empty()) listed.push_back(k);
  std::string legendSvg;
  double lx = left + 130, ly = top + side + 64;
  for (std::size_t k : listed) {
    double entryWidth = 44 + 7.5 * static_cast<double>(sets[k].name.size());
    if (lx > left + 130 && lx + entryWidth > width - 10) lx = left + 130, ly += 22;
    legendSvg += "<line x1=\"" + fixed(lx) + "\" y1=\"" + fixed(ly) + "\" x2=\"" + fixed(lx + 24) + "\" y2=\"" +
                 fixed(ly) + "\" stroke=\"" + colour(k) + "\" stroke-width=\"3\"/>\n";
    legendSvg += text(lx + 30, ly + 4, sets[k].name, "start");
    lx += entryWidth;
  }
  const int height = static_cast<int>(ly + 18);

  std::string svg = header(width, height, title);
  svg += "<g class=\"plane\">\n";
  // Decade circles, labelled along a ray in the right half-plane.
  const int step = (highDecade - lowDecade + 7) / 8;
  for (int decade = lowDecade; decade <= highDecade; ++decade) {
    double r = plane.radius(std::pow(10.0L, decade));
    bool labelled = (decade - lowDecade) % step == 0 || decade == highDecade;
    if (!labelled && highDecade - lowDecade > 40) continue;
    svg += "<circle class=\"" + std::string(labelled ? "grid" : "minor") + "\" cx=\"" + fixed(plane.cx) +
           "\" cy=\"" + fixed(plane.cy) + "\" r=\"" + fixed(r) + "\" fill=\"none\"/>\n";
    if (labelled)
      svg += text(plane.cx + r * 0.966 - 2, plane.cy - r * 0.259 - 3, siLabel(std::pow(10.0L, decade)), "end",
                  " font-size=\"11\" fill=\"#555\"");
  }
  // Lines of constant damping: Q = 0.5 (the real axis), 0.707 and 2.
  for (double q : {0.7071067811865476, 2.0}) {
    double angle = std::acos(1 / (2 * q));
    for (double sign : {1.0, -1.0})
      svg += line(plane.cx, plane.cy, plane.cx - plane.outer * std::cos(angle),
                  plane.cy - sign * plane.outer * std::sin(angle), "minor");
  }
  svg += line(left, plane.cy, left + side, plane.cy, "axis");
  svg += line(plane.cx, top, plane.cx, top + side, "axis");
  char data[96];
  std::snprintf(data, sizeof data, " data-decades=\"%d %d\"", lowDecade, highDecade);
  svg += "<rect class=\"frame\" x=\"" + fixed(left) + "\" y=\"" + fixed(top) + "\" width=\"" + fixed(side) +
         "\" height=\"" + fixed(side) + "\"" + data + "/>\n";
  for (std::size_t k = 0; k < sets.size(); ++k) {
    for (const auto& [kind, roots] : {std::pair{"pole", &sets[k].poles}, std::pair{"zero", &sets[k].zeros}}) {
      for (const PolynomialRoot& root : *roots) {
        if (!std::isfinite(std::abs(root.value))) continue;
        double x = plane.x(root.value), y = plane.y(root.value);
        char where[96];
        std::snprintf(where, sizeof where, " data-re=\"%.6Lg\" data-im=\"%.6Lg\"", root.value.real(),
                      root.value.imag());
        svg += "<g class=\"root " + std::string(kind) + "\" data-value=\"" + escapeXml(formatComplex(root.value, 4)) +
               "\"" + where + (root.reliable ? "" : " opacity=\"0.55\"") + "><title>" +
               escapeXml(rootTitle(kind, sets[k].name, root)) + "</title>";
        const std::string dash = root.reliable ? "" : " stroke-dasharray=\"2 2\"";
        if (std::string(kind) == "pole")
          svg += "<path d=\"M" + fixed(x - 6) + " " + fixed(y - 6) + "L" + fixed(x + 6) + " " + fixed(y + 6) + "M" +
                 fixed(x - 6) + " " + fixed(y + 6) + "L" + fixed(x + 6) + " " + fixed(y - 6) + "\" stroke=\"" +
                 colour(k) + "\" stroke-width=\"2.5\" fill=\"none\"" + dash + "/>";
        else
          svg += "<circle cx=\"" + fixed(x) + "\" cy=\"" + fixed(y) + "\" r=\"6\" stroke=\"" + colour(k) +
                 "\" stroke-width=\"2.5\" fill=\"none\"" + dash + "/>";
        svg += "</g>\n";
      }
    }
  }
  svg += "</g>\n";
  svg += text(left + side / 2, top + side + 18,
              "s-plane in log radius: angle as in the plane, distance from the centre \u221d log10 |s| (rad/s)",
              "middle", " font-size=\"11\"");
  svg += text(left + side / 2, top + side + 36, "left: stable (Re s < 0); lines: Q = 0.707 and Q = 2", "middle",
              " font-size=\"11\"");
  svg += text(left, top + side + 68, "\u00d7 pole   \u25cb zero", "start");
  svg += legendSvg;
  svg += "</svg>\n";
  return svg;
}

}  // namespace velkor
